#include "core/answer_watch.h"

#include "core/text_util.h"

namespace kn {

namespace {

std::string shown_name(const std::string& name) { return umlauts_from_pairs(to_upper(name)); }

}  // namespace

std::string AnswerWatch::poll_ended(const std::vector<StationResult>& results, const std::string& began) {
  states_.resize(results.size());
  std::vector<std::string> gone, back;
  for (std::size_t i = 0; i < results.size(); ++i) {
    State& s = states_[i];
    const StationResult& r = results[i];
    if (r.answered) {
      if (s.down) {
        back.push_back(shown_name(r.name) + " antwortet wieder: " + std::to_string(r.count) +
                       " H\xC3\xB6rer.");
      }
      s = State{};
      continue;
    }
    if (++s.misses == 1) s.first_miss = began;
    if (s.misses == 2 && !s.down) {
      s.down = true;
      gone.push_back("Keine Antwort von " + shown_name(r.name) + " seit " + s.first_miss + ".");
    }
  }
  gone.insert(gone.end(), back.begin(), back.end());
  return notice_text(gone);
}

void AnswerNotifier::poll_ended(const std::vector<StationResult>& results, const std::string& began) {
  if (!settings_.notify_no_answer) return;
  const std::string text = watch_.poll_ended(results, began);
  if (!text.empty()) tell_(text);
}

std::string notice_text(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < AnswerWatch::kMaxLines; ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  if (lines.size() > AnswerWatch::kMaxLines)
    text += "\r\nund " + std::to_string(lines.size() - AnswerWatch::kMaxLines) + " weitere";
  std::u16string wide = utf8_to_utf16(text);
  if (wide.size() <= AnswerWatch::kMaxText) return text;
  wide.resize(AnswerWatch::kMaxText);
  // Never half a character.
  if (wide.back() >= 0xD800 && wide.back() <= 0xDBFF) wide.pop_back();
  return utf16_to_utf8(wide);
}

}  // namespace kn
