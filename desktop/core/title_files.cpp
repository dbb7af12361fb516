#include "core/title_files.h"

#include <cmath>
#include <cstdio>

#include "core/number_text.h"
#include "core/text_util.h"
#include "json/json_node.h"

namespace kn {

namespace {

using json::JsonNode;
using json::JsonValue;

// Text as it is; null as nothing; anything else as its JSON form.
std::string field_text(const JsonValue& v) {
  if (v.IsText()) return utf16_to_utf8(v.AsText());
  if (v.IsEmptyOrNull()) return {};
  return utf16_to_utf8(json::ToJson(v));
}

std::string number_text(double v) {
  char buf[64];
  if (std::fabs(v) < 9.0e15 && v == std::floor(v)) {
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
  } else {
    std::snprintf(buf, sizeof buf, "%.15g", v);
  }
  return buf;
}

}  // namespace

std::optional<SongInfo> parse_current_song(const std::string& answer) {
  // Under 10 UTF-16 units; no unit takes more than three bytes.
  if (answer.size() < 30 && utf8_to_utf16(answer).size() < 10) return std::nullopt;
  try {
    JsonNode doc;
    doc.SetJSONUtf8(answer);
    SongInfo song;
    auto id = round_to_int32(leading_number(field_text(doc.Item(u"id"))));
    song.id = id ? *id : 0;
    song.title = field_text(doc.Item(u"title"));
    JsonValue artist = doc.Item(u"artist");
    if (!artist.IsNode()) return std::nullopt;
    song.artist = field_text(artist.AsNode()->Item(u"name"));
    song.album = field_text(doc.Item(u"album"));
    return song;
  } catch (const json::JsonError&) {
    return std::nullopt;
  }
}

std::string title_line(const std::string& date, const std::string& time, const SongInfo& song,
                       const std::string& count_text) {
  return "\"" + date + "\",\"" + time + "\"," + std::to_string(song.id) + ",\"" + song.title + "\",\"" +
         song.artist + "\",\"" + song.album + "\"," + number_text(leading_number(count_text));
}

std::string file_safe_name(const std::string& station) {
  std::string safe;
  for (char c : station) {
    unsigned char u = static_cast<unsigned char>(c);
    bool bad = u < 0x20 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' ||
               c == '<' || c == '>' || c == '|';
    safe += bad ? '_' : c;
  }
  // ".." alone could still point at the parent folder.
  if (safe.find_first_not_of('.') == std::string::npos) safe = replace_all(safe, ".", "_");
  return safe;
}

std::string title_file_name(const std::string& station) {
  return "titel_" + file_safe_name(station) + ".txt";
}

int32_t handle_current_song(const std::string& answer, int32_t last_id, const std::string& count_text,
                            const LineWriter& write, const NowText& now) {
  auto song = parse_current_song(answer);
  if (!song) return 0;
  if (song->id > 0 && song->id != last_id) {
    auto [date, time] = now();
    write(title_line(date, time, *song, count_text));  // a failed write skips the line
  }
  return song->id;
}

}  // namespace kn
