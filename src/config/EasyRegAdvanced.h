// A small registry component: single typed values in one key, named by a
// root key and a key path. Every operation opens its key (creating it when
// missing, except for DeleteValue), does its one value operation and closes
// the key again; nothing stays open between operations.
#pragma once

#include <windows.h>

#include <string>

#include "rtl/Exceptions.h"

namespace config {

enum TRootKey {
    bkHKEY_LOCAL_MACHINE,
    bkHKEY_CLASSES_ROOT,
    bkHKEY_CURRENT_USER,
    bkHKEY_USERS,
    bkHKEY_CURRENT_CONFIG
};

// A registry read or write that failed.
class ERegistryException : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

// The component's own two checks ("Error: No RegString Provided",
// "Error: Value not Created").
class TEasyRegException : public ERegistryException {
public:
    using ERegistryException::ERegistryException;
};

class TEasyRegAdvanced {
public:
    TEasyRegAdvanced() = default;

    const std::string& RegString() const { return regString_; }
    void SetRegString(const std::string& path) { regString_ = path; }
    TRootKey RegBaseKey() const { return regBaseKey_; }
    void SetRegBaseKey(TRootKey key) { regBaseKey_ = key; }

    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int value);
    void WriteBool(const std::string& name, bool value);
    void WriteFloat(const std::string& name, double value);

    std::string ReadString(const std::string& name);
    int ReadInteger(const std::string& name);
    bool ReadBool(const std::string& name);
    double ReadFloat(const std::string& name);

    bool ValueExists(const std::string& name);
    bool DeleteValue(const std::string& name);

private:
    std::string regString_;
    TRootKey regBaseKey_ = bkHKEY_LOCAL_MACHINE;
};

}  // namespace config
