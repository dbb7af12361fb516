#include "stats/frm_graph.h"

#include <algorithm>

#include "win/ansi_win.h"
#include "win/controls_win.h"
#include "win/dpi_win.h"
#include "win/screen_twips_win.h"
#include "win/window_placement_win.h"

namespace kn {

namespace {
// Texts and design geometry (twips) of the window.
constexpr const char* kCaption = "Statistik";
constexpr const char* kMinCaption = "H\xC3\xB6rerzahl Minimum:";
constexpr const char* kMaxCaption = "H\xC3\xB6rerzahl Maximum:";
constexpr int kInnerWidth = 9585, kInnerHeight = 3105;
constexpr int kMinWidth = 5550, kMinHeight = 3100;  // outer size
constexpr int kSurfaceLeft = 120, kSurfaceTop = 1320;
constexpr int kSurfaceWidthMargin = 500, kSurfaceHeightMargin = 700;
constexpr COLORREF kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0);
constexpr int kComboId = 100;
// Between two samples of a fill; the polls and the user go on meanwhile.
constexpr UINT_PTR kFillTimer = 1;
constexpr UINT kFillPauseMs = 10;
constexpr UINT kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr UINT kExStyle = WS_EX_TOOLWINDOW;
}  // namespace

FrmGraph::FrmGraph(const std::vector<StationEntry>& stations, const History& history, HINSTANCE instance)
    : instance_(instance), view_(stations, history) {
  view_.set_pause([this] {
    if (is_open()) SetTimer(hwnd(), kFillTimer, kFillPauseMs, nullptr);
  });
  view_.set_labels_changed([this] { show_labels(); });
}

FrmGraph::~FrmGraph() { close(); }

bool FrmGraph::open() {
  if (is_open()) return true;

  {
    // Laid out once from twips: Windows stretches it on a monitor of another scale.
    const DpiScope as_system = DpiScope::system_aware();
    const RECT r = centred_on_screen(window_size_for_client(kInnerWidth, kInnerHeight, kStyle, kExStyle));
    const WindowClass cls{kGraphWindowClass, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))};
    if (!create_window(cls, instance_, kExStyle, utf8_to_wide(kCaption).c_str(), kStyle, r.left, r.top,
                       r.right - r.left, r.bottom - r.top, nullptr)) {
      return false;
    }
    create_controls();
  }

  SendMessageW(combo_, CB_RESETCONTENT, 0, 0);
  for (const auto& entry : view_.combo_entries()) {
    SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf8_to_wide(entry).c_str()));
  }
  SendMessageW(combo_, CB_SETCURSEL, 0, 0);
  on_resize();
  view_.load();
  show_labels();
  ShowWindow(hwnd(), SW_SHOW);
  UpdateWindow(hwnd());
  return true;
}

void FrmGraph::create_controls() {
  HWND w = hwnd();
  const DWORD label = WS_VISIBLE | SS_LEFT;
  // The list drops down over the labels below it.
  combo_ = create_control(w, L"COMBOBOX", "", WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                          kComboId, 120, 240, 4935, 3000);
  create_control(w, L"STATIC", kMinCaption, label, 0, 120, 720, 1935, 375);
  label_min_ = create_control(w, L"STATIC", "0", label, 0, 2280, 720, 2055, 255);
  create_control(w, L"STATIC", kMaxCaption, label, 0, 120, 960, 1935, 255);
  label_max_ = create_control(w, L"STATIC", "0", label, 0, 2280, 960, 2055, 255);
  surface_ = std::make_unique<GdiSurface>(w, instance_, 1);
  view_.set_surface(surface_.get());
}

void FrmGraph::close() {
  destroy();  // WM_DESTROY lets go of everything
}

void FrmGraph::show_labels() {
  if (!is_open()) return;
  SetWindowTextW(label_min_, utf8_to_wide(view_.label_min()).c_str());
  SetWindowTextW(label_max_, utf8_to_wide(view_.label_max()).c_str());
}

void FrmGraph::on_selection() {
  const LRESULT index = SendMessageW(combo_, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return;
  const LRESULT len = SendMessageW(combo_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (len == CB_ERR) return;
  std::wstring text(static_cast<size_t>(len) + 1, L'\0');
  SendMessageW(combo_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(len));
  view_.select(static_cast<int>(index), wide_to_utf8(text));
}

void FrmGraph::on_resize() {
  if (!is_open() || !surface_) return;
  RECT r{};
  GetWindowRect(hwnd(), &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  const int min_w = px_x(kMinWidth), min_h = px_y(kMinHeight);
  if (w < min_w || h < min_h) {
    w = std::max(w, min_w);
    h = std::max(h, min_h);
    SetWindowPos(hwnd(), nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  surface_->move(px_x(kSurfaceLeft), px_y(kSurfaceTop), w - px_x(kSurfaceWidthMargin),
                 h - px_y(kSurfaceTop) - px_y(kSurfaceHeightMargin));
  view_.redraw();
}

LRESULT FrmGraph::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_GETMINMAXINFO: {
      auto* mmi = reinterpret_cast<MINMAXINFO*>(lp);
      mmi->ptMinTrackSize.x = px_x(kMinWidth);
      mmi->ptMinTrackSize.y = px_y(kMinHeight);
      return 0;
    }
    case WM_SIZE:
      on_resize();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == kComboId && HIWORD(wp) == CBN_SELCHANGE) on_selection();
      if (LOWORD(wp) == IDCANCEL) close();
      return 0;
    case WM_TIMER:
      if (wp != kFillTimer) break;
      // One pause at a time: the next sample asks for its own.
      KillTimer(hwnd(), kFillTimer);
      view_.fill_step();
      return 0;
    case WM_CTLCOLORSTATIC: {
      HWND control = reinterpret_cast<HWND>(lp);
      return caption_colour(wp, control == label_min_ ? kRed : control == label_max_ ? kGreen : kWhite);
    }
    case WM_CLOSE:
      close();
      return 0;
    case WM_DESTROY:
      // A running fill stops here and never draws into the closed window.
      KillTimer(hwnd(), kFillTimer);
      view_.stop_fill();
      view_.set_surface(nullptr);
      surface_.reset();
      combo_ = label_min_ = label_max_ = nullptr;
      return 0;
    default:
      break;
  }
  return WindowBase::handle(msg, wp, lp);
}

}  // namespace kn
