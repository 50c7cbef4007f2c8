// Whether and where this copy of the program may start at logon, and which
// Run value starts it. Portable: no Win32 calls.
#pragma once

#include <string>
#include <vector>

namespace config {

// Whether path lies inside folder: folder's components are the first
// components of path, compared without regard to ASCII letter case, with
// "\" and "/" alike and a leading "\\?\" ignored. "C:\UsersX\a.exe" is not
// inside "C:\Users"; an empty folder holds nothing.
bool PathIsUnder(const std::string& path, const std::string& folder);

// The folders that decide where a program may start at logon, as full, long
// paths: the Program Files folders (only administrators can change what lies
// in them) and the running user's own profile (only that user, and the
// administrators, can).
struct AutostartFolders {
    std::vector<std::string> programFiles;
    std::string ownProfile;
};

// Where a program lies, for its autostart.
enum class AutostartPlace {
    ProgramFiles,  // under a Program Files folder
    OwnProfile,    // inside the running user's own profile
    Elsewhere,     // another user's profile, a folder under C:\, a share...
};

// The place of the program at that full, long path.
AutostartPlace AutostartPlaceOf(const std::string& program, const AutostartFolders& folders);

// Where the program's Run value lives. None: nowhere, since someone other
// than its owner could replace the program it would start.
enum class AutostartRoot { None, Machine, User };

// A program under Program Files starts from the settings' root (the
// machine's, or the user's where the machine's cannot be written); one in
// the running user's own profile from the user's only, so that no other
// user's logon starts a file that one user can replace; one elsewhere from
// none. Only a program under Program Files may be started by a value of the
// machine's.
AutostartRoot AutostartRootFor(AutostartPlace place, bool settingsUnderUser);

// The program part of a Run value's data: the text inside its leading
// quotes, or else all of it, blanks around it ignored; empty when a leading
// quote is not closed.
std::string RunValueProgram(const std::string& data);

// Whether a Run value's data starts program: the data's program part names
// the same file, without regard to ASCII letter case.
bool RunValueStartsProgram(const std::string& data, const std::string& program);

}  // namespace config
