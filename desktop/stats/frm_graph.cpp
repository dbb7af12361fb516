#include "stats/frm_graph.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>

#include "core/text_util.h"
#include "platform/history_store_win.h"
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
constexpr const char* kRangeCaption = "Zeitraum";
constexpr const char* kExportCaption = "Exportieren \xE2\x80\xA6";
constexpr const char* kExportTitle = "Exportieren";
constexpr const char* kTitlesCaption = "Titel \xE2\x80\xA6";
// One line of the file or more that is no row: skipped, and said.
std::string unreadable_text(size_t n) {
  if (n == 0) return {};
  return std::to_string(n) + (n == 1 ? " unlesbare Zeile" : " unlesbare Zeilen") +
         " \xC3\xBC"
         "bersprungen";
}
constexpr const char* kExportFailed = "Die Datei konnte nicht gespeichert werden.";
constexpr int kInnerWidth = 9585, kInnerHeight = 3105;
constexpr int kMinWidth = 5550, kMinHeight = 3100;  // outer size
constexpr int kSurfaceLeft = 120, kSurfaceTop = 1320;
// The history's row of labels pushes the graph down by one row; the window grows by
// as much, so the graph keeps its size.
constexpr int kHistoryRow = 240;
constexpr int kSurfaceWidthMargin = 500, kSurfaceHeightMargin = 700;
constexpr COLORREF kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0);
constexpr int kComboId = 100;
constexpr int kRangeComboId = 101;
constexpr int kExportId = 102;
constexpr int kTitlesId = 103;
constexpr UINT_PTR kSurfaceHook = 1;
// Between two samples of a fill; the polls and the user go on meanwhile.
constexpr UINT_PTR kFillTimer = 1;
constexpr UINT kFillPauseMs = 10;
constexpr UINT kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr UINT kExStyle = WS_EX_TOOLWINDOW;

LRESULT CALLBACK surface_hook(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) {
  if (msg == WM_MOUSEMOVE) reinterpret_cast<FrmGraph*>(self)->pointer_at(static_cast<short>(LOWORD(lp)));
  return DefSubclassProc(h, msg, wp, lp);
}

std::optional<std::wstring> ask_save_path(HWND owner, const std::wstring& suggested) {
  wchar_t documents[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
  std::wstring file(suggested);
  file.resize(std::max<size_t>(file.size() + 1, 4096), L'\0');
  const std::wstring title = utf8_to_wide(kExportTitle);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = L"CSV (*.csv)\0*.csv\0\0";
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = documents[0] ? documents : nullptr;
  ofn.lpstrTitle = title.c_str();
  ofn.lpstrDefExt = L"csv";
  ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&ofn)) return std::nullopt;
  return std::wstring(file.c_str());
}

// A name the file system takes: the characters it refuses become '_'.
std::string file_name_part(const std::string& text) {
  std::string out;
  for (char c : text) out += std::string_view("\\/:*?\"<>|").find(c) == std::string_view::npos ? c : '_';
  return out;
}
}  // namespace

FrmGraph::FrmGraph(const std::vector<StationEntry>& stations, const History& history, HINSTANCE instance,
                   GraphHistory disk)
    : instance_(instance),
      view_(stations, history),
      disk_(std::move(disk)),
      save_prompt_(ask_save_path),
      plays_(instance) {
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
    range_ = HistoryRange::kSinceStart;
    const bool with_history = disk_.kept && disk_.kept();
    const int inner_height = kInnerHeight + (with_history ? kHistoryRow : 0);
    const RECT r = centred_on_screen(window_size_for_client(kInnerWidth, inner_height, kStyle, kExStyle));
    const WindowClass cls{kGraphWindowClass, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))};
    if (!create_window(cls, instance_, kExStyle, utf8_to_wide(kCaption).c_str(), kStyle, r.left, r.top,
                       r.right - r.left, r.bottom - r.top, nullptr)) {
      return false;
    }
    create_controls();
    if (with_history) create_history_controls();
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

void FrmGraph::create_history_controls() {
  HWND w = hwnd();
  const DWORD label = WS_VISIBLE | SS_LEFT;
  create_control(w, L"STATIC", kRangeCaption, label, 0, 5280, 285, 855, 255);
  range_combo_ = create_control(w, L"COMBOBOX", "", WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                                kRangeComboId, 6240, 240, 3225, 3000);
  for (const std::string& entry : range_entries()) {
    SendMessageW(range_combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf8_to_wide(entry).c_str()));
  }
  SendMessageW(range_combo_, CB_SETCURSEL, 0, 0);
  // The mean and the skipped lines belong to the ranges: "seit Programmstart" hides them.
  mean_caption_ = create_control(w, L"STATIC", kMeanCaption, SS_LEFT, 0, 120, 1200, 1935, 255);
  label_mean_ = create_control(w, L"STATIC", "", SS_LEFT, 0, 2280, 1200, 2055, 255);
  label_unreadable_ = create_control(w, L"STATIC", "", SS_LEFT, 0, 4440, 1200, 3270, 255);
  export_button_ = create_control(w, L"BUTTON", kExportCaption, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                  kExportId, 7830, 720, 1635, 375);
  // The ranges' rows carry songs; the samples since the start do not.
  titles_button_ = create_control(w, L"BUTTON", kTitlesCaption, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                  kTitlesId, 6075, 720, 1635, 375);
  EnableWindow(titles_button_, FALSE);

  if (tooltip_.create(w, TTS_NOPREFIX)) {
    tooltip_.add_tool(surface_->hwnd(), L"");
    tooltip_.set_max_width(600);
  }
  SetWindowSubclass(surface_->hwnd(), surface_hook, kSurfaceHook, reinterpret_cast<DWORD_PTR>(this));
}

std::optional<std::pair<int, std::string>> FrmGraph::selected_entry() const {
  const LRESULT index = SendMessageW(combo_, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return std::nullopt;
  const LRESULT len = SendMessageW(combo_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (len == CB_ERR) return std::nullopt;
  std::wstring text(static_cast<size_t>(len) + 1, L'\0');
  SendMessageW(combo_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(len));
  return std::pair(static_cast<int>(index), wide_to_utf8(text));
}

std::string FrmGraph::selected_station() const {
  const auto entry = selected_entry();
  return entry && entry->first != 0 ? trim_blanks(entry->second) : std::string();
}

std::pair<int64_t, int64_t> FrmGraph::range_bounds() const {
  // A poll of this very second belongs in.
  const int64_t to = disk_.now().utc() + 1;
  if (range_ == HistoryRange::kSinceStart) return {disk_.program_start_utc, to};
  return {to - range_seconds(range_), to};
}

void FrmGraph::on_range_selection() {
  const LRESULT index = SendMessageW(range_combo_, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR || static_cast<size_t>(index) >= std::size(kHistoryRanges)) return;
  range_ = kHistoryRanges[index];
  EnableWindow(titles_button_, range_ != HistoryRange::kSinceStart);
  if (range_ == HistoryRange::kSinceStart) {
    plot_ = HistoryPlot{};  // the range read from the files is no longer shown
    // The view in memory, as it is without a history, from the start of its fill.
    on_selection();
    return;
  }
  view_.stop_fill();
  show_range();
}

void FrmGraph::show_range_labels(bool shown) {
  for (HWND h : {mean_caption_, label_mean_, label_unreadable_}) ShowWindow(h, shown ? SW_SHOW : SW_HIDE);
}

void FrmGraph::show_range() {
  const std::string station = selected_station();
  if (station.empty()) {
    // The prompt: empty labels and graph, as the view in memory shows it.
    view_.select(0, kStationPrompt);
    return;
  }
  const auto [from, to] = range_bounds();
  StationRange range = disk_.samples(station, from, to);
  SetWindowTextW(label_unreadable_, utf8_to_wide(unreadable_text(range.unreadable)).c_str());
  show_range_labels(true);
  draw_range(std::move(range), from, to);
}

void FrmGraph::draw_range(StationRange range, int64_t from, int64_t to) {
  const RangeLabels labels = range_labels(summarize(range.samples));
  SetWindowTextW(label_min_, utf8_to_wide(labels.minimum).c_str());
  SetWindowTextW(label_max_, utf8_to_wide(labels.maximum).c_str());
  SetWindowTextW(label_mean_, utf8_to_wide(labels.mean).c_str());
  plot_.set_data(std::move(range.samples), from, to, gap_seconds(disk_.update_interval()),
                 disk_.now().offset_minutes, std::move(range.songs));
  plot_.draw(*surface_);
  pointer_at(-1);
}

void FrmGraph::poll_heard(const std::vector<HistoryRow>& rows) {
  const std::string station = selected_station();
  if (!is_open() || !history_shown() || range_ == HistoryRange::kSinceStart || station.empty()) return;
  const auto [from, to] = range_bounds();
  StationRange range = plot_.take_range();
  add_rows(range, rows, station, from, to);
  // What the range left behind as it moved on.
  const auto first = std::lower_bound(range.samples.begin(), range.samples.end(), from,
                                      [](const HistorySample& s, int64_t t) { return s.utc < t; });
  range.samples.erase(range.samples.begin(), first);
  draw_range(std::move(range), from, to);
  if (plays_.is_open()) plays_.show(hwnd(), station, plays_of(plot_.range()));
}

void FrmGraph::pointer_at(int x) {
  std::wstring text;
  if (range_ != HistoryRange::kSinceStart && x >= 0) {
    if (auto tip = plot_.tip_at(x)) text = utf8_to_wide(*tip);
  }
  if (text == tip_text_ || !tooltip_) {
    tip_text_ = std::move(text);
    return;
  }
  tip_text_ = std::move(text);
  tooltip_.set_text(surface_->hwnd(), tip_text_);
  // An empty text hides the tip; nothing to show is no empty box.
  tooltip_.activate(!tip_text_.empty());
}

void FrmGraph::show_plays() {
  const std::string station = selected_station();
  if (station.empty() || range_ == HistoryRange::kSinceStart) return;
  plays_.show(hwnd(), station, plays_of(plot_.range()));
}

void FrmGraph::export_range() {
  const std::string station = selected_station();
  if (station.empty()) return;
  const auto [from, to] = range_bounds();
  const StationRange range = disk_.samples(station, from, to);
  std::vector<HistoryRow> rows;
  rows.reserve(range.samples.size());
  for (const HistorySample& s : range.samples) {
    HistoryRow row{s.utc + int64_t{s.offset_minutes} * 60, s.offset_minutes, station, s.count};
    if (s.song >= 0 && static_cast<size_t>(s.song) < range.songs.size()) {
      row.artist = range.songs[static_cast<size_t>(s.song)].artist;
      row.title = range.songs[static_cast<size_t>(s.song)].title;
    }
    rows.push_back(std::move(row));
  }
  const auto day = [](int64_t local) { return civil_text(local).substr(0, 10); };
  const int32_t offset = disk_.now().offset_minutes;
  const std::string first = rows.empty() ? day(from + int64_t{offset} * 60) : day(rows.front().local);
  const std::string last = rows.empty() ? day(to + int64_t{offset} * 60) : day(rows.back().local);
  const std::string suggested = "hoerer_" + file_name_part(station) + "_" + first + "_" + last + ".csv";
  const std::optional<std::wstring> path = save_prompt_(hwnd(), utf8_to_wide(suggested));
  if (!path || !is_open()) return;
  if (!write_history_copy(wide_to_utf8(*path), rows)) {
    MessageBoxW(hwnd(), utf8_to_wide(kExportFailed).c_str(), utf8_to_wide(kCaption).c_str(),
                MB_OK | MB_ICONEXCLAMATION);
  }
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
  if (range_ != HistoryRange::kSinceStart) {
    view_.stop_fill();
    show_range();
    return;
  }
  if (history_shown()) {
    SetWindowTextW(label_mean_, L"");
    SetWindowTextW(label_unreadable_, L"");
    show_range_labels(false);
  }
  if (const auto entry = selected_entry()) view_.select(entry->first, entry->second);
}

void FrmGraph::on_resize() {
  if (!is_open() || !surface_) return;
  RECT r{};
  GetWindowRect(hwnd(), &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  const int min_w = px_x(kMinWidth), min_h = px_y(kMinHeight + (history_shown() ? kHistoryRow : 0));
  if (w < min_w || h < min_h) {
    w = std::max(w, min_w);
    h = std::max(h, min_h);
    SetWindowPos(hwnd(), nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const int top = kSurfaceTop + (history_shown() ? kHistoryRow : 0);
  surface_->move(px_x(kSurfaceLeft), px_y(top), w - px_x(kSurfaceWidthMargin),
                 h - px_y(top) - px_y(kSurfaceHeightMargin));
  if (range_ != HistoryRange::kSinceStart && !selected_station().empty()) {
    plot_.draw(*surface_);
  } else {
    view_.redraw();
  }
}

LRESULT FrmGraph::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_GETMINMAXINFO: {
      auto* mmi = reinterpret_cast<MINMAXINFO*>(lp);
      mmi->ptMinTrackSize.x = px_x(kMinWidth);
      mmi->ptMinTrackSize.y = px_y(kMinHeight + (history_shown() ? kHistoryRow : 0));
      return 0;
    }
    case WM_SIZE:
      on_resize();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == kComboId && HIWORD(wp) == CBN_SELCHANGE) on_selection();
      if (LOWORD(wp) == kRangeComboId && HIWORD(wp) == CBN_SELCHANGE) on_range_selection();
      if (LOWORD(wp) == kExportId && HIWORD(wp) == BN_CLICKED) export_range();
      if (LOWORD(wp) == kTitlesId && HIWORD(wp) == BN_CLICKED) show_plays();
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
      if (surface_) RemoveWindowSubclass(surface_->hwnd(), surface_hook, kSurfaceHook);
      surface_.reset();
      combo_ = label_min_ = label_max_ = nullptr;
      plays_.close();
      range_combo_ = mean_caption_ = label_mean_ = label_unreadable_ = export_button_ = titles_button_ = nullptr;
      tooltip_.reset();
      tip_text_.clear();
      plot_ = HistoryPlot{};  // a closed window holds no year of samples
      return 0;
    default:
      break;
  }
  return WindowBase::handle(msg, wp, lp);
}

}  // namespace kn
