#pragma once
// The settings dialog's controls in creation order, which is their tab order: what
// each one is, where it stands (twips), the setting it shows and what a change does
// before saving. The dialog is built, shown and read from this one table.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/settings.h"

namespace kn::konfig {

// Tests and the running program find the controls by these ids.
enum Control : int {
  kStations = 1001,
  kTextColourSwatch,
  kOutlineColourSwatch,
  kOutlineCheck,
  kShadowCheck,
  kTextSizeSlider,
  kTextSizeLabel,
  kTransparencySlider,
  kTransparencyLabel,
  kIntervalSlider,
  kIntervalLabel,
  kAutostartCheck,
  kSideBySideCheck,
  kOnlyChangesCheck,
  kChangeSecondsSlider,
  kChangeSecondsLabel,
  kWriteFilesCheck,
  kSetPositionButton,
  kResetPositionButton,
  kCancelButton,
  kSaveButton,
  kPositionXField,
  kPositionYField,
  kHintLabel,
  kFullscreenCheck,
  kNotifyCheck,
  kKeepHistoryCheck,
  kFirstCaption  // the plain captions follow, in table order
};

enum class Kind {
  kCaption,  // grey text
  kHint,     // red text
  kTextBox,
  kHiddenField,  // never shown: carries the position between the position dialog and saving
  kCheck,
  kSlider,  // with its value label to the right
  kSwatch,  // a colour; a click opens the colour dialog
  kButton,
};

// What a change of the control does before saving.
enum class Live {
  kOnSave,       // nothing: the setting changes on saving
  kSet,          // the setting takes the control's value at once
  kRedraw,       // and the overlay is drawn again
  kRedrawTwice,  // twice: the first redraw lays out at the window's width of before
  kPoll,         // and polls again, for a changed layout with fresh counts
};

struct TwipsRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

struct SliderScale {
  int lo = 0;
  int hi = 0;
  int value_label = 0;  // the label's id
  TwipsRect value_rect = {};
  std::string (*label)(int value) = nullptr;
};

struct ControlDef {
  Kind kind;
  int id;  // captions are numbered from kFirstCaption
  const char* caption;
  TwipsRect rect;
  std::optional<SettingField> shows = std::nullopt;
  Live live = Live::kOnSave;
  SliderScale slider = {};
  // A row the dialog gained over its first layout: everything after it moves down.
  bool added_row = false;
};

inline constexpr int32_t kWidthTwips = 7455;

// The controls as laid out, with their final ids and places.
std::span<const ControlDef> controls();

// The row of this id; nullptr for none (a slider's value label has no row of its own).
const ControlDef* control(int id);

// The settings entry of the field a control shows; only for a control that shows one.
const SettingDef& setting_shown(const ControlDef& c);

// The closing buttons' top plus the room below them.
int32_t height_twips();

}  // namespace kn::konfig
