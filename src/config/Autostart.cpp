#include "config/Autostart.h"

#include "rtl/Text.h"

namespace config {

namespace {

char Folded(char c) {
    if (c == '/') return '\\';
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

// The path without the "\\?\" that lets it pass MAX_PATH.
std::string Plain(const std::string& path) { return path.rfind("\\\\?\\", 0) == 0 ? path.substr(4) : path; }

}  // namespace

bool PathIsUnder(const std::string& path, const std::string& folder) {
    const std::string inside = Plain(path);
    std::string base = Plain(folder);
    while (!base.empty() && Folded(base.back()) == '\\') base.pop_back();
    if (base.empty() || inside.size() <= base.size() + 1) return false;
    // The folder's last component must end where a component of path ends.
    return Folded(inside[base.size()]) == '\\' && SameText(inside.substr(0, base.size()), base);
}

AutostartPlace AutostartPlaceOf(const std::string& program, const AutostartFolders& folders) {
    if (PathIsUnder(program, folders.ownProfile)) return AutostartPlace::OwnProfile;
    for (const std::string& folder : folders.programFiles)
        if (PathIsUnder(program, folder)) return AutostartPlace::ProgramFiles;
    return AutostartPlace::Elsewhere;
}

AutostartRoot AutostartRootFor(AutostartPlace place, bool settingsUnderUser) {
    using P = AutostartPlace;
    using R = AutostartRoot;
    // The root with the machine's settings, and with the user's.
    static constexpr struct {
        P place;
        R machineSettings, userSettings;
    } kRoots[] = {
        {P::ProgramFiles, R::Machine, R::User},
        {P::OwnProfile, R::User, R::User},
        {P::Elsewhere, R::None, R::None},
    };
    for (const auto& row : kRoots)
        if (row.place == place) return settingsUnderUser ? row.userSettings : row.machineSettings;
    return R::None;
}

std::string RunValueProgram(const std::string& data) {
    const std::string named = rtl::Trimmed(data);
    if (named.empty() || named.front() != '"') return named;
    const size_t close = named.find('"', 1);
    return close == std::string::npos ? std::string() : named.substr(1, close - 1);
}

bool RunValueStartsProgram(const std::string& data, const std::string& program) {
    return !program.empty() && SameText(RunValueProgram(data), program);
}

}  // namespace config
