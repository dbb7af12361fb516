#include "dialogs/frm_about.h"

#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/settings.h"
#include "win/ansi_win.h"
#include "win/controls_win.h"
#include "win/dpi_win.h"
#include "win/screen_twips_win.h"
#include "win/window_placement_win.h"

namespace kn {

namespace {
// Geometry (twips), colours and frame of the dialog.
constexpr int kInnerWidth = 6240, kInnerHeight = 5760;
constexpr int kPictureHeight = 2400;
constexpr COLORREF kWhite = RGB(255, 255, 255), kGreen = RGB(0, 255, 0);
constexpr UINT kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr UINT kExStyle = WS_EX_DLGMODALFRAME;

unique_hfont make_font(bool underline) {
  window_dc screen(nullptr);
  // 9.75 points.
  const int height = -MulDiv(975, GetDeviceCaps(screen.get(), LOGPIXELSY), 7200);
  return unique_hfont(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, underline ? TRUE : FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
}

void shell_open(HWND owner, const std::string& address, const std::string& folder) {
  // Nothing is reported when no browser opens.
  ShellExecuteA(owner, "Open", utf8_to_ansi(address).c_str(), "", utf8_to_ansi(folder).c_str(), 1);
}
}  // namespace

std::string program_version_text(const std::wstring& exe_path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe_path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(exe_path.c_str(), 0, size, block.data())) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &len) || !info ||
      len < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  // major.minor.revision are the first three fields of the file version.
  return "Version " + std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." + std::to_string(HIWORD(info->dwFileVersionLS));
}

FrmAbout::FrmAbout(HINSTANCE instance, std::string program_folder, int icon_id)
    : instance_(instance),
      program_folder_(std::move(program_folder)),
      icon_id_(icon_id),
      opener_(shell_open) {}

FrmAbout::~FrmAbout() { close(); }

bool FrmAbout::open() {
  if (is_open()) return true;

  {
    // Laid out once from twips: Windows stretches it on a monitor of another scale.
    const DpiScope as_system = DpiScope::system_aware();
    const RECT r = centred_on_screen(window_size_for_client(kInnerWidth, kInnerHeight, kStyle, kExStyle));
    const std::string caption = std::string(kAboutCaptionPrefix) + kProgramTitle;
    const WindowClass cls{kAboutWindowClass, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))};
    if (!create_window(cls, instance_, kExStyle, utf8_to_wide(caption).c_str(), kStyle, r.left, r.top,
                       r.right - r.left, r.bottom - r.top, nullptr)) {
      return false;
    }
    font_ = make_font(false);
    link_font_ = make_font(true);
    picture_.reset(
        static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(icon_id_), IMAGE_ICON, 96, 96, 0)));
    create_controls();
  }
  ShowWindow(hwnd(), SW_SHOW);
  UpdateWindow(hwnd());
  return true;
}

bool FrmAbout::Link::create(HWND parent, HINSTANCE instance, int x, int y, int width, int height) {
  const WindowClass cls{kLinkWindowClass, nullptr, MAKEINTRESOURCEW(32649)};  // IDC_HAND, the link's pointer
  return create_window(cls, instance, 0, L"", WS_CHILD | WS_VISIBLE, x, y, width, height, parent) != nullptr;
}

void FrmAbout::create_controls() {
  HWND w = hwnd();
  HFONT font = font_.get();
  const DWORD label = WS_VISIBLE | SS_LEFT;
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  create_control(w, L"STATIC", kProgramTitle, label, 0, 240, 2520, 3885, 480, font);
  version_ = create_control(w, L"STATIC", program_version_text(exe), label, 0, 240, 2880, 3885, 225, font);
  create_control(w, L"STATIC", kAboutDescription, label, 0, 240, 3240, 5685, 690, font);
  create_control(w, L"STATIC", kAboutLinkCaption, label, 0, 120, 4920, 975, 255, font);
  // Wide enough for the whole address.
  if (link_.create(w, instance_, px_x(1080), px_y(4920), px_x(4800), px_y(360))) {
    SetWindowTextW(link_.hwnd(), utf8_to_wide(kHomePage).c_str());
    SendMessageW(link_.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  donate_ = create_control(w, L"STATIC", kAboutDonation, label, 0, 120, 5280, 4365, 360, font);
  HWND ok = create_control(w, L"BUTTON", kAboutOk, WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 4800,
                           5280, 1260, 345, font);
  SetFocus(ok);
}

void FrmAbout::close() { destroy(); }

void FrmAbout::set_link_hot(bool hot) {
  if (hot == link_hot_) return;
  link_hot_ = hot;
  InvalidateRect(link_.hwnd(), nullptr, TRUE);
}

void FrmAbout::paint() {
  paint_scope paint(hwnd());
  HDC dc = paint.dc();
  RECT client{};
  GetClientRect(hwnd(), &client);
  if (picture_) {
    const int size = 96;
    DrawIconEx(dc, (client.right - size) / 2, (px_y(kPictureHeight) - size) / 2, picture_.get(), size, size,
               0, nullptr, DI_NORMAL);
  }
  // A white rule sets the link apart from the texts above it.
  select_guard pen(dc, GetStockObject(DC_PEN));
  SetDCPenColor(dc, kWhite);
  MoveToEx(dc, px_x(105), px_y(4740), nullptr);
  LineTo(dc, px_x(6120), px_y(4740));
}

LRESULT FrmAbout::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      paint();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) close();
      return 0;
    case WM_CTLCOLORSTATIC:
      return caption_colour(wp, reinterpret_cast<HWND>(lp) == donate_ ? kGreen : kWhite);
    case WM_CLOSE:
      close();
      return 0;
    case WM_DESTROY:
      version_ = donate_ = nullptr;
      link_hot_ = link_pressed_ = false;
      return 0;
    default:
      return WindowBase::handle(msg, wp, lp);
  }
}

LRESULT FrmAbout::handle_link(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = link_.hwnd();
  auto inside = [&] {
    POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    RECT rc{};
    GetClientRect(hwnd, &rc);
    return PtInRect(&rc, pt) != FALSE;
  };
  switch (msg) {
    case WM_MOUSEMOVE:
      if (inside()) {
        if (!link_hot_) {
          TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd, 0};
          TrackMouseEvent(&tme);
        }
        set_link_hot(true);
      } else {
        set_link_hot(false);  // dragged off while the button is held
      }
      return 0;
    case WM_MOUSELEAVE:
      if (!link_pressed_) set_link_hot(false);
      return 0;
    case WM_LBUTTONDOWN:
      link_pressed_ = true;
      SetCapture(hwnd);
      set_link_hot(true);
      return 0;
    case WM_LBUTTONUP: {
      const bool click = link_pressed_ && inside();
      link_pressed_ = false;
      if (GetCapture() == hwnd) ReleaseCapture();
      if (click && opener_) opener_(this->hwnd(), kHomePage, program_folder_);
      set_link_hot(false);
      return 0;
    }
    case WM_CAPTURECHANGED:
      link_pressed_ = false;
      return 0;
    case WM_PAINT: {
      paint_scope paint(hwnd);
      HDC dc = paint.dc();
      RECT rc{};
      GetClientRect(hwnd, &rc);
      FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      select_guard font(dc, link_hot_ ? link_font_.get() : font_.get());
      SetTextColor(dc, kWhite);
      SetBkMode(dc, TRANSPARENT);
      DrawTextA(dc, kHomePage, -1, &rc, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace kn
