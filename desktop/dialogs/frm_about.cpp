#include "dialogs/frm_about.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "core/ansi_win.h"
#include "core/frm_main.h"
#include "core/resource_ids.h"

namespace kn {

namespace {
// Texts and design geometry (twips) of the dialog.
constexpr const char* kCaptionPrefix = "Info zu ";
constexpr const char* kDescription =
    "Diese Programm zeigt die H\xC3\xB6rerzahlen ein oder mehrere Klangnetz Stationen auf dem Desktop an.";
constexpr const char* kDonation = "Auf der Webseite gibt es auch einen Spende-Button :)";
constexpr const char* kLinkCaption = "Homepage:";
constexpr int kInnerWidth = 6240, kInnerHeight = 5760;
constexpr int kPictureHeight = 2400;
constexpr COLORREF kWhite = RGB(255, 255, 255), kGreen = RGB(0, 255, 0);
constexpr UINT kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr UINT kExStyle = WS_EX_DLGMODALFRAME;

int twips_per_pixel(int axis) {
  window_dc screen(nullptr);
  int dpi = GetDeviceCaps(screen.get(), axis);
  return dpi > 0 ? std::max(1, 1440 / dpi) : 15;
}

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

FrmAbout::FrmAbout(HINSTANCE instance, std::string program_folder)
    : instance_(instance), program_folder_(std::move(program_folder)), opener_(shell_open) {}

FrmAbout::~FrmAbout() { close(); }

int FrmAbout::px_x(int twips) const { return twips / twips_per_px_x_; }
int FrmAbout::px_y(int twips) const { return twips / twips_per_px_y_; }

bool FrmAbout::open() {
  if (window_) return true;
  twips_per_px_x_ = twips_per_pixel(LOGPIXELSX);
  twips_per_px_y_ = twips_per_pixel(LOGPIXELSY);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance_;
  wc.lpszClassName = kAboutWindowClass;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  RegisterClassExW(&wc);
  WNDCLASSEXW lc{};
  lc.cbSize = sizeof lc;
  lc.lpfnWndProc = link_proc;
  lc.hInstance = instance_;
  lc.lpszClassName = kLinkWindowClass;
  lc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));  // IDC_HAND, the link's pointer
  RegisterClassExW(&lc);

  RECT r{0, 0, px_x(kInnerWidth), px_y(kInnerHeight)};
  AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  const std::string caption = std::string(kCaptionPrefix) + kProgramTitle;
  HWND hwnd = CreateWindowExW(kExStyle, kAboutWindowClass, utf8_to_wide(caption).c_str(), kStyle, x, y, w, h,
                              nullptr, nullptr, instance_, this);
  if (!hwnd) return false;
  window_.reset(hwnd);
  font_ = make_font(false);
  link_font_ = make_font(true);
  picture_.reset(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 96, 96, 0)));
  create_controls();
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  return true;
}

void FrmAbout::create_controls() {
  HWND w = window_.get();
  auto make = [&](const wchar_t* cls, const std::string& text, DWORD style, int x, int y, int cx, int cy,
                  int id) {
    HWND c = CreateWindowExW(0, cls, utf8_to_wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, px_x(x), px_y(y),
                             px_x(cx), px_y(cy), w, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                             nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return c;
  };
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  make(L"STATIC", kProgramTitle, SS_LEFT, 240, 2520, 3885, 480, 0);
  version_ = make(L"STATIC", program_version_text(exe), SS_LEFT, 240, 2880, 3885, 225, 0);
  make(L"STATIC", kDescription, SS_LEFT, 240, 3240, 5685, 690, 0);
  make(L"STATIC", kLinkCaption, SS_LEFT, 120, 4920, 975, 255, 0);
  // Wider than at design, so the whole address fits.
  link_ = make(kLinkWindowClass, kHomePage, 0, 1080, 4920, 4800, 360, 0);
  SetWindowLongPtrW(link_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  donate_ = make(L"STATIC", kDonation, SS_LEFT, 120, 5280, 4365, 360, 0);
  HWND ok = make(L"BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 4800, 5280, 1260, 345, IDOK);
  SetFocus(ok);
}

void FrmAbout::run_modal() {
  MSG msg;
  while (window_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
      close();
      break;
    }
    if (window_ && IsDialogMessageW(window_.get(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void FrmAbout::close() {
  if (window_) DestroyWindow(window_.get());
}

void FrmAbout::set_link_hot(bool hot) {
  if (hot == link_hot_) return;
  link_hot_ = hot;
  InvalidateRect(link_, nullptr, TRUE);
}

void FrmAbout::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_.get(), &ps);
  RECT client{};
  GetClientRect(window_.get(), &client);
  if (picture_) {
    const int size = 96;
    DrawIconEx(dc, (client.right - size) / 2, (px_y(kPictureHeight) - size) / 2, picture_.get(), size, size, 0,
               nullptr, DI_NORMAL);
  }
  // Line1
  select_guard pen(dc, GetStockObject(DC_PEN));
  SetDCPenColor(dc, kWhite);
  MoveToEx(dc, px_x(105), px_y(4740), nullptr);
  LineTo(dc, px_x(6120), px_y(4740));
  EndPaint(window_.get(), &ps);
}

LRESULT FrmAbout::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      paint();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) close();
      return 0;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      SetTextColor(dc, reinterpret_cast<HWND>(lp) == donate_ ? kGreen : kWhite);
      SetBkColor(dc, RGB(0, 0, 0));
      return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
    }
    case WM_CLOSE:
      close();
      return 0;
    case WM_DESTROY:
      link_ = version_ = donate_ = nullptr;
      link_hot_ = link_pressed_ = false;
      window_.release();
      return 0;
    default:
      return DefWindowProcW(window_.get(), msg, wp, lp);
  }
}

LRESULT FrmAbout::handle_link(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = link_;
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
      if (click && opener_) opener_(window_.get(), kHomePage, program_folder_);
      set_link_hot(false);
      return 0;
    }
    case WM_CAPTURECHANGED:
      link_pressed_ = false;
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT rc{};
      GetClientRect(hwnd, &rc);
      FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      select_guard font(dc, link_hot_ ? link_font_.get() : font_.get());
      SetTextColor(dc, kWhite);
      SetBkMode(dc, TRANSPARENT);
      DrawTextA(dc, kHomePage, -1, &rc, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
      EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT CALLBACK FrmAbout::proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<FrmAbout*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self || self->window_.get() != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->handle(msg, wp, lp);
}

LRESULT CALLBACK FrmAbout::link_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<FrmAbout*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self || self->link_ != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->handle_link(msg, wp, lp);
}

void show_frmAbout(FrmMain& main) {
  static std::unique_ptr<FrmAbout> frm_about;
  if (frm_about && frm_about->is_open()) {
    SetForegroundWindow(frm_about->hwnd());
    return;
  }
  if (!frm_about) frm_about = std::make_unique<FrmAbout>(main.instance_handle(), main.app().program_folder);
  if (frm_about->open()) {
    SetForegroundWindow(frm_about->hwnd());
    frm_about->run_modal();
  }
}

}  // namespace kn
