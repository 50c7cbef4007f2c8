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

// The full path with every part that exists made long: the parts after
// the last one that exists stay as they are.
std::string LongAsFarAsItExists(const std::string& full) {
    const size_t slash = full.find_last_of('\\');
    if (slash == std::string::npos || slash < 3 || GetFileAttributesW(rtl::Wide(full).c_str()) != INVALID_FILE_ATTRIBUTES)
        return rtl::FullLongPath(full);
    return LongAsFarAsItExists(full.substr(0, slash)) + full.substr(slash);
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

std::optional<AutostartPlace> PlaceOfNamedProgram(const std::string& runValueData) {
    const std::string named = RunValueProgram(runValueData);
    if (named.empty() || named.find('\0') != std::string::npos) return std::nullopt;
    const std::string program = LongAsFarAsItExists(rtl::FullLongPath(named));
    const std::wstring name = rtl::Wide(program.substr(program.find_last_of("\\/") + 1));
    if (CompareStringOrdinal(name.c_str(), -1, L"teskaprs.exe", -1, TRUE) != CSTR_EQUAL) return std::nullopt;
    return AutostartPlaceOf(program, ThisMachinesAutostartFolders());
}

}  // namespace config
