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

}  // namespace

bool PathIsUnder(const std::string& path, const std::string& folder) {
    std::string base = folder;
    while (!base.empty() && Folded(base.back()) == '\\') base.pop_back();
    if (base.empty() || path.size() <= base.size() + 1) return false;
    // The folder's last component must end where a component of path ends.
    return Folded(path[base.size()]) == '\\' && SameText(path.substr(0, base.size()), base);
}

bool AutostartUnderUser(bool settingsUnderUser, const std::string& program, const std::string& profilesFolder) {
    return settingsUnderUser || PathIsUnder(program, profilesFolder);
}

bool RunValueStartsProgram(const std::string& data, const std::string& program) {
    std::string named = rtl::Trimmed(data);
    if (!named.empty() && named.front() == '"') {
        const size_t close = named.find('"', 1);
        if (close == std::string::npos) return false;
        named = named.substr(1, close - 1);
    }
    return !program.empty() && SameText(named, program);
}

}  // namespace config
