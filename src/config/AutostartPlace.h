// Where this machine's copy of the program may start at logon: the rule of
// config/Autostart applied to the folders the system records.
#pragma once

#include <string>

#include "config/Autostart.h"

namespace config {

// The Program Files folders and the running user's own profile, as the
// system records them, made full and long.
AutostartFolders ThisMachinesAutostartFolders();

// The place of the program at that path, the path made full and long first
// (a short 8.3 name is compared by its long name).
AutostartPlace AutostartPlaceOf(const std::string& program);

}  // namespace config
