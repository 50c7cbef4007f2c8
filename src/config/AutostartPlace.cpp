#include "config/AutostartPlace.h"

#include <windows.h>

#include <shlobj.h>

#include "rtl/Files.h"
#include "rtl/Utf.h"

namespace config {

namespace {

// A folder the system records, full and long; empty when it records none.
std::string KnownFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) || !path[0]) return {};
    return rtl::FullLongPath(rtl::Narrow(path));
}

}  // namespace

AutostartFolders ThisMachinesAutostartFolders() {
    AutostartFolders folders;
    for (const int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86}) {
        const std::string folder = KnownFolder(csidl);
        if (!folder.empty()) folders.programFiles.push_back(folder);
    }
    folders.ownProfile = KnownFolder(CSIDL_PROFILE);
    return folders;
}

AutostartPlace AutostartPlaceOf(const std::string& program) {
    if (program.empty()) return AutostartPlace::Elsewhere;
    return AutostartPlaceOf(rtl::FullLongPath(program), ThisMachinesAutostartFolders());
}

}  // namespace config
