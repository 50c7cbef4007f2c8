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

// Which view of the registry the keys are opened in, for a root key that has
// two on 64-bit Windows (HKEY_LOCAL_MACHINE\Software): the program's own
// (the 64-bit view for a 64-bit program), the 32-bit view (Wow6432Node), or
// the 64-bit view. Roots with one view ignore it.
enum TRegView {
    rvDefault,
    rv32Bit,
    rv64Bit
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
    // The view the key lies in; rvDefault when created.
    TRegView RegView() const { return regView_; }
    void SetRegView(TRegView view) { regView_ = view; }
    // Read-only: keys are opened for reading only and never created, so a
    // key that may only be read can be read; writes then fail with "Error:
    // Value not Created" and DeleteValue gives false, as for a key that does
    // not open. Off when created.
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

    // Every operation works on the key of the moment: the root key, and
    // RegString with blanks and control characters trimmed off and one
    // leading backslash dropped (blanks only: the root key itself), in the
    // RegView. An empty RegString raises TEasyRegException "Error: No
    // RegString Provided" before the registry is touched. Unless ReadOnly,
    // the key is opened with full access, so a key that may only be read
    // does not open at all.

    // Text as REG_SZ with its zero byte; integers and truth values (1, 0) as
    // REG_DWORD; floating-point numbers as an 8-byte REG_BINARY double. A
    // store the registry refuses raises ERegistryException "Failed to set
    // data for '<name>'"; a value missing afterwards, also because the key
    // did not open, TEasyRegException "Error: Value not Created".
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int value);
    void WriteBool(const std::string& name, bool value);
    void WriteFloat(const std::string& name, double value);

    // Reads create a missing key path (unless ReadOnly). Where the key does not open they give
    // "", -1, false and -1.0 without failing. Otherwise: ReadString gives ""
    // for an absent value and the text up to the first zero byte of a REG_SZ
    // or REG_EXPAND_SZ (unexpanded); the others raise ERegistryException
    // "Failed to get data for '<name>'" for an absent value or one longer
    // than their type, and "Invalid data type for '<name>'" for any other
    // type than their own (ReadString too). ReadString fails with "Failed
    // to get data" for text of more than 32 KiB.
    std::string ReadString(const std::string& name);
    int ReadInteger(const std::string& name);
    bool ReadBool(const std::string& name);  // any integer but 0 is true
    double ReadFloat(const std::string& name);

    // Whether a value of that name, of any type, exists; never for the empty
    // name (the key's default value). False where the key does not open.
    bool ValueExists(const std::string& name);
    // Removes the value; true when it was removed. Does not create the key.
    bool DeleteValue(const std::string& name);

private:
    std::string regString_;
    TRootKey regBaseKey_ = bkHKEY_LOCAL_MACHINE;
    TRegView regView_ = rvDefault;
    bool readOnly_ = false;
};

}  // namespace config
