#pragma once
// The logon start's value in the registry (see core/autostart.h for its name and data).
#include <string>

namespace kn {

// Both report success; the dialog does not look at it.
bool add_autostart(const std::string& value_name, const std::string& command);
bool remove_autostart(const std::string& value_name);

// Adds or removes the running program's own value.
void set_own_autostart(bool on);

}  // namespace kn
