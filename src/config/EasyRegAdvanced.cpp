#include "config/EasyRegAdvanced.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "rtl/Text.h"
#include "rtl/Utf.h"

namespace config {

namespace {

const char kNoRegString[] = "Error: No RegString Provided";
const char kValueNotCreated[] = "Error: Value not Created";
// The most characters a text value may hold to be read: far more than any
// setting or packet, far less than the registry allows.
const DWORD kMostTextSize = 32 * 1024;

HKEY RootKeyOf(TRootKey key) {
    switch (key) {
    case bkHKEY_LOCAL_MACHINE: return HKEY_LOCAL_MACHINE;
    case bkHKEY_CLASSES_ROOT: return HKEY_CLASSES_ROOT;
    case bkHKEY_CURRENT_USER: return HKEY_CURRENT_USER;
    case bkHKEY_USERS: return HKEY_USERS;
    case bkHKEY_CURRENT_CONFIG: return HKEY_CURRENT_CONFIG;
    }
    return nullptr;  // not a root key: nothing can be opened under it
}

ERegistryException FailedToSet(const std::string& name) {
    return ERegistryException("Failed to set data for '" + name + "'");
}
ERegistryException FailedToGet(const std::string& name) {
    return ERegistryException("Failed to get data for '" + name + "'");
}
ERegistryException InvalidType(const std::string& name) {
    return ERegistryException("Invalid data type for '" + name + "'");
}

REGSAM ViewFlag(TRegView view) {
    switch (view) {
    case rvDefault: return 0;
    case rv32Bit: return KEY_WOW64_32KEY;
    case rv64Bit: return KEY_WOW64_64KEY;
    }
    return 0;
}

// What an operation does with its key.
enum class Use { Read, Write, Delete };

// One operation's key: opened when built, closed when the operation ends,
// whichever way it ends. Handle() is null when the key could not be opened
// (or created).
class OpenedKey {
public:
    OpenedKey(const TEasyRegAdvanced& reg, Use use) {
        // An empty path is refused before the registry is touched; a path of
        // blanks only is not empty and names the root key itself.
        if (reg.RegString().empty()) throw TEasyRegException(kNoRegString);
        HKEY root = RootKeyOf(reg.RegBaseKey());
        if (!root) return;
        // A read-only component has no key to write to or delete from.
        if (reg.ReadOnly() && use != Use::Read) return;
        std::string path = rtl::Trimmed(reg.RegString());
        if (!path.empty() && path.front() == '\\') path.erase(0, 1);
        const REGSAM view = ViewFlag(reg.RegView());
        const std::wstring widePath = rtl::Wide(path);
        const wchar_t* subkey = path.empty() ? nullptr : widePath.c_str();
        LONG rc;
        if (reg.ReadOnly()) {
            // Reading rights only, and nothing created.
            rc = RegOpenKeyExW(root, subkey, 0, KEY_READ | view, &key_);
        } else if (use != Use::Delete && subkey) {
            // The same rights for reading as for writing, so a key that may
            // only be read does not open at all.
            rc = RegCreateKeyExW(root, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view, nullptr,
                                 &key_, nullptr);
        } else {
            rc = RegOpenKeyExW(root, subkey, 0, KEY_ALL_ACCESS | view, &key_);
        }
        if (rc != ERROR_SUCCESS) key_ = nullptr;
    }
    ~OpenedKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    HKEY Handle() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool HasValue(HKEY key, const std::string& name) {
    return key && RegQueryValueExW(key, rtl::Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// Stores one value, then makes sure it is there: a store the registry
// refuses fails with its own message, a value that is missing afterwards
// (also because the key did not open) with the component's.
void Write(const TEasyRegAdvanced& reg, const std::string& name, DWORD type, const void* data, size_t size) {
    OpenedKey key(reg, Use::Write);
    if (key.Handle()) {
        if (size > std::numeric_limits<DWORD>::max()) throw FailedToSet(name);
        if (RegSetValueExW(key.Handle(), rtl::Wide(name).c_str(), 0, type, static_cast<const BYTE*>(data),
                           static_cast<DWORD>(size)) != ERROR_SUCCESS)
            throw FailedToSet(name);
    }
    if (!HasValue(key.Handle(), name)) throw TEasyRegException(kValueNotCreated);
}

// Reads a value of at most `size` bytes into a zeroed buffer. Returns false
// when the key did not open; a value that is absent or larger than the buffer
// fails with "Failed to get data".
bool ReadFixed(const TEasyRegAdvanced& reg, const std::string& name, void* buffer, DWORD size, DWORD& type,
               DWORD& length) {
    OpenedKey key(reg, Use::Read);
    if (!key.Handle()) return false;
    // Room for text too, which the registry gives in UTF-16: a text value
    // counts by its characters, as it did in single-byte text.
    std::vector<BYTE> data(size * sizeof(wchar_t));
    length = static_cast<DWORD>(data.size());
    type = REG_NONE;
    if (RegQueryValueExW(key.Handle(), rtl::Wide(name).c_str(), nullptr, &type, data.data(), &length) !=
        ERROR_SUCCESS)
        throw FailedToGet(name);
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) length /= sizeof(wchar_t);
    if (length > size) throw FailedToGet(name);
    std::memset(buffer, 0, size);
    std::memcpy(buffer, data.data(), length);
    return true;
}

// Reads a REG_DWORD into value; leaves it alone when the key did not open.
void ReadDword(const TEasyRegAdvanced& reg, const std::string& name, int& value) {
    DWORD data = 0, type = REG_NONE, length = 0;
    if (!ReadFixed(reg, name, &data, sizeof data, type, length)) return;
    // A REG_DWORD of fewer than four bytes holds no whole integer.
    if (type != REG_DWORD || length != sizeof data) throw InvalidType(name);
    value = static_cast<int>(data);
}

}  // namespace

void TEasyRegAdvanced::WriteString(const std::string& name, const std::string& value) {
    // The characters in UTF-16 and their terminating zero.
    const std::wstring wide = rtl::Wide(value);
    Write(*this, name, REG_SZ, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
}

void TEasyRegAdvanced::WriteInteger(const std::string& name, int value) {
    const auto data = static_cast<DWORD>(value);  // little-endian, as the machine holds it
    Write(*this, name, REG_DWORD, &data, sizeof data);
}

void TEasyRegAdvanced::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

void TEasyRegAdvanced::WriteFloat(const std::string& name, double value) {
    static_assert(sizeof(double) == 8);
    Write(*this, name, REG_BINARY, &value, sizeof value);
}

std::string TEasyRegAdvanced::ReadString(const std::string& name) {
    OpenedKey key(*this, Use::Read);
    if (!key.Handle()) return "";
    const std::wstring wideName = rtl::Wide(name);
    DWORD type = REG_NONE, size = 0;
    if (RegQueryValueExW(key.Handle(), wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size == 0)
        return "";
    std::vector<wchar_t> data;
    LONG rc = ERROR_MORE_DATA;
    // The value may grow between asking its size and reading it: a few
    // rounds settle it. A text longer than any setting is not read.
    for (int round = 0; round < 3 && rc == ERROR_MORE_DATA; ++round) {
        if (size > kMostTextSize * sizeof(wchar_t)) throw FailedToGet(name);
        // Room for an odd last byte too.
        data.assign(size / sizeof(wchar_t) + 1, L'\0');
        rc = RegQueryValueExW(key.Handle(), wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                              &size);
    }
    if (rc == ERROR_MORE_DATA) throw FailedToGet(name);  // still growing
    if (rc != ERROR_SUCCESS) return "";  // gone in between: absent
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw InvalidType(name);
    // Up to the first zero, and never past the data read (text stored
    // without its terminating zero is taken whole; an odd last byte is no
    // character).
    data.resize(size / sizeof(wchar_t));
    const auto end = std::find(data.begin(), data.end(), L'\0');
    return rtl::Narrow(std::wstring_view(data.data(), static_cast<size_t>(end - data.begin())));
}

int TEasyRegAdvanced::ReadInteger(const std::string& name) {
    int value = -1;
    ReadDword(*this, name, value);
    return value;
}

bool TEasyRegAdvanced::ReadBool(const std::string& name) {
    int value = 0;  // a key that does not open reads as false
    ReadDword(*this, name, value);
    return value != 0;
}

double TEasyRegAdvanced::ReadFloat(const std::string& name) {
    double data = 0;
    DWORD type = REG_NONE, length = 0;
    if (!ReadFixed(*this, name, &data, sizeof data, type, length)) return -1.0;
    if (type != REG_BINARY || length != sizeof data) throw InvalidType(name);
    return data;
}

bool TEasyRegAdvanced::ValueExists(const std::string& name) {
    OpenedKey key(*this, Use::Read);
    // The empty name (the key's default value) never counts as a value.
    if (!key.Handle() || name.empty()) return false;
    return HasValue(key.Handle(), name);
}

bool TEasyRegAdvanced::DeleteValue(const std::string& name) {
    OpenedKey key(*this, Use::Delete);  // a missing key is not created
    if (!key.Handle()) return false;
    return RegDeleteValueW(key.Handle(), rtl::Wide(name).c_str()) == ERROR_SUCCESS;
}

}  // namespace config
