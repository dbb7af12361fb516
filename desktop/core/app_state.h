#pragma once
// The program-wide state: the settings (fields named after their keys), the station
// list and the history. Windows hold their own instances in the shell.
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/hoerer_stats.h"

namespace kn {

struct AppState {
  Settings settings;
  std::string program_folder;  // without a trailing backslash
  std::string settings_file;
  std::vector<StationEntry> station_list;
  History history;
};

}  // namespace kn
