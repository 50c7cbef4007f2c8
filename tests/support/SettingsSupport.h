// The saved settings of the program, for tests that build the main window
// or the registry component: start each test from nothing saved, and make a
// key read-only for real.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// The program's settings key under HKEY_LOCAL_MACHINE, and the autostart key.
inline constexpr char kSettingsKey[] = "Software\\Teskaprs";
inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Removes every trace of saved settings: the settings key with all its
// values, the autostart value "Teskaprs", and the configuration file beside
// the running program.
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
    ReadOnlyKey(HKEY root, const std::string& path);
    ~ReadOnlyKey();
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

private:
    HKEY root_;
    std::string path_;
    std::vector<BYTE> oldSecurity_;
};

// Raw registry access for arranging and checking values in tests.
void SetRawValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const void* data,
                 DWORD size);
void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
void SetText(HKEY root, const std::string& path, const std::string& name, const std::string& text);
// Whether the value exists; its type and bytes when it does.
bool GetRawValue(HKEY root, const std::string& path, const std::string& name, DWORD* type = nullptr,
                 std::string* bytes = nullptr);
bool KeyExists(HKEY root, const std::string& path);
// Removes the key and everything below it (nothing when missing).
void DeleteKeyTree(HKEY root, const std::string& path);

}  // namespace testsupport
