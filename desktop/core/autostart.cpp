#include "core/autostart.h"

namespace kn {

std::string autostart_command(std::string_view program_folder) {
  std::string command;
  command.reserve(program_folder.size() + 30);
  command.append(1, '"').append(program_folder).append("\\Klangnetz_DesktopTool.exe").append(1, '"');
  return command;
}

std::string autostart_value_name(std::string_view exe_path) {
  const size_t slash = exe_path.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? exe_path : exe_path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name);
}

}  // namespace kn
