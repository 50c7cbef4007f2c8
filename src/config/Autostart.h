// Where the autostart value lives and which value starts this program.
// Portable: no Win32 calls.
#pragma once

#include <string>

namespace config {

// Whether path lies inside folder: folder's components are the first
// components of path, compared without regard to ASCII letter case, with
// "\" and "/" alike. "C:\UsersX\a.exe" is not inside "C:\Users"; an empty
// folder holds nothing.
bool PathIsUnder(const std::string& path, const std::string& folder);

// Whether the autostart value must live under the user's own root. A
// program that lies under the users' profiles folder (a per-user install)
// belongs to one user: an autostart value for every user of the machine
// would start a file that one user can replace. So does every run whose
// settings live under the user's own root.
bool AutostartUnderUser(bool settingsUnderUser, const std::string& program, const std::string& profilesFolder);

// Whether a Run value's data starts program: the data's program part (the
// text inside its leading quotes, or else all of it), blanks around it
// ignored, names the same file, without regard to ASCII letter case.
bool RunValueStartsProgram(const std::string& data, const std::string& program);

}  // namespace config
