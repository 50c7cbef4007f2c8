// The saved settings of the program, for tests that build the main window
// or the registry component: start each test from nothing saved, and make a
// key read-only for real. Everything here that changes the registry refuses
// to run anywhere but under Wine.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// Whether this process runs under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();
// Throws std::runtime_error unless RunningUnderWine(): a test must never
// change the registry of a real Windows machine.
void RequireWine();

// The program's settings key and its autostart key, under the root in use
// (HKEY_LOCAL_MACHINE in its 32-bit view, or HKEY_CURRENT_USER).
inline constexpr char kSettingsKey[] = "Software\\Teskaprs";
inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// A root key and the registry view its keys are opened in. A bare HKEY
// converts to it: HKEY_LOCAL_MACHINE in the 32-bit view, where the program
// keeps its settings, every other root in its one view.
struct RegRoot {
    RegRoot(HKEY key) : key(key), view(key == HKEY_LOCAL_MACHINE ? KEY_WOW64_32KEY : 0) {}
    RegRoot(HKEY key, REGSAM view) : key(key), view(view) {}
    HKEY key;
    REGSAM view;  // 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY
};
// HKEY_LOCAL_MACHINE in each of its views, and the user's own root.
inline const RegRoot kMachine32{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY};
inline const RegRoot kMachine64{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY};
inline const RegRoot kUser{HKEY_CURRENT_USER, 0};

// Removes every trace of saved settings: the settings key with all its
// values under HKEY_LOCAL_MACHINE (both views) and HKEY_CURRENT_USER, the
// autostart value "Teskaprs" under each of them, and the configuration file
// beside the running program.
void ForgetSavedSettings();

// Forgets the saved settings when built and again when destroyed.
class CleanSettings {
public:
    CleanSettings() { ForgetSavedSettings(); }
    ~CleanSettings() { ForgetSavedSettings(); }
    CleanSettings(const CleanSettings&) = delete;
    CleanSettings& operator=(const CleanSettings&) = delete;
};

// The configuration file beside the running program.
std::string ConfigFileBesideProgram();

// Makes an existing key readable only (opening it with KEY_ALL_ACCESS or
// KEY_SET_VALUE is refused) and gives it its old access back when destroyed.
// The key is created first when missing.
class ReadOnlyKey {
public:
    ReadOnlyKey(RegRoot root, const std::string& path);
    ~ReadOnlyKey();
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

private:
    RegRoot root_;
    std::string path_;
    std::vector<BYTE> oldSecurity_;
};

// The registry as a standard (not elevated) user has it: the program's
// settings key and the Run key under HKEY_LOCAL_MACHINE, in both views,
// readable only. With userLockedToo, the user's own settings key as well (a
// locked-down machine). Everything is given back when destroyed.
class StandardUserRegistry {
public:
    explicit StandardUserRegistry(bool userLockedToo = false);
    ~StandardUserRegistry();
    StandardUserRegistry(const StandardUserRegistry&) = delete;
    StandardUserRegistry& operator=(const StandardUserRegistry&) = delete;

private:
    std::vector<std::unique_ptr<ReadOnlyKey>> locks_;
};

// Raw registry access for arranging and checking values in tests.
void SetRawValue(RegRoot root, const std::string& path, const std::string& name, DWORD type, const void* data,
                 DWORD size);
void SetDword(RegRoot root, const std::string& path, const std::string& name, DWORD value);
void SetText(RegRoot root, const std::string& path, const std::string& name, const std::string& text);
// Whether the value exists; its type and bytes when it does.
bool GetRawValue(RegRoot root, const std::string& path, const std::string& name, DWORD* type = nullptr,
                 std::string* bytes = nullptr);
void DeleteRawValue(RegRoot root, const std::string& path, const std::string& name);
bool KeyExists(RegRoot root, const std::string& path);
// Removes the key and everything below it (nothing when missing).
void DeleteKeyTree(RegRoot root, const std::string& path);

}  // namespace testsupport
