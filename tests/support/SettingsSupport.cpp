#include "SettingsSupport.h"

#include <sddl.h>

#include <stdexcept>

namespace testsupport {

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void RequireWine() {
    static const bool underWine = RunningUnderWine();
    if (!underWine) throw std::runtime_error("refusing to change the registry outside Wine");
}

namespace {

HKEY CreateKey(RegRoot root, const std::string& path, REGSAM access) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(root.key, path.c_str(), 0, nullptr, 0, access | root.view, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot create key " + path + ": " + std::to_string(rc));
    return key;
}

}  // namespace

void DeleteKeyTree(RegRoot root, const std::string& path) {
    RequireWine();
    HKEY key = nullptr;
    if (RegOpenKeyExA(root.key, path.c_str(), 0, KEY_ALL_ACCESS | root.view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeA(key, nullptr);
        RegCloseKey(key);
    }
    RegDeleteKeyExA(root.key, path.c_str(), root.view, 0);
}

std::string ConfigFileBesideProgram() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p = path;
    return p.substr(0, p.find_last_of('\\') + 1) + "aprsconfig.txt";
}

void ForgetSavedSettings() {
    RequireWine();
    for (const RegRoot& root : {kMachine32, kMachine64, kUser}) {
        DeleteKeyTree(root, kSettingsKey);
        DeleteRawValue(root, kRunKey, "Teskaprs");
    }
    DeleteFileA(ConfigFileBesideProgram().c_str());
    RemoveDirectoryA(ConfigFileBesideProgram().c_str());  // left by a test that stood a folder in its place
}

ReadOnlyKey::ReadOnlyKey(RegRoot root, const std::string& path) : root_(root), path_(path) {
    RequireWine();
    RegCloseKey(CreateKey(root, path, KEY_READ));
    HKEY key = nullptr;
    if (RegOpenKeyExA(root.key, path.c_str(), 0, READ_CONTROL | WRITE_DAC | root.view, &key) != ERROR_SUCCESS)
        throw std::runtime_error("cannot open " + path + " to change its access");
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    oldSecurity_.resize(size);
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, oldSecurity_.data(), &size) != ERROR_SUCCESS)
        oldSecurity_.clear();
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr);
    LONG rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly);
    LocalFree(readOnly);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot make " + path + " read-only");
}

ReadOnlyKey::~ReadOnlyKey() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_.key, path_.c_str(), 0, WRITE_DAC | root_.view, &key) != ERROR_SUCCESS) return;
    if (!oldSecurity_.empty()) {
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, oldSecurity_.data());
    } else {
        PSECURITY_DESCRIPTOR all = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KA;;;WD)", SDDL_REVISION_1, &all, nullptr);
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, all);
        LocalFree(all);
    }
    RegCloseKey(key);
}

StandardUserRegistry::StandardUserRegistry(bool userLockedToo) {
    for (const RegRoot& machine : {kMachine32, kMachine64}) {
        locks_.push_back(std::make_unique<ReadOnlyKey>(machine, kSettingsKey));
        locks_.push_back(std::make_unique<ReadOnlyKey>(machine, kRunKey));
    }
    if (userLockedToo) locks_.push_back(std::make_unique<ReadOnlyKey>(kUser, kSettingsKey));
}

StandardUserRegistry::~StandardUserRegistry() {
    // Given back in reverse order.
    while (!locks_.empty()) locks_.pop_back();
}

void SetRawValue(RegRoot root, const std::string& path, const std::string& name, DWORD type, const void* data,
                 DWORD size) {
    RequireWine();
    HKEY key = CreateKey(root, path, KEY_SET_VALUE);
    LONG rc = RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot set " + name + ": " + std::to_string(rc));
}

void SetDword(RegRoot root, const std::string& path, const std::string& name, DWORD value) {
    SetRawValue(root, path, name, REG_DWORD, &value, sizeof value);
}

void SetText(RegRoot root, const std::string& path, const std::string& name, const std::string& text) {
    SetRawValue(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool GetRawValue(RegRoot root, const std::string& path, const std::string& name, DWORD* type, std::string* bytes) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root.key, path.c_str(), 0, KEY_QUERY_VALUE | root.view, &key) != ERROR_SUCCESS) return false;
    DWORD t = 0, size = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &t, nullptr, &size);
    if (rc == ERROR_SUCCESS && bytes) {
        bytes->assign(size, '\0');
        rc = RegQueryValueExA(key, name.c_str(), nullptr, &t, reinterpret_cast<BYTE*>(bytes->data()), &size);
        bytes->resize(size);
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return false;
    if (type) *type = t;
    return true;
}

void DeleteRawValue(RegRoot root, const std::string& path, const std::string& name) {
    RequireWine();
    HKEY key = nullptr;
    if (RegOpenKeyExA(root.key, path.c_str(), 0, KEY_SET_VALUE | root.view, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
}

bool KeyExists(RegRoot root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root.key, path.c_str(), 0, KEY_READ | root.view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace testsupport
