// The dialog's controls made from the control table, and the settings moved into them
// and back in the settings file's text form.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "core/number_text.h"
#include "settings_dialog/frm_konfig.h"
#include "win/ansi_win.h"
#include "win/controls_win.h"

namespace kn {

namespace {
using konfig::ControlDef;
using konfig::Kind;

COLORREF swatch_rgb(uint32_t colour) { return static_cast<COLORREF>(colour & 0x00FFFFFF); }

struct Look {
  const wchar_t* cls;
  DWORD style;
};

Look look_of(Kind kind) {
  switch (kind) {
    case Kind::kTextBox:
      return {L"EDIT", WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL};
    case Kind::kHiddenField:
      return {L"EDIT", 0};
    case Kind::kCheck:
      return {L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX};
    case Kind::kButton:
      return {L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON};
    case Kind::kSlider:
      return {TRACKBAR_CLASSW, WS_VISIBLE | WS_TABSTOP | TBS_HORZ | TBS_NOTICKS};
    case Kind::kSwatch:
      return {L"STATIC", WS_VISIBLE | SS_NOTIFY | WS_BORDER};
    default:
      return {L"STATIC", WS_VISIBLE};
  }
}
}  // namespace

void FrmKonfig::create_controls() {
  for (const ControlDef& c : konfig::controls()) {
    const Look look = look_of(c.kind);
    HWND h = create_control(hwnd(), look.cls, c.caption, look.style, c.id, c.rect.left, c.rect.top,
                            c.rect.width, c.rect.height);
    // Lets the dialog colour the check box's text.
    if (c.kind == Kind::kCheck) use_classic_look(h);
    if (c.kind != Kind::kSlider) continue;
    SendMessageW(h, TBM_SETRANGEMIN, FALSE, c.slider.lo);
    SendMessageW(h, TBM_SETRANGEMAX, TRUE, c.slider.hi);
    const konfig::TwipsRect& v = c.slider.value_rect;
    create_control(hwnd(), L"STATIC", "", WS_VISIBLE, c.slider.value_label, v.left, v.top, v.width, v.height);
  }
}

void FrmKonfig::show_setting(const ControlDef& c) {
  const std::string text = setting_text(host_.settings(), konfig::setting_shown(c));
  switch (c.kind) {
    case Kind::kSwatch:
      set_swatch(c.id, colour_from_text(text));
      break;
    case Kind::kSlider:
      SendMessageW(control(c.id), TBM_SETPOS, TRUE, strict_int32(text).value_or(0));
      set_text(c.slider.value_label, c.slider.label(slider(c.id)));
      break;
    case Kind::kCheck:
      // Only exactly 1 checks a box whose setting is a number.
      SendMessageW(control(c.id), BM_SETCHECK, text == "1" ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    default:
      set_text(c.id, text);
      break;
  }
}

std::string FrmKonfig::shown_setting(const ControlDef& c) const {
  switch (c.kind) {
    case Kind::kSwatch:
      return colour_to_text(c.id == kTextColourSwatch ? text_colour_ : outline_colour_);
    case Kind::kSlider:
      return std::to_string(slider(c.id));
    case Kind::kCheck:
      return checked(c.id) ? "1" : "0";
    default:
      return text_of(c.id);
  }
}

bool FrmKonfig::checked(int id) const { return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

int FrmKonfig::slider(int id) const { return static_cast<int>(SendMessageW(control(id), TBM_GETPOS, 0, 0)); }

std::string FrmKonfig::text_of(int id) const {
  HWND h = control(id);
  std::wstring buffer(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
  const int n = GetWindowTextW(h, buffer.data(), static_cast<int>(buffer.size()));
  return wide_to_utf8(std::wstring_view(buffer.data(), static_cast<size_t>(n > 0 ? n : 0)));
}

void FrmKonfig::set_text(int id, const std::string& utf8) {
  SetWindowTextW(control(id), utf8_to_wide(utf8).c_str());
}

void FrmKonfig::set_swatch(int swatch, uint32_t colour) {
  unique_hbrush brush(CreateSolidBrush(swatch_rgb(colour)));
  if (swatch == kTextColourSwatch) {
    text_colour_ = colour;
    text_brush_ = std::move(brush);
  } else {
    outline_colour_ = colour;
    outline_brush_ = std::move(brush);
  }
  InvalidateRect(control(swatch), nullptr, TRUE);
}

void FrmKonfig::show_position_fields() {
  for (const ControlDef& c : konfig::controls()) {
    if (c.kind == Kind::kHiddenField) show_setting(c);
  }
}

}  // namespace kn
