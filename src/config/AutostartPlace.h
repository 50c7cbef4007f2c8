// Where this machine's copy of the program may start at logon: the rule of
// config/Autostart applied to the folders the system records.
#pragma once

#include <optional>
#include <string>

#include "config/Autostart.h"

namespace config {

// The Program Files folders and the running user's own profile, as the
// system records them, made full and long.
AutostartFolders ThisMachinesAutostartFolders();

// The place of the program at that path, the path made full and long first
// (a short 8.3 name is compared by its long name).
AutostartPlace AutostartPlaceOf(const std::string& program);

// The place of the program a Run value's data names (its program part, see
// RunValueProgram), the path made full and long as far as it exists, so
// that a folder yet to be made is judged by where it will be; none when
// that path does not end in a file called teskaprs.exe. The setup asks the
// program it installs this, so one rule decides where the program may be
// installed and where an earlier copy may stay autostarted.
std::optional<AutostartPlace> PlaceOfNamedProgram(const std::string& runValueData);

}  // namespace config
