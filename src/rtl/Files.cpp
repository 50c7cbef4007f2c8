#include "rtl/Files.h"

#include <windows.h>

#include <algorithm>
#include <functional>

namespace rtl {

namespace {

// The longest path Windows takes, in characters.
constexpr DWORD kMostPathLength = 32768;

// What a path function returns into a buffer: it answers how long its text
// is, or how much room it needs when the buffer is too small.
std::string Grown(const std::function<DWORD(char*, DWORD)>& get) {
    std::string text(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = get(text.data(), static_cast<DWORD>(text.size()));
        if (n == 0) return {};
        if (n < text.size()) {
            text.resize(n);
            return text;
        }
        if (text.size() >= kMostPathLength) return {};
        text.resize(std::max<DWORD>(n, static_cast<DWORD>(text.size() * 2)));
    }
}

}  // namespace

std::string ProgramPath() {
    // The name is cut short (and the result is the buffer's size) when the
    // buffer is too small: asked again with more room.
    return Grown([](char* buffer, DWORD size) {
        const DWORD n = GetModuleFileNameA(nullptr, buffer, size);
        return n == size ? size + 1 : n;
    });
}

bool FileExists(const std::string& path) {
    if (path.find('\0') != std::string::npos) return false;  // not a name the file system knows
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FullLongPath(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return path;
    const std::string full =
        Grown([&](char* buffer, DWORD size) { return GetFullPathNameA(path.c_str(), size, buffer, nullptr); });
    if (full.empty()) return path;
    const std::string longPath =
        Grown([&](char* buffer, DWORD size) { return GetLongPathNameA(full.c_str(), buffer, size); });
    return longPath.empty() ? full : longPath;
}

}  // namespace rtl
