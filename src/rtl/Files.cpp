#include "rtl/Files.h"

#include <windows.h>

#include <algorithm>
#include <functional>

#include "rtl/Utf.h"

namespace rtl {

namespace {

// The longest path Windows takes, in characters.
constexpr DWORD kMostPathLength = 32768;

// What a path function returns into a buffer: it answers how long its text
// is, or how much room it needs when the buffer is too small.
std::wstring Grown(const std::function<DWORD(wchar_t*, DWORD)>& get) {
    std::wstring text(MAX_PATH, L'\0');
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

bool FileHandle::Valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }

void FileHandle::Reset(void* handle) {
    if (Valid()) CloseHandle(handle_);
    handle_ = handle;
}

std::string ProgramPath() {
    // The name is cut short (and the result is the buffer's size) when the
    // buffer is too small: asked again with more room.
    return Narrow(Grown([](wchar_t* buffer, DWORD size) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer, size);
        return n == size ? size + 1 : n;
    }));
}

bool FileExists(const std::string& path) {
    if (path.find('\0') != std::string::npos) return false;  // not a name the file system knows
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FullLongPath(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return path;
    const std::wstring wide = Wide(path);
    const std::wstring full =
        Grown([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(wide.c_str(), size, buffer, nullptr); });
    if (full.empty()) return path;
    const std::wstring longPath =
        Grown([&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); });
    return Narrow(longPath.empty() ? full : longPath);
}

std::string AnsiToUtf8(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(std::min<size_t>(text.size(), 1 << 30));
    std::wstring wide(static_cast<size_t>(size), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), size);
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return Narrow(wide);
}

}  // namespace rtl
