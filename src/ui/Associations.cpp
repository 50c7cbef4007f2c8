#include "ui/Associations.h"

#include <shellapi.h>

#include <algorithm>

#include "rtl/Utf.h"

namespace ui {

namespace {

const char kMachineClasses[] = "Software\\Classes\\";
// The buffer a default value is first read into; most values fit.
const LONG kFirstBufferSize = 260;
// No command is longer; a value past it is not read.
const LONG kMostBufferSize = 32 * 1024;

// The default value of an open key; empty text when it cannot be read.
// A value longer than the first buffer (a browser command with a long path
// and many options) is read again with a buffer of the size the registry
// reports, so it is never cut short: a cut template could start a different
// program or lose the placeholder.
std::string DefaultValue(HKEY key) {
    // Sizes are in bytes, the text in UTF-16.
    std::vector<wchar_t> buffer(static_cast<size_t>(kFirstBufferSize));
    // The value may grow between the two reads; a few rounds settle it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        LONG size = static_cast<LONG>(buffer.size() * sizeof(wchar_t));
        const LONG status = RegQueryValueW(key, nullptr, buffer.data(), &size);
        if (status == ERROR_MORE_DATA && size > static_cast<LONG>(buffer.size() * sizeof(wchar_t))) {
            if (size > kMostBufferSize) break;  // read as empty text
            buffer.assign(static_cast<size_t>(size) / sizeof(wchar_t) + 1, L'\0');
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        // The text up to its terminating zero, never beyond what was read.
        const size_t limit = std::min(buffer.size(), static_cast<size_t>(size > 0 ? size : 0) / sizeof(wchar_t));
        size_t length = 0;
        while (length < limit && buffer[length] != L'\0') ++length;
        return rtl::Narrow(std::wstring_view(buffer.data(), length));
    }
    return {};
}

LONG OpenMachineClass(const std::string& name, HKEY* key) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, rtl::Wide(kMachineClasses + name).c_str(), 0, KEY_READ, key);
}

}  // namespace

bool MachineAssociationsOnly() {
    static const bool machineOnly = [] {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
        TOKEN_ELEVATION elevation{};
        DWORD size = 0;
        const BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
        CloseHandle(token);
        return !known || elevation.TokenIsElevated != 0;
    }();
    return machineOnly;
}

bool ReadClassesDefault(const std::string& subKey, std::string& value) {
    value.clear();
    HKEY key = nullptr;
    const LONG opened = MachineAssociationsOnly() ? OpenMachineClass(subKey, &key)
                                                  : RegOpenKeyExW(HKEY_CLASSES_ROOT, rtl::Wide(subKey).c_str(), 0,
                                                                  KEY_READ, &key);
    if (opened != ERROR_SUCCESS) return false;
    value = DefaultValue(key);
    RegCloseKey(key);
    return true;
}

bool OpenWithMachineClass(HWND owner, const std::string& target, const std::vector<std::string>& classes, int show) {
    for (const std::string& name : classes) {
        std::string className = name;
        HKEY key = nullptr;
        if (!className.empty() && className.front() == '.') {
            if (OpenMachineClass(name, &key) != ERROR_SUCCESS) continue;
            className = DefaultValue(key);
            RegCloseKey(key);
        }
        if (className.empty() || OpenMachineClass(className, &key) != ERROR_SUCCESS) continue;
        HKEY command = nullptr;
        if (RegOpenKeyExW(key, L"shell\\open\\command", 0, KEY_QUERY_VALUE, &command) != ERROR_SUCCESS) {
            RegCloseKey(key);
            continue;
        }
        RegCloseKey(command);
        // The shell runs the class's own command, whatever the user's
        // classes say of the target's type.
        const std::wstring file = rtl::Wide(target);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_CLASSKEY | SEE_MASK_FLAG_NO_UI;
        info.hwnd = owner;
        info.lpVerb = L"open";
        info.lpFile = file.c_str();
        info.hkeyClass = key;
        info.nShow = show;
        const BOOL started = ShellExecuteExW(&info);
        const DWORD error = GetLastError();
        RegCloseKey(key);
        SetLastError(started ? ERROR_SUCCESS : error);
        return started != FALSE;
    }
    SetLastError(ERROR_NO_ASSOCIATION);
    return false;
}

}  // namespace ui
