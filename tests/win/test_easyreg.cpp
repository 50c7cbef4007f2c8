// The registry component against the real registry: how the key path is
// taken, the value typing of reads and writes, the failures and their
// messages, and keys that cannot be opened for writing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "SettingsSupport.h"
#include "TestSupport.h"
#include "config/EasyRegAdvanced.h"

namespace {

using config::ERegistryException;
using config::TEasyRegAdvanced;
using config::TEasyRegException;
using testsupport::GetRawValue;
using testsupport::KeyExists;
using testsupport::MessageOf;
using testsupport::SetRawValue;

std::string Unique(const std::string& stem) { return stem + "-" + std::to_string(GetCurrentProcessId()); }

// The kind of registry failure f raises, with its message.
std::string KindAndMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const TEasyRegException& e) {
        return std::string("TEasyRegException: ") + e.what();
    } catch (const ERegistryException& e) {
        return std::string("ERegistryException: ") + e.what();
    }
    return "(no exception)";
}

std::string Bytes(const void* data, size_t size) { return std::string(static_cast<const char*>(data), size); }

// Each test works in a key of its own under HKEY_CURRENT_USER and removes it.
class EasyRegTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::DeleteKeyTree(HKEY_CURRENT_USER, path);
        reg.SetRegBaseKey(config::bkHKEY_CURRENT_USER);
        reg.SetRegString(path);
    }
    void TearDown() override { testsupport::DeleteKeyTree(HKEY_CURRENT_USER, path); }

    const std::string path = "Software\\" + Unique("TeskaprsTest-EasyReg");
    TEasyRegAdvanced reg;
};

// The component's own checks are registry failures too, so a caller that
// catches registry failures catches them.
TEST(EasyRegComponent, TheComponentsOwnChecksAreRegistryFailures) {
    TEasyRegAdvanced fresh;
    EXPECT_EQ(MessageOf<ERegistryException>([&] { fresh.ReadString("V"); }), "Error: No RegString Provided");
    EXPECT_EQ(MessageOf<rtl::Exception>([&] { fresh.WriteString("V", "x"); }), "Error: No RegString Provided");
}

// Every operation refuses an empty path before it touches the registry.
TEST_F(EasyRegTest, EmptyPathIsRefusedByEveryOperation) {
    reg.SetRegString("");
    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"WriteString", [&] { reg.WriteString("V", "x"); }},
        {"WriteInteger", [&] { reg.WriteInteger("V", 1); }},
        {"WriteBool", [&] { reg.WriteBool("V", true); }},
        {"WriteFloat", [&] { reg.WriteFloat("V", 1.5); }},
        {"ReadString", [&] { reg.ReadString("V"); }},
        {"ReadInteger", [&] { reg.ReadInteger("V"); }},
        {"ReadBool", [&] { reg.ReadBool("V"); }},
        {"ReadFloat", [&] { reg.ReadFloat("V"); }},
        {"ValueExists", [&] { reg.ValueExists("V"); }},
        {"DeleteValue", [&] { reg.DeleteValue("V"); }},
    };
    for (const auto& [name, operation] : operations)
        EXPECT_EQ(MessageOf<TEasyRegException>(operation), "Error: No RegString Provided") << name;
}

// Blanks, control characters and one leading backslash do not change the key.
TEST_F(EasyRegTest, PathIsTrimmedAndOneLeadingBackslashDropped) {
    const std::vector<std::string> forms = {
        path, "  " + path + "  ", "\\" + path, " \t\\" + path + "\r\n", "\\" + path + " ",
    };
    int n = 0;
    for (const std::string& form : forms) {
        const std::string name = "V" + std::to_string(++n);
        reg.SetRegString(form);
        reg.WriteString(name, form);
        std::string bytes;
        ASSERT_TRUE(GetRawValue(HKEY_CURRENT_USER, path, name, nullptr, &bytes)) << "[" << form << "]";
        EXPECT_EQ(bytes, form + '\0');
        EXPECT_EQ(reg.ReadString(name), form);
        EXPECT_TRUE(reg.ValueExists(name));
        EXPECT_TRUE(reg.DeleteValue(name)) << "[" << form << "]";
        EXPECT_FALSE(GetRawValue(HKEY_CURRENT_USER, path, name));
    }
}

// A path of blanks is no empty path: it names the root key itself.
TEST_F(EasyRegTest, BlankPathAddressesTheRootKeyItself) {
    const std::string name = Unique("TeskaprsTest-RootValue");
    reg.SetRegString("   ");
    reg.WriteInteger(name, 42);
    DWORD type = 0;
    std::string bytes;
    const bool there = GetRawValue(HKEY_CURRENT_USER, "", name, &type, &bytes);
    EXPECT_TRUE(there);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(reg.ReadInteger(name), 42);
    EXPECT_TRUE(reg.ValueExists(name));
    EXPECT_TRUE(reg.DeleteValue(name));
    EXPECT_FALSE(GetRawValue(HKEY_CURRENT_USER, "", name));
    if (there) RegDeleteKeyValueA(HKEY_CURRENT_USER, nullptr, name.c_str());
}

// The bytes each write stores, and that each read takes them back.
TEST_F(EasyRegTest, WritesStoreTheTypedBytesAndReadsReturnThem) {
    reg.WriteString("Text", "N0CALL");
    reg.WriteString("Empty", "");
    reg.WriteInteger("Int", -5);
    reg.WriteInteger("Big", 2147483647);
    reg.WriteBool("True", true);
    reg.WriteBool("False", false);
    reg.WriteFloat("Float", 12.5);

    const int minusFive = -5, big = 2147483647, one = 1, zero = 0;
    const double twelveAndHalf = 12.5;
    struct Expected {
        const char* name;
        DWORD type;
        std::string bytes;
    };
    const Expected expected[] = {
        {"Text", REG_SZ, std::string("N0CALL") + '\0'},
        {"Empty", REG_SZ, std::string(1, '\0')},
        {"Int", REG_DWORD, Bytes(&minusFive, 4)},
        {"Big", REG_DWORD, Bytes(&big, 4)},
        {"True", REG_DWORD, Bytes(&one, 4)},
        {"False", REG_DWORD, Bytes(&zero, 4)},
        {"Float", REG_BINARY, Bytes(&twelveAndHalf, 8)},
    };
    for (const Expected& e : expected) {
        DWORD type = 0;
        std::string bytes;
        ASSERT_TRUE(GetRawValue(HKEY_CURRENT_USER, path, e.name, &type, &bytes)) << e.name;
        EXPECT_EQ(type, e.type) << e.name;
        EXPECT_EQ(bytes, e.bytes) << e.name;
    }
    EXPECT_EQ(reg.ReadString("Text"), "N0CALL");
    EXPECT_EQ(reg.ReadString("Empty"), "");
    EXPECT_EQ(reg.ReadInteger("Int"), -5);
    EXPECT_EQ(reg.ReadInteger("Big"), 2147483647);
    EXPECT_TRUE(reg.ReadBool("True"));
    EXPECT_FALSE(reg.ReadBool("False"));
    EXPECT_EQ(reg.ReadFloat("Float"), 12.5);
    EXPECT_EQ(reg.ReadInteger("True"), 1);

    // A write replaces an earlier value of another type.
    reg.WriteFloat("Int", 0.001);
    EXPECT_EQ(reg.ReadFloat("Int"), 0.001);
}

// Reads of values of every kind, arranged raw: the result, or the failure
// with its message.
TEST_F(EasyRegTest, ReadsFollowTheValueTyping) {
    const DWORD seven = 7, zero = 0;
    const double half = 0.5;
    const WORD shortDword = 3;
    const char nine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    struct Raw {
        DWORD type;
        std::string bytes;
    };
    struct Case {
        const char* what;
        bool present;
        Raw raw;
        std::function<std::string(TEasyRegAdvanced&)> read;
        std::string expected;  // the result as text, or the failure's message
    };
    const auto str = [](TEasyRegAdvanced& r) { return "[" + r.ReadString("V") + "]"; };
    const auto integer = [](TEasyRegAdvanced& r) { return std::to_string(r.ReadInteger("V")); };
    const auto boolean = [](TEasyRegAdvanced& r) { return std::string(r.ReadBool("V") ? "true" : "false"); };
    const auto real = [](TEasyRegAdvanced& r) { return std::to_string(r.ReadFloat("V")); };
    const std::string badType = "ERegistryException: Invalid data type for 'V'",
                      noData = "ERegistryException: Failed to get data for 'V'";
    const std::vector<Case> cases = {
        {"string, absent", false, {}, str, "[]"},
        {"string, REG_SZ", true, {REG_SZ, std::string("abc") + '\0'}, str, "[abc]"},
        {"string, zero byte inside", true, {REG_SZ, std::string("ab\0cd\0", 6)}, str, "[ab]"},
        {"string, no terminating zero", true, {REG_SZ, "abc"}, str, "[abc]"},
        {"string, zero size", true, {REG_SZ, ""}, str, "[]"},
        {"string, REG_EXPAND_SZ unexpanded", true, {REG_EXPAND_SZ, std::string("%SystemRoot%\\x") + '\0'}, str,
         "[%SystemRoot%\\x]"},
        {"string, 32 KiB", true, {REG_SZ, std::string(32767, 'x') + '\0'}, str, "[" + std::string(32767, 'x') + "]"},
        {"string, over 32 KiB", true, {REG_SZ, std::string(32768, 'x') + '\0'}, str, noData},
        {"string, REG_DWORD", true, {REG_DWORD, Bytes(&seven, 4)}, str, badType},
        {"string, REG_BINARY", true, {REG_BINARY, "xyz"}, str, badType},
        {"integer, absent", false, {}, integer, noData},
        {"integer, REG_DWORD", true, {REG_DWORD, Bytes(&seven, 4)}, integer, "7"},
        {"integer, REG_SZ of 2 bytes", true, {REG_SZ, std::string("5") + '\0'}, integer, badType},
        {"integer, REG_SZ of 6 bytes", true, {REG_SZ, std::string("12345") + '\0'}, integer, noData},
        {"integer, REG_BINARY of 4 bytes", true, {REG_BINARY, Bytes(&seven, 4)}, integer, badType},
        {"integer, REG_BINARY of 8 bytes", true, {REG_BINARY, Bytes(&half, 8)}, integer, noData},
        {"integer, REG_DWORD of 2 bytes", true, {REG_DWORD, Bytes(&shortDword, 2)}, integer, badType},
        {"bool, absent", false, {}, boolean, noData},
        {"bool, 7", true, {REG_DWORD, Bytes(&seven, 4)}, boolean, "true"},
        {"bool, 0", true, {REG_DWORD, Bytes(&zero, 4)}, boolean, "false"},
        {"bool, REG_SZ", true, {REG_SZ, std::string("1") + '\0'}, boolean, badType},
        {"float, absent", false, {}, real, noData},
        {"float, 8-byte REG_BINARY", true, {REG_BINARY, Bytes(&half, 8)}, real, std::to_string(0.5)},
        {"float, REG_DWORD", true, {REG_DWORD, Bytes(&seven, 4)}, real, badType},
        {"float, 4-byte REG_BINARY", true, {REG_BINARY, Bytes(&seven, 4)}, real, badType},
        {"float, 9-byte REG_BINARY", true, {REG_BINARY, Bytes(nine, 9)}, real, noData},
        {"float, 8-byte REG_SZ", true, {REG_SZ, std::string("1234567") + '\0'}, real, badType},
    };
    for (const Case& c : cases) {
        RegDeleteKeyValueA(HKEY_CURRENT_USER, path.c_str(), "V");
        if (c.present)
            SetRawValue(HKEY_CURRENT_USER, path, "V", c.raw.type, c.raw.bytes.data(),
                        static_cast<DWORD>(c.raw.bytes.size()));
        std::string got;
        const std::string failure = KindAndMessage([&] { got = c.read(reg); });
        // The read failures are plain registry failures, not the component's own.
        if (failure != "(no exception)") got = failure;
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

TEST_F(EasyRegTest, ValueExistsForAnyTypeButNeverForTheEmptyName) {
    const DWORD one = 1;
    SetRawValue(HKEY_CURRENT_USER, path, "Dword", REG_DWORD, &one, 4);
    SetRawValue(HKEY_CURRENT_USER, path, "Binary", REG_BINARY, "", 0);
    testsupport::SetText(HKEY_CURRENT_USER, path, "Text", "");
    EXPECT_TRUE(reg.ValueExists("Dword"));
    EXPECT_TRUE(reg.ValueExists("Binary"));
    EXPECT_TRUE(reg.ValueExists("Text"));
    EXPECT_TRUE(reg.ValueExists("text")) << "value names are not case sensitive";
    EXPECT_FALSE(reg.ValueExists("Absent"));
    EXPECT_FALSE(reg.ValueExists(""));

    // Even where the key has a default value.
    testsupport::SetText(HKEY_CURRENT_USER, path, "", "default");
    ASSERT_TRUE(GetRawValue(HKEY_CURRENT_USER, path, ""));
    EXPECT_FALSE(reg.ValueExists(""));
}

// Every operation but DeleteValue creates a missing key path, reads too.
TEST_F(EasyRegTest, OperationsCreateTheMissingKeyPathExceptDeleteValue) {
    const std::string missing = path + "\\A\\B";
    reg.SetRegString(missing);
    struct Case {
        const char* what;
        std::function<std::string()> run;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"ReadString", [&] { return "[" + reg.ReadString("V") + "]"; }, "[]"},
        {"ReadInteger", [&] { return MessageOf<ERegistryException>([&] { reg.ReadInteger("V"); }); },
         "Failed to get data for 'V'"},
        {"ReadBool", [&] { return MessageOf<ERegistryException>([&] { reg.ReadBool("V"); }); },
         "Failed to get data for 'V'"},
        {"ReadFloat", [&] { return MessageOf<ERegistryException>([&] { reg.ReadFloat("V"); }); },
         "Failed to get data for 'V'"},
        {"ValueExists", [&] { return std::string(reg.ValueExists("V") ? "true" : "false"); }, "false"},
        {"ValueExists of the empty name", [&] { return std::string(reg.ValueExists("") ? "true" : "false"); },
         "false"},
        {"WriteString", [&] { reg.WriteString("V", "x"); return std::string("done"); }, "done"},
    };
    for (const Case& c : cases) {
        testsupport::DeleteKeyTree(HKEY_CURRENT_USER, path);
        EXPECT_EQ(c.run(), c.expected) << c.what;
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, missing)) << c.what;
    }

    testsupport::DeleteKeyTree(HKEY_CURRENT_USER, path);
    EXPECT_FALSE(reg.DeleteValue("V"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path)) << "DeleteValue must create nothing";
}

TEST_F(EasyRegTest, DeleteValueSaysWhetherItRemovedTheValue) {
    reg.WriteString("V", "x");
    reg.WriteString("W", "y");
    EXPECT_TRUE(reg.DeleteValue("V"));
    EXPECT_FALSE(GetRawValue(HKEY_CURRENT_USER, path, "V"));
    EXPECT_TRUE(GetRawValue(HKEY_CURRENT_USER, path, "W")) << "only the named value goes";
    EXPECT_FALSE(reg.DeleteValue("V"));
}

// A key that may only be read cannot be opened at all: writes fail with the
// component's message, reads give their fixed results and change nothing.
TEST_F(EasyRegTest, ReadOnlyKeyFailsWritesAndGivesFixedReadResults) {
    const double half = 0.5;
    testsupport::SetText(HKEY_CURRENT_USER, path, "Text", "kept");
    testsupport::SetDword(HKEY_CURRENT_USER, path, "Int", 7);
    SetRawValue(HKEY_CURRENT_USER, path, "Float", REG_BINARY, &half, 8);
    {
        testsupport::ReadOnlyKey readOnly(HKEY_CURRENT_USER, path);
        const std::vector<std::pair<const char*, std::function<void()>>> writes = {
            {"WriteString", [&] { reg.WriteString("Text", "changed"); }},
            {"WriteInteger", [&] { reg.WriteInteger("Int", 8); }},
            {"WriteBool", [&] { reg.WriteBool("New", true); }},
            {"WriteFloat", [&] { reg.WriteFloat("Float", 1.5); }},
        };
        for (const auto& [what, write] : writes)
            EXPECT_EQ(KindAndMessage(write), "TEasyRegException: Error: Value not Created") << what;

        EXPECT_EQ(reg.ReadString("Text"), "");
        EXPECT_EQ(reg.ReadInteger("Int"), -1);
        EXPECT_FALSE(reg.ReadBool("Int"));
        EXPECT_EQ(reg.ReadFloat("Float"), -1.0);
        EXPECT_FALSE(reg.ValueExists("Text"));
        EXPECT_FALSE(reg.DeleteValue("Text"));

    }
    std::string bytes;
    ASSERT_TRUE(GetRawValue(HKEY_CURRENT_USER, path, "Text", nullptr, &bytes));
    EXPECT_EQ(bytes, std::string("kept") + '\0');
    EXPECT_FALSE(GetRawValue(HKEY_CURRENT_USER, path, "New"));
}

// A store the registry refuses fails with its own message, naming the value,
// before the existence check could fail with the component's message.
TEST_F(EasyRegTest, RefusedStoreFailsWithTheValueName) {
    const std::string tooLong(20000, 'n');  // longer than any value name may be
    const std::vector<std::pair<const char*, std::function<void()>>> writes = {
        {"WriteString", [&] { reg.WriteString(tooLong, "x"); }},
        {"WriteInteger", [&] { reg.WriteInteger(tooLong, 1); }},
        {"WriteBool", [&] { reg.WriteBool(tooLong, false); }},
        {"WriteFloat", [&] { reg.WriteFloat(tooLong, 1.5); }},
    };
    for (const auto& [what, write] : writes) {
        const std::string got = KindAndMessage(write);
        EXPECT_TRUE(got == "ERegistryException: Failed to set data for '" + tooLong + "'")
            << what << ": " << got.substr(0, 60) << "...";
    }
}

// The component works on the key of the moment: switching the path or the
// root key between operations is all it takes.
TEST_F(EasyRegTest, EachOperationUsesTheKeyOfTheMoment) {
    const std::string other = path + "\\Other";
    reg.WriteString("V", "first");
    reg.SetRegString(other);
    reg.WriteString("V", "second");
    EXPECT_EQ(reg.ReadString("V"), "second");
    reg.SetRegString(path);
    EXPECT_EQ(reg.ReadString("V"), "first");
}

// The local machine, the component's default root, in the process's own
// view (the 64-bit one) unless a view is chosen.
TEST(EasyRegLocalMachine, DefaultRootIsTheLocalMachine) {
    const std::string path = "Software\\" + Unique("TeskaprsTest-EasyRegHKLM");
    testsupport::DeleteKeyTree(testsupport::kMachine64, path);
    testsupport::DeleteKeyTree(HKEY_CURRENT_USER, path);
    TEasyRegAdvanced reg;
    EXPECT_EQ(reg.RegView(), config::rvDefault);
    EXPECT_FALSE(reg.ReadOnly());
    reg.SetRegString(path);
    reg.WriteFloat("F", 59.999);
    reg.WriteBool("B", true);
    DWORD type = 0;
    EXPECT_TRUE(GetRawValue(testsupport::kMachine64, path, "F", &type));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path));
    EXPECT_EQ(reg.ReadFloat("F"), 59.999);
    EXPECT_TRUE(reg.ReadBool("B"));
    EXPECT_TRUE(reg.DeleteValue("B"));
    EXPECT_FALSE(reg.ValueExists("B"));
    testsupport::DeleteKeyTree(testsupport::kMachine64, path);
}

// Each view reaches its own keys under HKEY_LOCAL_MACHINE\Software: a value
// written in one view is read back there and is not found in the other.
// HKEY_CURRENT_USER has one view, whichever is chosen.
TEST(EasyRegViews, EachViewReachesItsOwnKeys) {
    const std::string path = "Software\\" + Unique("TeskaprsTest-EasyRegView");
    struct Case {
        config::TRootKey base;
        config::TRegView view;
        testsupport::RegRoot there, notThere;
    };
    const Case cases[] = {
        {config::bkHKEY_LOCAL_MACHINE, config::rv32Bit, testsupport::kMachine32, testsupport::kMachine64},
        {config::bkHKEY_LOCAL_MACHINE, config::rv64Bit, testsupport::kMachine64, testsupport::kMachine32},
        {config::bkHKEY_LOCAL_MACHINE, config::rvDefault, testsupport::kMachine64, testsupport::kMachine32},
        {config::bkHKEY_CURRENT_USER, config::rv32Bit, testsupport::kUser, testsupport::kMachine32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.view));
        for (const auto& root : {testsupport::kMachine32, testsupport::kMachine64, testsupport::kUser})
            testsupport::DeleteKeyTree(root, path);
        TEasyRegAdvanced reg;
        reg.SetRegBaseKey(c.base);
        reg.SetRegView(c.view);
        reg.SetRegString(path);
        reg.WriteString("V", "here");
        EXPECT_TRUE(GetRawValue(c.there, path, "V"));
        EXPECT_FALSE(GetRawValue(c.notThere, path, "V"));
        EXPECT_EQ(reg.ReadString("V"), "here");
        EXPECT_TRUE(reg.DeleteValue("V"));
        EXPECT_FALSE(GetRawValue(c.there, path, "V"));
    }
    for (const auto& root : {testsupport::kMachine32, testsupport::kMachine64, testsupport::kUser})
        testsupport::DeleteKeyTree(root, path);
}

// Read-only: a key that may only be read is read with the usual typing and
// failures; writes and deletes fail as for a key that does not open, and a
// missing key is not created.
TEST_F(EasyRegTest, ReadOnlyComponentReadsAReadOnlyKeyAndNeverWrites) {
    const double half = 0.5;
    testsupport::SetText(HKEY_CURRENT_USER, path, "Text", "kept");
    testsupport::SetDword(HKEY_CURRENT_USER, path, "Int", 7);
    SetRawValue(HKEY_CURRENT_USER, path, "Float", REG_BINARY, &half, 8);
    reg.SetReadOnly(true);
    {
        testsupport::ReadOnlyKey readOnly(HKEY_CURRENT_USER, path);
        EXPECT_EQ(reg.ReadString("Text"), "kept");
        EXPECT_EQ(reg.ReadInteger("Int"), 7);
        EXPECT_TRUE(reg.ReadBool("Int"));
        EXPECT_EQ(reg.ReadFloat("Float"), 0.5);
        EXPECT_TRUE(reg.ValueExists("Text"));
        EXPECT_EQ(KindAndMessage([&] { reg.ReadFloat("Int"); }), "ERegistryException: Invalid data type for 'Int'");
        EXPECT_EQ(KindAndMessage([&] { reg.ReadFloat("None"); }), "ERegistryException: Failed to get data for 'None'");
    }
    // Writable again, yet the component still writes nothing.
    EXPECT_EQ(KindAndMessage([&] { reg.WriteString("Text", "changed"); }), "TEasyRegException: Error: Value not Created");
    EXPECT_EQ(KindAndMessage([&] { reg.WriteInteger("New", 1); }), "TEasyRegException: Error: Value not Created");
    EXPECT_FALSE(reg.DeleteValue("Text"));
    EXPECT_EQ(reg.ReadString("Text"), "kept");
    EXPECT_FALSE(GetRawValue(HKEY_CURRENT_USER, path, "New"));

    // A missing key reads as for a key that does not open, and stays missing.
    reg.SetRegString(path + "\\Missing");
    EXPECT_EQ(reg.ReadString("Text"), "");
    EXPECT_EQ(reg.ReadInteger("Int"), -1);
    EXPECT_EQ(reg.ReadFloat("Float"), -1.0);
    EXPECT_FALSE(reg.ValueExists("Text"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path + "\\Missing"));
}

}  // namespace

namespace {

// Each root key choice reaches its own root: a value written through the
// component is found under that root, and under no other of the table.
TEST(EasyRegRootKeys, EachChoiceReachesItsRootKey) {
    struct Root {
        config::TRootKey choice;
        testsupport::RegRoot root;
        std::string path;
    };
    const std::string name = Unique("TeskaprsTest-Root");
    const std::vector<Root> roots = {
        {config::bkHKEY_LOCAL_MACHINE, testsupport::kMachine64, "Software\\" + name},  // the process's own view
        {config::bkHKEY_CLASSES_ROOT, HKEY_CLASSES_ROOT, name},
        {config::bkHKEY_CURRENT_USER, HKEY_CURRENT_USER, "Software\\" + name},
        {config::bkHKEY_USERS, HKEY_USERS, ".DEFAULT\\Software\\" + name},
        {config::bkHKEY_CURRENT_CONFIG, HKEY_CURRENT_CONFIG, "Software\\" + name},
    };
    for (const Root& r : roots) {
        SCOPED_TRACE(r.path);
        TEasyRegAdvanced reg;
        reg.SetRegBaseKey(r.choice);
        reg.SetRegString(r.path);
        reg.WriteInteger("Which", static_cast<int>(r.choice));
        std::string bytes;
        ASSERT_TRUE(GetRawValue(r.root, r.path, "Which", nullptr, &bytes));
        const int which = static_cast<int>(r.choice);
        EXPECT_EQ(bytes, Bytes(&which, 4));
        for (const Root& other : roots) {
            if (other.root.key != r.root.key && other.path == r.path) {
                EXPECT_FALSE(GetRawValue(other.root, other.path, "Which")) << "not under another root";
            }
        }
        EXPECT_EQ(reg.ReadInteger("Which"), which);
        testsupport::DeleteKeyTree(r.root, r.path);
    }
}

}  // namespace
