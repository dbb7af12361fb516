#pragma once
// Current songs: each new song of a station becomes one line of its title file.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace kn {

struct SongInfo {
  int32_t id = 0;
  std::string title;
  std::string artist;
  std::string album;
};

// The members of a current-song answer; nullopt for a short, broken or incomplete one.
std::optional<SongInfo> parse_current_song(const std::string& answer);

// "date","time",id,"title","artist","album",count (no line break).
std::string title_line(const std::string& date, const std::string& time, const SongInfo& song,
                       const std::string& count_text);

// The station's name with characters that cannot stand in a file name (or would
// leave the folder) replaced by "_": the part of every file named after a station.
std::string file_safe_name(const std::string& station);
// "titel_" + file_safe_name(station) + ".txt".
std::string title_file_name(const std::string& station);

using LineWriter = std::function<bool(const std::string& line)>;
using NowText = std::function<std::pair<std::string, std::string>()>;

// Handles one answer: writes a new song once and returns the id to remember.
int32_t handle_current_song(const std::string& answer, int32_t last_id, const std::string& count_text,
                            const LineWriter& write, const NowText& now);

}  // namespace kn
