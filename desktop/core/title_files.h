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

// "titel_" + station + ".txt", with characters that cannot stand in a file name
// (or would leave the folder) replaced by "_".
std::string title_file_name(const std::string& station);

using LineWriter = std::function<bool(const std::string& line)>;
using NowText = std::function<std::pair<std::string, std::string>()>;

// Handles one answer: writes a new song once and returns the id to remember.
int32_t handle_current_song(const std::string& answer, int32_t last_id, const std::string& count_text,
                            const LineWriter& write, const NowText& now);

}  // namespace kn
