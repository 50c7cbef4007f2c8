// The web links: the station page address, the URL launcher against a
// real ".htm" association whose open command is a small program of
// the tests' own (recordargs.exe, which records how it was started), the
// shell's "open" where there is no such command, and the link labels of the
// main window.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SettingsSupport.h"
#include "Teskaprs1.h"
#include "TestSupport.h"
#include "rtl/Application.h"
#include "rtl/Exceptions.h"
#include "ui/LinkAddress.h"
#include "ui/WebAddresses.h"
#include "ui/pvlUrl.h"

namespace {

using testsupport::MessageOf;
using testsupport::WindowText;

const char kStationBase[] = "http://weather.gladstonefamily.net/site/";

// ---------------------------------------------------------------- portable rules

TEST(StationPage, CallsignIsTrimmedAndPercentEncoded) {
    struct Case {
        std::string callsign;
        std::string address;
    };
    const Case cases[] = {
        {"CW1234", "CW1234"},
        {" CW1234 ", "CW1234"},
        {"\t N0CALL-13 \r\n", "N0CALL-13"},
        {"", ""},
        {"   ", ""},
        {"azAZ09-._~", "azAZ09-._~"},
        {"A\"B&C|D%E^F G-H/I", "A%22B%26C%7CD%25E%5EF%20G-H%2FI"},
        {"x <y> 'z' ;(,)!*+=?#@[]$`\\", "x%20%3Cy%3E%20%27z%27%20%3B%28%2C%29%21%2A%2B%3D%3F%23%40%5B%5D%24%60%5C"},
        {"\xE9\x7F\xFF", "%E9%7F%FF"},
        {std::string("A\0B", 3), "A%00B"},
    };
    for (const Case& c : cases) EXPECT_EQ(ui::StationPageAddress(c.callsign), kStationBase + c.address) << c.callsign;
    EXPECT_EQ(ui::StationPageCaption("  cw1234 "), std::string(kStationBase) + "  cw1234 ");
    EXPECT_EQ(ui::PercentEncoded(""), "");
}

TEST(UrlShowCommand, EachValueGivesItsShowState) {
    using S = ui::TUrlShowCmd;
    const std::pair<S, int> cases[] = {
        {S::ssHide, 0},          {S::ssMaximize, 3},          {S::ssMinimize, 6},
        {S::ssRestore, 9},       {S::ssShow, 5},              {S::ssShowDefault, 10},
        {S::ssShowMaximized, 3}, {S::ssShowMinimized, 2},     {S::ssShowMinNoActivate, 7},
        {S::ssShowNA, 8},        {S::ssShowNoActivate, 4},    {S::ssShowNormal, 1},
    };
    for (const auto& [command, state] : cases) EXPECT_EQ(ui::ShowStateOf(command), state) << static_cast<int>(command);
    ui::TpvlUrl url;
    EXPECT_EQ(url.UrlShowCommand, S::ssShowDefault);
    EXPECT_EQ(url.Url, "");
}

// ---------------------------------------------------------------- the association

const char kDocumentType[] = "TeskaprsTest.WebPage";
// Where the association's earlier state is kept while a test has changed it,
// so that a run that died half-way is mended by the next one.
const char kBackupKey[] = "TeskaprsTest.WebPage.Backup";

std::string Beside(const std::string& name) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

// Points HKEY_CLASSES_ROOT ".htm" at a document type of the test's own with
// the given open command (none: no command key), and gives ".htm" its
// earlier default value back when destroyed, whatever the test did.
class TestAssociation {
public:
    explicit TestAssociation(const std::optional<std::string>& openCommand,
                             const std::string& documentType = kDocumentType) {
        Restore();  // what a run that died half-way left behind
        DWORD type = 0;
        std::string bytes;
        htmExisted_ = testsupport::KeyExists(HKEY_CLASSES_ROOT, ".htm");
        const bool hadDefault = htmExisted_ && testsupport::GetRawValue(HKEY_CLASSES_ROOT, ".htm", "", &type, &bytes);
        testsupport::SetDword(HKEY_CLASSES_ROOT, kBackupKey, "Existed", htmExisted_ ? 1 : 0);
        testsupport::SetDword(HKEY_CLASSES_ROOT, kBackupKey, "HadDefault", hadDefault ? 1 : 0);
        if (hadDefault)
            testsupport::SetRawValue(HKEY_CLASSES_ROOT, kBackupKey, "Default", type, bytes.data(),
                                     static_cast<DWORD>(bytes.size()));

        testsupport::SetText(HKEY_CLASSES_ROOT, ".htm", "", documentType);
        testsupport::DeleteKeyTree(HKEY_CLASSES_ROOT, kDocumentType);
        testsupport::SetText(HKEY_CLASSES_ROOT, kDocumentType, "", "Teskaprs test page");
        if (openCommand)
            testsupport::SetText(HKEY_CLASSES_ROOT, std::string(kDocumentType) + "\\shell\\open\\command", "",
                                 *openCommand);
    }
    ~TestAssociation() { Restore(); }
    TestAssociation(const TestAssociation&) = delete;
    TestAssociation& operator=(const TestAssociation&) = delete;

    static void Restore() {
        if (!testsupport::KeyExists(HKEY_CLASSES_ROOT, kBackupKey)) return;
        std::string existed, hadDefault, value;
        DWORD type = 0;
        testsupport::GetRawValue(HKEY_CLASSES_ROOT, kBackupKey, "Existed", nullptr, &existed);
        testsupport::GetRawValue(HKEY_CLASSES_ROOT, kBackupKey, "HadDefault", nullptr, &hadDefault);
        const bool keyExisted = !existed.empty() && existed[0] != 0;
        if (!keyExisted) {
            testsupport::DeleteKeyTree(HKEY_CLASSES_ROOT, ".htm");
        } else if (!hadDefault.empty() && hadDefault[0] != 0 &&
                   testsupport::GetRawValue(HKEY_CLASSES_ROOT, kBackupKey, "Default", &type, &value)) {
            testsupport::SetRawValue(HKEY_CLASSES_ROOT, ".htm", "", type, value.data(),
                                     static_cast<DWORD>(value.size()));
        } else {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ".htm", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                RegDeleteValueA(key, "");
                RegCloseKey(key);
            }
        }
        testsupport::DeleteKeyTree(HKEY_CLASSES_ROOT, kDocumentType);
        testsupport::DeleteKeyTree(HKEY_CLASSES_ROOT, kBackupKey);
    }

private:
    bool htmExisted_ = false;
};

// The records recordargs.exe leaves: its command line and the show state.
struct Start {
    std::string commandLine;
    std::string show;
};

// Sends recordargs.exe's records to a file of the test's own.
class Recorder {
public:
    Recorder() : file_(folder_.File("starts.txt")) {
        SetEnvironmentVariableA("TESKAPRS_RECORDARGS_FILE", file_.c_str());
    }
    ~Recorder() { SetEnvironmentVariableA("TESKAPRS_RECORDARGS_FILE", nullptr); }

    std::vector<Start> Starts() const {
        std::vector<Start> starts;
        const std::string text = testsupport::TempFolder::Read(file_);
        size_t at = 0;
        for (;;) {
            const size_t first = text.find("\r\n", at);
            if (first == std::string::npos) break;
            const size_t second = text.find("\r\n", first + 2);
            if (second == std::string::npos) break;
            starts.push_back({text.substr(at, first - at), text.substr(first + 2, second - first - 2)});
            at = second + 2;
        }
        return starts;
    }
    // Waits (pumping messages) until that many programs have recorded their start.
    std::vector<Start> WaitFor(size_t count) const {
        for (int i = 0; i < 400 && Starts().size() < count; ++i) rtl::PumpMessagesFor(25);
        return Starts();
    }
    // Gives a program that was started all the same time to show up.
    std::vector<Start> NoneExpected() const {
        rtl::PumpMessagesFor(300);
        return Starts();
    }

private:
    testsupport::TempFolder folder_;
    std::string file_;
};

// The arguments a program finds in its command line.
std::vector<std::string> Arguments(const std::string& commandLine) {
    std::vector<std::string> args;
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, commandLine.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, commandLine.c_str(), -1, wide.data(), wideLength);
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &count);
    for (int i = 0; argv && i < count; ++i) {
        const int length = WideCharToMultiByte(CP_ACP, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<size_t>(length), '\0');
        WideCharToMultiByte(CP_ACP, 0, argv[i], -1, arg.data(), length, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(arg);
    }
    LocalFree(argv);
    return args;
}

// This process's classes replaced by keys of the test's own, which the
// shell's own look-ups see too: HKEY_CLASSES_ROOT shows the machine's (those
// an elevated run reads) unless the user's are laid over them. The real
// associations stay as they are. Given back when destroyed.
class PrivateClassesRoot {
public:
    PrivateClassesRoot() {
        testsupport::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\TeskaprsTest");
        RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &machine_, nullptr);
        RegCreateKeyExA(machine_, "Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_, nullptr);
        overridden_ = root_ && RegOverridePredefKey(HKEY_CLASSES_ROOT, root_) == ERROR_SUCCESS &&
                      RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_) == ERROR_SUCCESS;
    }
    ~PrivateClassesRoot() {
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        for (HKEY key : {root_, machine_, user_})
            if (key) RegCloseKey(key);
        testsupport::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\TeskaprsTest");
    }
    PrivateClassesRoot(const PrivateClassesRoot&) = delete;
    PrivateClassesRoot& operator=(const PrivateClassesRoot&) = delete;

    bool Overridden() const { return overridden_ && !testsupport::KeyExists(HKEY_CLASSES_ROOT, "http\\shell"); }
    // A key's default value, the key created as needed.
    void Set(const std::string& subKey, const std::string& value) { testsupport::SetText(root_, subKey, "", value); }
    // The web protocol association: the shell's "open" of an http address.
    void SetWebProtocol(const std::string& openCommand) {
        Set("http", "URL:HyperText Transfer Protocol");
        testsupport::SetText(root_, "http", "URL Protocol", "");
        Set("http\\shell\\open\\command", openCommand);
    }
    // The user's own web page and web protocol associations laid over the
    // machine's, as any program the user runs can write them.
    void LayUsersOver(const std::string& openCommand) {
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\TeskaprsTest\\User", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &user_, nullptr);
        for (const char* type : {"TeskaprsTest.UserPage", "http"})
            testsupport::SetText(user_, std::string(type) + "\\shell\\open\\command", "", openCommand);
        testsupport::SetText(user_, ".htm", "", "TeskaprsTest.UserPage");
        RegOverridePredefKey(HKEY_CLASSES_ROOT, user_);
    }

private:
    static constexpr char kKey[] = "Software\\TeskaprsTest\\Machine";
    HKEY machine_ = nullptr, root_ = nullptr, user_ = nullptr;
    bool overridden_ = false;
};

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class UrlLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        // These tests change the web associations of the classes root.
        if (!UnderWine()) GTEST_SKIP() << "changes the registry's web associations: runs only under Wine";
        testsupport::InitApplication();
        ASSERT_NE(GetFileAttributesA(program.c_str()), INVALID_FILE_ATTRIBUTES) << "build recordargs first";
    }
    const std::string program = Beside("recordargs.exe");
    const std::string quoted = "\"" + program + "\"";
    Recorder recorder;
};

TEST_F(UrlLauncherTest, StartsTheOpenCommandWithTheAddress) {
    const std::string url = "http://127.0.0.1/site/CW1234";
    // A template longer than the first 260-byte read: read whole.
    std::string options;
    while (options.size() < 400) options += " -option" + std::to_string(options.size());
    struct Case {
        std::string commandTemplate;
        std::string commandLine;
    };
    // The program unquoted in a folder with blanks: started by its full
    // path, which the command line gives quoted.
    testsupport::TempFolder folder;
    ASSERT_TRUE(CreateDirectoryA(folder.File("with blanks").c_str(), nullptr));
    const std::string blanks = folder.File("with blanks\\recordargs.exe");
    ASSERT_TRUE(CopyFileA(program.c_str(), blanks.c_str(), FALSE));
    const Case cases[] = {
        {quoted + " \"%1\"", quoted + "  " + url},
        {quoted + " %1", quoted + "  " + url},
        {program + " %1", quoted + "  " + url},
        {blanks + " -new %1", "\"" + blanks + "\" -new  " + url},
        {quoted + " -nohome", quoted + " -nohome " + url},
        {quoted + options + " \"%1\"", quoted + options + "  " + url},
    };
    size_t expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandTemplate);
        TestAssociation association(c.commandTemplate);
        ui::TpvlUrl launcher;
        launcher.Url = url;
        launcher.OpenUrl();
        const std::vector<Start> starts = recorder.WaitFor(++expected);
        ASSERT_EQ(starts.size(), expected);
        EXPECT_EQ(starts.back().commandLine, c.commandLine);
        EXPECT_EQ(Arguments(starts.back().commandLine).back(), url);
        EXPECT_EQ(starts.back().show, "show=10");
    }
    EXPECT_GT(cases[5].commandTemplate.size(), 260u);
}

TEST_F(UrlLauncherTest, PassesTheShowState) {
    TestAssociation association(quoted + " \"%1\"");
    using S = ui::TUrlShowCmd;
    const std::pair<S, const char*> cases[] = {
        {S::ssShowMinNoActivate, "show=7"}, {S::ssShowNormal, "show=1"}, {S::ssMaximize, "show=3"}};
    size_t expected = 0;
    for (const auto& [command, show] : cases) {
        ui::TpvlUrl launcher;
        launcher.Url = "http://127.0.0.1/";
        launcher.UrlShowCommand = command;
        launcher.OpenUrl();
        const std::vector<Start> starts = recorder.WaitFor(++expected);
        ASSERT_EQ(starts.size(), expected);
        EXPECT_EQ(starts.back().show, show);
    }
}

TEST_F(UrlLauncherTest, WhereTheAssociationHasNoCommandTheShellOpensTheAddress) {
    const std::string url = "http://127.0.0.1/site/CW1234";
    // What the classes root holds besides the web protocol.
    const std::vector<std::pair<std::string, std::string>> noHtm, emptyType{{".htm", ""}},
        noSuchType{{".htm", "TeskaprsTest.NoSuchType"}}, noCommand{{".htm", kDocumentType}, {kDocumentType, "page"}},
        blankCommand{{".htm", kDocumentType}, {std::string(kDocumentType) + "\\shell\\open\\command", "  "}},
        emptyCommand{{".htm", kDocumentType}, {std::string(kDocumentType) + "\\shell\\open\\command", ""}};
    size_t expected = 0;
    for (const auto* keys : {&noHtm, &emptyType, &noSuchType, &noCommand, &blankCommand, &emptyCommand}) {
        SCOPED_TRACE(keys->empty() ? "no .htm" : keys->back().first + "=" + keys->back().second);
        PrivateClassesRoot classes;
        ASSERT_TRUE(classes.Overridden());
        for (const auto& [key, value] : *keys) classes.Set(key, value);
        classes.SetWebProtocol(quoted + " \"%1\"");
        // An elevated run (as every run under Wine) passes the user's own by.
        classes.LayUsersOver(quoted + " user \"%1\"");
        ui::TpvlUrl launcher;
        launcher.Url = url;
        launcher.UrlShowCommand = ui::TUrlShowCmd::ssShowNormal;
        EXPECT_NO_THROW(launcher.OpenUrl());
        const std::vector<Start> starts = recorder.WaitFor(++expected);
        ASSERT_EQ(starts.size(), expected);
        EXPECT_EQ(Arguments(starts.back().commandLine), (std::vector<std::string>{program, url}));
        EXPECT_EQ(starts.back().show, "show=1");
    }
    {
        // Neither way finds a browser: said, not silently dropped.
        PrivateClassesRoot classes;
        ASSERT_TRUE(classes.Overridden());
        ui::TpvlUrl launcher;
        launcher.Url = url;
        EXPECT_EQ(MessageOf<rtl::Exception>([&] { launcher.OpenUrl(); }), "Couldn't launch default browser");
    }
    {
        // Anything but a web address is not handed to the shell, which would
        // start it: here the recording program itself.
        PrivateClassesRoot classes;
        classes.SetWebProtocol(quoted + " \"%1\"");
        ui::TpvlUrl launcher;
        for (const std::string& address : {program, "file:///" + program, std::string("http://")}) {
            launcher.Url = address;
            EXPECT_NO_THROW(launcher.OpenUrl()) << address;
        }
    }
    EXPECT_EQ(recorder.NoneExpected().size(), expected);
}

TEST_F(UrlLauncherTest, ABrowserThatCannotStartIsAnError) {
    testsupport::TempFolder folder;
    const std::string missing = "\"" + folder.File("no-such-browser.exe") + "\" \"%1\"";
    TestAssociation association(missing);
    ui::TpvlUrl launcher;
    launcher.Url = "http://127.0.0.1/";
    EXPECT_EQ(MessageOf<rtl::Exception>([&] { launcher.OpenUrl(); }), "Couldn't launch default browser");
    EXPECT_TRUE(recorder.NoneExpected().empty());
}

// ---------------------------------------------------------------- in the window

class LinksInTheWindowTest : public UrlLauncherTest {
protected:
    void SetUp() override {
        UrlLauncherTest::SetUp();
        form = std::make_unique<TForm1>();
    }
    void TearDown() override { form.reset(); }

    // What a click on a link label sends to its parent.
    void Click(rtl::TControl* label) {
        SendMessageA(GetParent(label->Handle()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(label->Handle()), STN_CLICKED),
                     reinterpret_cast<LPARAM>(label->Handle()));
    }

    testsupport::CleanSettings clean;
    testsupport::ErrorRecorder errors;
    std::unique_ptr<TForm1> form;
};

TEST_F(LinksInTheWindowTest, EachLinkOpensItsAddressAsOneArgument) {
    TestAssociation association(quoted + " \"%1\"");
    // Blanks around it and characters a command line would act on.
    form->Callsign->SetText("  A\"B&C|D%E^F G-H/I  ");
    const std::string station = std::string(kStationBase) + "A%22B%26C%7CD%25E%5EF%20G-H%2FI";
    struct Case {
        rtl::TControl* label;
        std::string url;
    };
    const Case cases[] = {
        {form->Label13, "http://www.findu.com/citizenweather/signup.html"},
        {form->Label15, station},
        {form->Label19, station},
        {form->Label23, "http://www.wxqa.com/"},
    };
    size_t expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label->Name());
        Click(c.label);
        const std::vector<Start> starts = recorder.WaitFor(++expected);
        ASSERT_EQ(starts.size(), expected);
        EXPECT_EQ(starts.back().commandLine, quoted + "  " + c.url);
        const std::vector<std::string> args = Arguments(starts.back().commandLine);
        ASSERT_EQ(args.size(), 2u) << starts.back().commandLine;
        EXPECT_EQ(args[1], c.url);
        EXPECT_EQ(starts.back().show, "show=10");
    }
    EXPECT_EQ(form->pvlUrl1->UrlShowCommand, ui::TUrlShowCmd::ssShowDefault);
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(LinksInTheWindowTest, ABrowserThatCannotStartIsShownInTheErrorBox) {
    testsupport::TempFolder folder;
    TestAssociation association("\"" + folder.File("no-such-browser.exe") + "\" \"%1\"");
    Click(form->Label23);
    Click(form->Label15);
    ASSERT_EQ(errors.shown.size(), 2u);
    for (const auto& [caption, text] : errors.shown) {
        EXPECT_EQ(caption, "Teskaprs");
        EXPECT_EQ(text, "Couldn't launch default browser.");
    }
    EXPECT_TRUE(IsWindow(form->Handle()));
}

TEST_F(LinksInTheWindowTest, WithoutAnAssociationALinkOpensThroughTheShell) {
    PrivateClassesRoot classes;
    ASSERT_TRUE(classes.Overridden());
    classes.SetWebProtocol(quoted + " \"%1\"");
    Click(form->Label23);
    const std::vector<Start> starts = recorder.WaitFor(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(Arguments(starts[0].commandLine).back(), "http://www.wxqa.com/");
    EXPECT_EQ(starts[0].show, "show=10");
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(LinksInTheWindowTest, StationCaptionKeepsTheCallsignAsTypedWhileTheLinkTrimsIt) {
    EXPECT_EQ(WindowText(form->Label15->Handle()), std::string(kStationBase) + "CWXXXX") << "design caption";
    form->Callsign->SetText("  CW1234 ");
    form->SetStationLinkCaption();
    EXPECT_EQ(WindowText(form->Label15->Handle()), std::string(kStationBase) + "  CW1234 ");

    TestAssociation association(quoted + " \"%1\"");
    Click(form->Label15);
    const std::vector<Start> starts = recorder.WaitFor(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(Arguments(starts[0].commandLine).back(), std::string(kStationBase) + "CW1234");
    // The caption is not touched by a click.
    EXPECT_EQ(WindowText(form->Label15->Handle()), std::string(kStationBase) + "  CW1234 ");
}

}  // namespace
