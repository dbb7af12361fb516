#include "stats/frm_plays.h"

#include <commctrl.h>

#include "core/text_util.h"
#include "win/ansi_win.h"
#include "win/dpi_win.h"
#include "win/screen_twips_win.h"
#include "win/window_placement_win.h"

namespace kn {

namespace {

constexpr const char* kCaption = "Titel \xE2\x80\x93 ";
constexpr const char* kColumns[] = {
    "Beginn",         "K\xC3\xBCnstler", "Titel", "H\xC3\xB6rer zu Beginn", "H\xC3\xB6rer am Ende",
    "\xC3\x84nderung"};
constexpr int kColumnTwips[] = {1800, 2400, 3000, 1500, 1500, 1200};
constexpr int kInnerWidth = 11640, kInnerHeight = 6000;
constexpr int kListId = 100;
constexpr UINT kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr UINT kExStyle = WS_EX_TOOLWINDOW;

}  // namespace

FrmPlays::~FrmPlays() { destroy(); }

bool FrmPlays::show(HWND owner, const std::string& station, std::vector<Play> plays) {
  plays_ = std::move(plays);
  if (sort_column_ >= 0) sort_plays(plays_, static_cast<PlayColumn>(sort_column_), descending_);
  const std::wstring caption = utf8_to_wide(kCaption + to_upper(station));
  if (!is_open()) {
    const DpiScope as_system = DpiScope::system_aware();
    const RECT r = centred_on_screen(window_size_for_client(kInnerWidth, kInnerHeight, kStyle, kExStyle));
    const WindowClass cls{kPlaysWindowClass, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))};
    if (!create_window(cls, instance_, kExStyle, caption.c_str(), kStyle, r.left, r.top, r.right - r.left,
                       r.bottom - r.top, owner)) {
      return false;
    }
    list_ = CreateWindowExW(
        0, WC_LISTVIEWW, L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0, 0, 0,
        hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), instance_, nullptr);
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    SendMessageW(list_, LVM_SETBKCOLOR, 0, RGB(0, 0, 0));
    SendMessageW(list_, LVM_SETTEXTBKCOLOR, 0, RGB(0, 0, 0));
    SendMessageW(list_, LVM_SETTEXTCOLOR, 0, RGB(255, 255, 255));
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
      std::wstring text = utf8_to_wide(kColumns[i]);
      LVCOLUMNW c{};
      c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
      c.fmt = i >= 3 ? LVCFMT_RIGHT : LVCFMT_LEFT;
      c.cx = px_x(kColumnTwips[i]);
      c.pszText = text.data();
      c.iSubItem = i;
      SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&c));
    }
    RECT client{};
    GetClientRect(hwnd(), &client);
    MoveWindow(list_, 0, 0, client.right, client.bottom, FALSE);
    ShowWindow(hwnd(), SW_SHOW);
  } else {
    SetWindowTextW(hwnd(), caption.c_str());
  }
  refill();
  return true;
}

void FrmPlays::refill() {
  SendMessageW(list_, LVM_SETITEMCOUNT, plays_.size(), LVSICF_NOSCROLL);
  InvalidateRect(list_, nullptr, TRUE);
}

void FrmPlays::sort_by(int column) {
  // The same header again turns the order round.
  descending_ = column == sort_column_ ? !descending_ : false;
  sort_column_ = column;
  sort_plays(plays_, static_cast<PlayColumn>(column), descending_);
  refill();
}

LRESULT FrmPlays::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (hdr->hwndFrom != list_) break;
      if (hdr->code == LVN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(lp);
        const auto row = static_cast<size_t>(info->item.iItem);
        if ((info->item.mask & LVIF_TEXT) && row < plays_.size() && info->item.iSubItem >= 0 &&
            info->item.iSubItem < static_cast<int>(std::size(kColumns))) {
          cell_ = utf8_to_wide(play_cell(plays_[row], static_cast<PlayColumn>(info->item.iSubItem)));
          info->item.pszText = cell_.data();
        }
        return 0;
      }
      if (hdr->code == LVN_COLUMNCLICK) {
        const int column = reinterpret_cast<const NMLISTVIEW*>(lp)->iSubItem;
        if (column >= 0 && column < static_cast<int>(std::size(kColumns))) sort_by(column);
        return 0;
      }
      break;
    }
    case WM_SIZE:
      if (list_) MoveWindow(list_, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
      return 0;
    case WM_DESTROY:
      list_ = nullptr;
      return 0;
    default:
      break;
  }
  return WindowBase::handle(msg, wp, lp);
}

}  // namespace kn
