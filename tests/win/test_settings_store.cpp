// The settings store with the real main window and the real registry: the
// write probes and where the settings live (HKEY_LOCAL_MACHINE's 32-bit view
// for an administrator, HKEY_CURRENT_USER for a standard user, the
// configuration file on a locked-down machine), the restore with its
// fallbacks and failures, "Save Configuration", the autostart value, and the
// last packet delivered.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "LoopbackServer.h"
#include "SettingsSupport.h"
#include "TestSupport.h"
#include "Teskaprs1.h"
#include "config/AutostartPlace.h"
#include "config/EasyRegAdvanced.h"
#include "config/ConfigFile.h"
#include "config/ConfigFileIO.h"
#include "rtl/Application.h"
#include "rtl/Clock.h"
#include "rtl/Utf.h"
#include "ui/abctray.h"
#include "upload/Intake.h"

namespace {

using testsupport::GetRawValue;
using testsupport::kRunKey;
using testsupport::kSettingsKey;
using testsupport::kUser;
using testsupport::RegRoot;
using testsupport::SetDword;
using testsupport::SetText;

// The machine's settings as the program keeps them, in the 32-bit view.
const RegRoot kMachine = testsupport::kMachine32;

std::string Bytes(const void* data, size_t size) { return std::string(static_cast<const char*>(data), size); }
std::string Sz(const std::string& text) { return text + '\0'; }
std::string Dword(DWORD value) { return Bytes(&value, 4); }
std::string Double(double value) { return Bytes(&value, 8); }

// The autostart value's data: the program's own full path, quoted.
std::string QuotedProgramPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string("\"") + path + "\"";
}

// Every value of a key: name -> (type, bytes).
using KeyValues = std::map<std::string, std::pair<DWORD, std::string>>;
KeyValues ValuesOf(RegRoot root, const std::string& path) {
    KeyValues values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root.key, path.c_str(), 0, KEY_READ | root.view, &key) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameSize = sizeof name, type = 0, size = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::string data(size, '\0');
        nameSize = sizeof name;
        RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        data.resize(size);
        values[std::string(name, nameSize)] = {type, data};
    }
    RegCloseKey(key);
    return values;
}

// The raw value as "type:bytes", or "absent".
std::string Raw(RegRoot root, const std::string& path, const std::string& name) {
    DWORD type = 0;
    std::string bytes;
    if (!GetRawValue(root, path, name, &type, &bytes)) return "absent";
    return std::to_string(type) + ":" + bytes;
}
std::string Raw(DWORD type, const std::string& bytes) { return std::to_string(type) + ":" + bytes; }

void SetDouble(const std::string& name, double value, RegRoot root = kMachine) {
    testsupport::SetRawValue(root, kSettingsKey, name, REG_BINARY, &value, sizeof value);
}
void DeleteSetting(const std::string& name) { testsupport::DeleteRawValue(kMachine, kSettingsKey, name); }

// The configuration file beside the program, holding exactly this text.
void WriteConfigBesideProgram(const std::string& text) {
    HANDLE file = CreateFileA(testsupport::ConfigFileBesideProgram().c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// A complete save in the current layout, written raw (under the machine's key unless told).
void SeedSavedSettings(RegRoot root = kMachine) {
    SetText(root, kSettingsKey, "TestWrite", "test");
    SetDword(root, kSettingsKey, "Minimized", 0);
    SetText(root, kSettingsKey, "FileLocation", "C:\\Weather\\wxreport.txt");
    SetDword(root, kSettingsKey, "LatDeg", 51);
    SetDword(root, kSettingsKey, "LatMin", 30);
    SetDouble("LatSec", 12.5, root);
    SetDword(root, kSettingsKey, "LonDeg", 1);
    SetDword(root, kSettingsKey, "LonMin", 7);
    SetDouble("LonSec", 45.25, root);
    SetDword(root, kSettingsKey, "LatHem", 1);
    SetDword(root, kSettingsKey, "LonHem", 1);
    SetText(root, kSettingsKey, "CallSign", "N0CALL");
    SetText(root, kSettingsKey, "Validation", "12345");
    SetDword(root, kSettingsKey, "Interval", 15);
    SetText(root, kSettingsKey, "WXstation", "Davis Vantage Pro");
    SetText(root, kSettingsKey, "ServerName", "server.example");
    SetText(root, kSettingsKey, "ServerPort", "14580");
    SetDword(root, kSettingsKey, "AutoServer", 0);
}

// Puts a folder (the test program's own unless told) under Program Files, or
// makes it the user's own profile (as Wine finds it: the profiles folder and
// the user's name). Given back when destroyed. Without it, the program lies
// in the build folder: elsewhere.
class ProgramPlace {
public:
    enum Where { kProgramFiles, kOwnProfile };
    explicit ProgramPlace(Where where, std::string folder = QuotedProgramPath()) {
        testsupport::RequireWine();
        if (folder.front() == '"') folder = folder.substr(1, folder.find_last_of('\\') - 1);
        const size_t slash = folder.find_last_of('\\');
        const bool files = where == kProgramFiles;
        path_ = files ? "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"
                      : "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
        name_ = files ? "ProgramFilesDir" : "ProfilesDirectory";
        GetRawValue(kNative, path_, name_, &type_, &bytes_);  // a Wine prefix has both
        SetText(kNative, path_, name_, files ? folder : folder.substr(0, slash));
        char user[256] = {};
        GetEnvironmentVariableA("WINEUSERNAME", user, sizeof user);
        user_ = user;
        if (!files) SetEnvironmentVariableW(L"WINEUSERNAME", rtl::Wide(folder.substr(slash + 1)).c_str());
    }
    ~ProgramPlace() {
        SetEnvironmentVariableA("WINEUSERNAME", user_.c_str());
        testsupport::SetRawValue(kNative, path_, name_, type_, bytes_.data(), static_cast<DWORD>(bytes_.size()));
    }
    ProgramPlace(const ProgramPlace&) = delete;
    ProgramPlace& operator=(const ProgramPlace&) = delete;

private:
    static inline const RegRoot kNative{HKEY_LOCAL_MACHINE, 0};
    std::string path_, name_, user_, bytes_;
    DWORD type_ = 0;
};

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        testsupport::ForgetSavedSettings();
        place.emplace(ProgramPlace::kProgramFiles);
    }
    void TearDown() override {
        form.reset();
        place.reset();
        testsupport::ForgetSavedSettings();
    }

    // Builds the window as the program does; its creation handler restores.
    void NewForm() {
        form.reset();
        form = std::make_unique<TForm1>();
    }
    // Each row of a table starts with no window, no errors and nothing saved.
    void StartOver() {
        form.reset();
        errors.shown.clear();
        testsupport::ForgetSavedSettings();
    }
    void ExpectNoErrors() {
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }
    std::string SelectedModel() const {
        const int index = form->ComboBox1->ItemIndex();
        return index < 0 ? "(none)" : form->ComboBox1->Item(index);
    }
    void SelectModel(const std::string& model) {
        for (int i = 0; i < form->ComboBox1->Count(); ++i)
            if (form->ComboBox1->Item(i) == model) form->ComboBox1->SetItemIndex(i);
        ASSERT_EQ(SelectedModel(), model);
    }
    void Save() { form->Button1->Click(); }
    // The schedule as if it were ticking (slowly, so that it never fires
    // here): a re-arm stops the tick and waits for the start minute again.
    void ArmTickOnly() {
        form->Timer2.SetInterval(3600000);
        form->Timer2.SetEnabled(true);
        form->DelayTimer.SetEnabled(false);
    }

    // Every setting given a value of its own, autostart wanted.
    void EnterEverySetting() {
        form->FileLocationDisplay->SetText(" C:\\Weather\\wxreport.txt ");
        form->LatDeg->SetValue(51);
        form->LatMin->SetValue(30);
        form->LatSec->SetValue(12.5);
        form->LatHem->SetItemIndex(1);
        form->LonDeg->SetValue(0);
        form->LonMin->SetValue(7);
        form->LonSec->SetValue(45.25);
        form->LonHem->SetItemIndex(1);
        form->Callsign->SetText(" N0CALL");
        form->Validation->SetText("-1 ");
        form->Interval->SetValue(15);
        SelectModel("Davis Vantage Pro");
        form->AutoServer->SetChecked(false);
        form->serverNameEdit->SetText("server.example");
        form->ServerPortEdit->SetText("14580");
        form->Minimized->SetChecked(true);
        form->AutoStart->SetChecked(true);
        form->StationListen = true;
        form->StationPort = "8081";
        form->StationHeight = "123.5";
        form->StationKey = "AB12";
    }
    // What a save of EnterEverySetting() writes under that root: the text
    // values untrimmed, with their zero byte; integers as REG_DWORD; the
    // seconds as 8-byte doubles; and the quoted autostart value.
    void ExpectEverySettingSavedUnder(RegRoot root) {
        const std::vector<std::pair<const char*, std::string>> expected = {
            {"TestWrite", Raw(REG_SZ, Sz("test"))},
            {"FileLocation", Raw(REG_SZ, Sz(" C:\\Weather\\wxreport.txt "))},
            {"LatDeg", Raw(REG_DWORD, Dword(51))},
            {"LatMin", Raw(REG_DWORD, Dword(30))},
            {"LatSec", Raw(REG_BINARY, Double(12.5))},
            {"LonDeg", Raw(REG_DWORD, Dword(0))},
            {"LonMin", Raw(REG_DWORD, Dword(7))},
            {"LonSec", Raw(REG_BINARY, Double(45.25))},
            {"LatHem", Raw(REG_DWORD, Dword(1))},
            {"LonHem", Raw(REG_DWORD, Dword(1))},
            {"CallSign", Raw(REG_SZ, Sz(" N0CALL"))},
            {"Validation", Raw(REG_SZ, Sz("-1 "))},
            {"Interval", Raw(REG_DWORD, Dword(15))},
            {"WXstation", Raw(REG_SZ, Sz("Davis Vantage Pro"))},
            {"ServerName", Raw(REG_SZ, Sz("server.example"))},
            {"ServerPort", Raw(REG_SZ, Sz("14580"))},
            {"AutoServer", Raw(REG_DWORD, Dword(0))},
            {"Minimized", Raw(REG_DWORD, Dword(1))},
            {"StationListen", Raw(REG_DWORD, Dword(1))},
            {"StationPort", Raw(REG_SZ, Sz("8081"))},
            {"StationHeight", Raw(REG_SZ, Sz("123.5"))},
            {"StationKey", Raw(REG_SZ, Sz("AB12"))},
        };
        EXPECT_EQ(ValuesOf(root, kSettingsKey).size(), expected.size()) << "the save writes nothing else";
        for (const auto& [name, raw] : expected) EXPECT_EQ(Raw(root, kSettingsKey, name), raw) << name;
        EXPECT_EQ(Raw(root, kRunKey, "Teskaprs"), Raw(REG_SZ, Sz(QuotedProgramPath())));
    }

    // The controls as one text, for comparing whole states.
    std::string Controls() const {
        const TForm1& f = *form;
        return "file=" + f.FileLocationDisplay->Text() + " lat=" + f.LatDeg->Text() + "/" + f.LatMin->Text() + "/" +
               f.LatSec->Text() + "/" + std::to_string(f.LatHem->ItemIndex()) + " lon=" + f.LonDeg->Text() + "/" +
               f.LonMin->Text() + "/" + f.LonSec->Text() + "/" + std::to_string(f.LonHem->ItemIndex()) +
               " call=" + f.Callsign->Text() + " val=" + f.Validation->Text() + " int=" + f.Interval->Text() +
               " model=" + SelectedModel() + " server=" + f.serverNameEdit->Text() + ":" +
               f.ServerPortEdit->Text() + " auto=" + (f.AutoServer->Checked() ? "Y" : "N") +
               " min=" + (f.Minimized->Checked() ? "Y" : "N") + " start=" + (f.AutoStart->Checked() ? "Y" : "N");
    }

    static constexpr char kCreationValues[] =
        "file= lat=0/0/0.000/0 lon=0/0/0.000/0 call= val=-1 int=10 model=(none) server=: auto=Y min=N start=Y";
    static constexpr char kSeededValues[] =
        "file=C:\\Weather\\wxreport.txt lat=51/30/12.500/1 lon=1/7/45.250/1 call=N0CALL val=12345 int=15 "
        "model=Davis Vantage Pro server=server.example:14580 auto=N min=N start=N";

    testsupport::ErrorRecorder errors;
    std::unique_ptr<TForm1> form;
    // Under Program Files, as installed, unless a test says otherwise.
    std::optional<ProgramPlace> place;
};

TEST_F(SettingsStoreTest, FirstStartCreatesOnlyTheProbeValueAndShowsTheCreationValues) {
    NewForm();
    ExpectNoErrors();
    const KeyValues values = ValuesOf(kMachine, kSettingsKey);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values.begin()->first, "TestWrite");
    EXPECT_EQ(Raw(values.begin()->second.first, values.begin()->second.second), Raw(REG_SZ, Sz("test")));
    EXPECT_TRUE(form->RegistryMode);
    EXPECT_TRUE(form->Button1->Enabled());
    EXPECT_EQ(Controls(), kCreationValues);
    EXPECT_EQ(Raw(kMachine, kRunKey, "Teskaprs"), "absent") << "AutoStart shows checked without a Run value";
    EXPECT_TRUE(form->DelayTimer.Enabled());
}

// Save writes every setting with its type; a new window restores them all.
// An administrator's save lands in HKEY_LOCAL_MACHINE's 32-bit view only.
TEST_F(SettingsStoreTest, SaveWritesEverySettingAndTheNextStartRestoresIt) {
    NewForm();
    EXPECT_EQ(form->EasyRegAdvanced1->RegBaseKey(), config::bkHKEY_LOCAL_MACHINE);
    // A validation number APRS-IS cannot take is never stored.
    form->Validation->SetText("12,345");
    Save();
    ASSERT_EQ(errors.shown.size(), 1u);
    EXPECT_EQ(errors.shown[0].second, "Validation number not valid for APRS-IS: settings not saved.");
    EXPECT_EQ(ValuesOf(kMachine, kSettingsKey).size(), 1u) << "the probe's value only";
    errors.shown.clear();
    EnterEverySetting();
    const std::string before = Controls();
    ArmTickOnly();
    Save();
    ExpectNoErrors();
    ExpectEverySettingSavedUnder(kMachine);
    EXPECT_TRUE(ValuesOf(testsupport::kMachine64, kSettingsKey).empty()) << "nothing in the 64-bit view";
    EXPECT_EQ(Raw(testsupport::kMachine64, kRunKey, "Teskaprs"), "absent");
    EXPECT_TRUE(ValuesOf(kUser, kSettingsKey).empty()) << "nothing in the user's key";
    EXPECT_EQ(Raw(kUser, kRunKey, "Teskaprs"), "absent");

    // The configuration file follows the registry, and the schedule is re-armed.
    EXPECT_EQ(testsupport::TempFolder::Read(testsupport::ConfigFileBesideProgram()),
              "C:\\Weather\\wxreport.txt,51,30,12.5,0,7,45.25,1,1,N0CALL,-1,15,Davis Vantage Pro,server.example,"
              "14580,N,Y,Y,Station,Y,8081,123.5,AB12");
    EXPECT_TRUE(form->DelayTimer.Enabled());
    EXPECT_FALSE(form->Timer2.Enabled());
    EXPECT_NE(form->Label15->Text().find("N0CALL"), std::string::npos) << form->Label15->Text();

    NewForm();
    ExpectNoErrors();
    EXPECT_TRUE(form->RegistryMode);
    EXPECT_EQ(Controls(), before);
    EXPECT_EQ(form->StationListen && form->StationPort == "8081" && form->StationHeight == "123.5" &&
                  form->StationKey == "AB12",
              true);
    EXPECT_NE(form->Label15->Text().find("N0CALL"), std::string::npos) << "the link follows the restored callsign";
}

// Restored values go through the fields' setters, which clamp them.
TEST_F(SettingsStoreTest, RestoredValuesAreClampedByTheirFields) {
    SeedSavedSettings();
    SetDword(kMachine, kSettingsKey, "LatDeg", 200);
    SetDword(kMachine, kSettingsKey, "LonMin", static_cast<DWORD>(-3));
    SetDouble("LatSec", 75);
    SetDouble("LonSec", -1);
    SetDword(kMachine, kSettingsKey, "Interval", 5);
    NewForm();
    ExpectNoErrors();
    EXPECT_EQ(form->LatDeg->Text(), "180");
    EXPECT_EQ(form->LonMin->Text(), "0");
    EXPECT_EQ(form->LatSec->Text(), "59.999");
    EXPECT_EQ(form->LonSec->Text(), "0.000");
    EXPECT_EQ(form->Interval->Text(), "10");
}

// The older seconds layout: whole seconds as REG_DWORD, hundredths beside them.
TEST_F(SettingsStoreTest, LegacySecondsLayoutIsRead) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* latSec;
        const char* lonSec;
    };
    const std::vector<Case> cases = {
        {"12 and 50 hundredths",
         [] {
             SetDword(kMachine, kSettingsKey, "LatSec", 12);
             SetDword(kMachine, kSettingsKey, "LatSec2", 50);
         },
         "12.500", "45.250"},
        {"12 alone", [] { SetDword(kMachine, kSettingsKey, "LatSec", 12); }, "12.000", "45.250"},
        {"hundredths of the wrong type",
         [] {
             SetDword(kMachine, kSettingsKey, "LonSec", 30);
             SetText(kMachine, kSettingsKey, "LonSec2", "5");
         },
         "12.500", "30.000"},
        {"both, clamped",
         [] {
             SetDword(kMachine, kSettingsKey, "LatSec", 59);
             SetDword(kMachine, kSettingsKey, "LatSec2", 150);
             SetDword(kMachine, kSettingsKey, "LonSec", 0);
             SetDword(kMachine, kSettingsKey, "LonSec2", 5);
         },
         "59.999", "0.050"},
        {"the 8-byte form wins over hundredths",
         [] { SetDword(kMachine, kSettingsKey, "LatSec2", 50); }, "12.500", "45.250"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        form.reset();
        testsupport::ForgetSavedSettings();
        SeedSavedSettings();
        c.arrange();
        NewForm();
        ExpectNoErrors();
        EXPECT_EQ(form->LatSec->Text(), c.latSec);
        EXPECT_EQ(form->LonSec->Text(), c.lonSec);
    }

    // A save replaces the seconds with the 8-byte form and leaves the
    // hundredths where they are.
    Save();
    ExpectNoErrors();
    EXPECT_EQ(Raw(kMachine, kSettingsKey, "LatSec"), Raw(REG_BINARY, Double(12.5)));
    EXPECT_EQ(Raw(kMachine, kSettingsKey, "LatSec2"), Raw(REG_DWORD, Dword(50)));
}

// A read without fallback that fails ends the creation handler: the error
// box (the messages end in a quote, so no full stop is added), the window
// hidden, nothing scheduled; the controls restored so far keep their values.
TEST_F(SettingsStoreTest, FailedRestoreShowsTheErrorAndSchedulesNothing) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* message;
        const char* controls;
    };
    const std::vector<Case> cases = {
        {"LatSec absent", [] { DeleteSetting("LatSec"); }, "Failed to get data for 'LatSec'",
         "file=C:\\Weather\\wxreport.txt lat=51/30/0.000/0 lon=0/0/0.000/0 call= val=-1 int=10 model=(none) "
         "server=: auto=Y min=N start=Y"},
        {"LatDeg absent", [] { DeleteSetting("LatDeg"); }, "Failed to get data for 'LatDeg'",
         "file=C:\\Weather\\wxreport.txt lat=0/0/0.000/0 lon=0/0/0.000/0 call= val=-1 int=10 model=(none) "
         "server=: auto=Y min=N start=Y"},
        {"Interval of the wrong type", [] { SetText(kMachine, kSettingsKey, "Interval", "15"); },
         "Invalid data type for 'Interval'",
         "file=C:\\Weather\\wxreport.txt lat=51/30/12.500/1 lon=1/7/45.250/1 call=N0CALL val=12345 int=10 "
         "model=(none) server=: auto=Y min=N start=Y"},
        {"FileLocation of the wrong type", [] { SetDword(kMachine, kSettingsKey, "FileLocation", 1); },
         "Invalid data type for 'FileLocation'", kCreationValues},
        {"LonHem absent", [] { DeleteSetting("LonHem"); }, "Failed to get data for 'LonHem'",
         "file=C:\\Weather\\wxreport.txt lat=51/30/12.500/1 lon=1/7/45.250/0 call= val=-1 int=10 model=(none) "
         "server=: auto=Y min=N start=Y"},
        {"legacy whole seconds of the wrong type", [] { SetText(kMachine, kSettingsKey, "LonSec", "4"); },
         "Invalid data type for 'LonSec'",
         "file=C:\\Weather\\wxreport.txt lat=51/30/12.500/0 lon=1/7/0.000/0 call= val=-1 int=10 model=(none) "
         "server=: auto=Y min=N start=Y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartOver();
        SeedSavedSettings();
        c.arrange();
        NewForm();
        ASSERT_EQ(errors.shown.size(), 1u);
        EXPECT_EQ(errors.shown[0].first, "Teskaprs");
        EXPECT_EQ(errors.shown[0].second, c.message);
        EXPECT_EQ(Controls(), c.controls);
        EXPECT_FALSE(IsWindowVisible(form->Handle())) << "Minimized is unchecked, yet the window stays hidden";
        EXPECT_FALSE(form->DelayTimer.Enabled());
        EXPECT_FALSE(form->Timer2.Enabled());
        EXPECT_TRUE(form->Button1->Enabled());
        EXPECT_TRUE(form->serverNameEdit->Enabled()) << "the check-box rule was not applied";
    }
}

// Reads with a fallback: a missing value or one of the wrong type takes it,
// and the restore goes on.
TEST_F(SettingsStoreTest, ReadsWithAFallbackTakeIt) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* controls;
    };
    const std::vector<Case> cases = {
        {"as saved", [] {}, kSeededValues},
        {"absent",
         [] {
             for (const char* name : {"WXstation", "ServerName", "ServerPort", "AutoServer", "Minimized", "Validation",
                                      "FileLocation"})
                 DeleteSetting(name);
         },
         "file= lat=51/30/12.500/1 lon=1/7/45.250/1 call=N0CALL val=-1 int=15 model=(none) server=: auto=Y min=N "
         "start=N"},
        {"a validation number saved blank", [] { SetText(kMachine, kSettingsKey, "Validation", " "); },
         "file=C:\\Weather\\wxreport.txt lat=51/30/12.500/1 lon=1/7/45.250/1 call=N0CALL val=-1 int=15 "
         "model=Davis Vantage Pro server=server.example:14580 auto=N min=N start=N"},
        {"of the wrong type",
         [] {
             SetDword(kMachine, kSettingsKey, "WXstation", 31);
             SetDword(kMachine, kSettingsKey, "ServerName", 1);
             SetDouble("ServerPort", 14580);
             SetText(kMachine, kSettingsKey, "AutoServer", "0");
             SetDouble("Minimized", 1.0);
         },
         "file=C:\\Weather\\wxreport.txt lat=51/30/12.500/1 lon=1/7/45.250/1 call=N0CALL val=12345 int=15 "
         "model=(none) server=: auto=Y min=N start=N"},
        {"other values",
         [] {
             SetText(kMachine, kSettingsKey, "WXstation", "davis vantage pro");  // case counts
             SetDword(kMachine, kSettingsKey, "AutoServer", 5);
             SetDword(kMachine, kSettingsKey, "Minimized", 2);
         },
         "file=C:\\Weather\\wxreport.txt lat=51/30/12.500/1 lon=1/7/45.250/1 call=N0CALL val=12345 int=15 "
         "model=(none) server=server.example:14580 auto=Y min=Y start=N"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        form.reset();
        testsupport::ForgetSavedSettings();
        SeedSavedSettings();
        c.arrange();
        NewForm();
        ExpectNoErrors();
        EXPECT_EQ(Controls(), c.controls);
        EXPECT_EQ(form->ComboBox1->Text(), form->ComboBox1->ItemIndex() < 0 ? "" : "Davis Vantage Pro");
        EXPECT_TRUE(form->DelayTimer.Enabled()) << "the restore went through";
    }
}

// "Minimize on startup?" saved: only the tray icon appears; otherwise the
// window shows itself, with its taskbar button.
TEST_F(SettingsStoreTest, MinimizedStartShowsOnlyTheTrayIcon) {
    for (DWORD minimized : {1u, 0u}) {
        SCOPED_TRACE(minimized);
        form.reset();
        testsupport::ForgetSavedSettings();
        SeedSavedSettings();
        SetDword(kMachine, kSettingsKey, "Minimized", minimized);
        NewForm();
        ExpectNoErrors();
        EXPECT_EQ(form->Minimized->Checked(), minimized == 1);
        EXPECT_EQ(IsWindowVisible(form->Handle()) != FALSE, minimized == 0);
        EXPECT_EQ(IsWindowVisible(rtl::Application().Handle()) != FALSE, minimized == 0) << "taskbar button";
        EXPECT_EQ(form->abcTrayIcon1->Hint(), "Waiting");
    }
}

// A "CallSign" that exists, even empty, means settings were saved.
TEST_F(SettingsStoreTest, TheCallSignValueDecidesWhetherTheRestoreRuns) {
    SeedSavedSettings();
    SetText(kMachine, kSettingsKey, "CallSign", "");
    NewForm();
    ExpectNoErrors();
    EXPECT_EQ(form->LatDeg->Text(), "51");
    EXPECT_EQ(form->Callsign->Text(), "");

    // Without it nothing is restored, whatever else is there.
    form.reset();
    DeleteSetting("CallSign");
    NewForm();
    ExpectNoErrors();
    EXPECT_EQ(Controls(), kCreationValues);
    EXPECT_EQ(Raw(kMachine, kSettingsKey, "LatDeg"), Raw(REG_DWORD, Dword(51))) << "nothing is removed";
}

TEST_F(SettingsStoreTest, SaveWithNoModelKeepsTheEarlierModel) {
    SeedSavedSettings();
    NewForm();
    ASSERT_EQ(SelectedModel(), "Davis Vantage Pro");
    form->ComboBox1->SetItemIndex(-1);
    form->Callsign->SetText("K1ABC");
    Save();
    ExpectNoErrors();
    EXPECT_EQ(Raw(kMachine, kSettingsKey, "WXstation"), Raw(REG_SZ, Sz("Davis Vantage Pro")));
    EXPECT_EQ(Raw(kMachine, kSettingsKey, "CallSign"), Raw(REG_SZ, Sz("K1ABC")));
    // The file has no model field.
    EXPECT_EQ(testsupport::TempFolder::Read(testsupport::ConfigFileBesideProgram()),
              "C:\\Weather\\wxreport.txt,51,30,12.5,1,7,45.25,1,1,K1ABC,12345,15,server.example,14580,N,N,N");

    NewForm();
    ExpectNoErrors();
    EXPECT_EQ(SelectedModel(), "Davis Vantage Pro");
}

// The autostart value exists exactly while autostart is wanted, and names
// the running program.
TEST_F(SettingsStoreTest, AutostartValueFollowsTheCheckBox) {
    SeedSavedSettings();
    NewForm();
    ASSERT_FALSE(form->AutoStart->Checked());

    // Unchecked with no value: nothing under the Run key changes.
    const KeyValues runBefore = ValuesOf(kMachine, kRunKey);
    Save();
    ExpectNoErrors();
    EXPECT_EQ(ValuesOf(kMachine, kRunKey), runBefore);

    // Checked: the program's own full path, quoted.
    form->AutoStart->SetChecked(true);
    Save();
    ExpectNoErrors();
    EXPECT_EQ(Raw(kMachine, kRunKey, "Teskaprs"), Raw(REG_SZ, Sz(QuotedProgramPath())));

    // A value naming another path still shows checked; the next save puts the
    // current path in.
    SetText(kMachine, kRunKey, "Teskaprs", "C:\\Elsewhere\\Teskaprs.exe");
    NewForm();
    ExpectNoErrors();
    EXPECT_TRUE(form->AutoStart->Checked());
    Save();
    EXPECT_EQ(Raw(kMachine, kRunKey, "Teskaprs"), Raw(REG_SZ, Sz(QuotedProgramPath())));

    // Unchecked with a value: the value goes, and nothing else under Run.
    KeyValues runWithout = ValuesOf(kMachine, kRunKey);
    runWithout.erase("Teskaprs");
    form->AutoStart->SetChecked(false);
    Save();
    ExpectNoErrors();
    EXPECT_EQ(ValuesOf(kMachine, kRunKey), runWithout);
    NewForm();
    EXPECT_FALSE(form->AutoStart->Checked());
}

// A write that fails ends the save there: what came before stays written,
// the rest, the file and the re-arm of the schedule do not happen.
TEST_F(SettingsStoreTest, SaveThatFailsPartWayStopsAtTheFailedWrite) {
    struct Case {
        const char* what;
        const char* readOnlyKey;
        const char* lastWritten;   // a value the save has written, or nullptr
        const char* neverWritten;  // a value the save has not reached
    };
    const Case cases[] = {
        {"the Run key read-only", kRunKey, "Minimized", nullptr},
        {"the settings key read-only", kSettingsKey, nullptr, "FileLocation"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartOver();
        NewForm();
        ASSERT_TRUE(form->RegistryMode);
        form->Callsign->SetText("N0CALL");
        form->Minimized->SetChecked(true);
        form->AutoStart->SetChecked(true);
        ArmTickOnly();
        {
            testsupport::ReadOnlyKey readOnly(kMachine, c.readOnlyKey);
            Save();
        }
        ASSERT_EQ(errors.shown.size(), 1u);
        EXPECT_EQ(errors.shown[0].first, "Teskaprs");
        EXPECT_EQ(errors.shown[0].second, "Error: Value not Created.");
        if (c.lastWritten) {
            EXPECT_EQ(Raw(kMachine, kSettingsKey, c.lastWritten), Raw(REG_DWORD, Dword(1)));
        }
        if (c.neverWritten) {
            EXPECT_EQ(Raw(kMachine, kSettingsKey, c.neverWritten), "absent");
        }
        EXPECT_EQ(Raw(kMachine, kRunKey, "Teskaprs"), "absent");
        EXPECT_EQ(GetFileAttributesA(testsupport::ConfigFileBesideProgram().c_str()), INVALID_FILE_ATTRIBUTES)
            << "the configuration file is not written";
        EXPECT_TRUE(form->Timer2.Enabled()) << "the schedule is not re-armed";
        EXPECT_FALSE(form->DelayTimer.Enabled()) << "the schedule is not re-armed";
    }
}

// A folder in the configuration file's place: the registry is saved, the
// file is not. For an administrator the failure is shown and the schedule
// runs on as it was; a standard user's settings are saved under their own
// key (the program's folder is often not theirs to write), so their save
// goes on and re-arms the schedule.
TEST_F(SettingsStoreTest, SaveWhoseConfigurationFileCannotBeWritten) {
    const std::string file = testsupport::ConfigFileBesideProgram();
    for (const bool standard : {false, true}) {
        SCOPED_TRACE(standard ? "standard user" : "administrator");
        StartOver();
        ASSERT_TRUE(CreateDirectoryA(file.c_str(), nullptr));
        struct RemoveFolder {
            std::string path;
            ~RemoveFolder() { RemoveDirectoryA(path.c_str()); }
        } removeFolder{file};
        std::unique_ptr<testsupport::StandardUserRegistry> standardUser;
        if (standard) standardUser = std::make_unique<testsupport::StandardUserRegistry>();
        const RegRoot root = standard ? kUser : kMachine;
        NewForm();
        ASSERT_TRUE(form->RegistryMode);
        form->Callsign->SetText("N0CALL");
        form->AutoStart->SetChecked(true);
        ArmTickOnly();
        Save();
        if (standard) {
            ExpectNoErrors();
        } else {
            ASSERT_EQ(errors.shown.size(), 1u);
            EXPECT_EQ(errors.shown[0].first, "Teskaprs");
            EXPECT_EQ(errors.shown[0].second, "File access denied.");
        }
        EXPECT_EQ(Raw(root, kSettingsKey, "CallSign"), Raw(REG_SZ, Sz("N0CALL")));
        EXPECT_EQ(Raw(root, kRunKey, "Teskaprs"), Raw(REG_SZ, Sz(QuotedProgramPath())));
        EXPECT_EQ(form->Timer2.Enabled(), !standard) << "re-armed only where the save went through";
        EXPECT_EQ(form->DelayTimer.Enabled(), standard);
    }
    errors.shown.clear();
}

// Where neither the machine's nor the user's settings key can be written
// the run is in file mode: no saving, the settings from the configuration
// file, the Run keys untouched.
TEST_F(SettingsStoreTest, FileModeRestoresFromTheConfigurationFile) {
    SetText(kMachine, kRunKey, "Teskaprs", "C:\\Elsewhere\\Teskaprs.exe");
    SetText(kUser, kRunKey, "Teskaprs", "C:\\Mine\\Teskaprs.exe");
    const KeyValues runBefore = ValuesOf(kMachine, kRunKey), userRunBefore = ValuesOf(kUser, kRunKey);
    SeedSavedSettings();
    testsupport::StandardUserRegistry lockedDown(true);
    const KeyValues settingsBefore = ValuesOf(kMachine, kSettingsKey);

    struct Case {
        const char* line;
        const char* controls;
    };
    const Case cases[] = {
        {"C:\\Weather\\wxreport.txt,51,30,12.5,0,7,45,0,0,N0CALL,-1,10,Davis Vantage Pro,,,Y,N,N",
         "file=C:\\Weather\\wxreport.txt lat=51/30/12.500/0 lon=0/7/45.000/0 call=N0CALL val=-1 int=10 "
         "model=Davis Vantage Pro server=: auto=Y min=N start=N"},
        {"C:\\wx.txt,1,2,3,4,5,6,0,0,N0CALL,,10,,,Y,N,N",  // a validation number saved blank
         "file=C:\\wx.txt lat=1/2/3.000/0 lon=4/5/6.000/0 call=N0CALL val=-1 int=10 model=(none) server=: auto=Y "
         "min=N start=N"},
        {"D:\\wx.txt,5,6,7,8,9,10,1,1,K1ABC,77,3,host,99,N,Y,Y",
         "file=D:\\wx.txt lat=5/6/7.000/1 lon=8/9/10.000/1 call=K1ABC val=77 int=10 model=(none) server=host:99 "
         "auto=N min=Y start=Y"},
        // The reading stops at the first field that does not convert.
        {"C:\\a,b\\wxreport.txt,51,30", "file=C:\\a lat=0/0/0.000/0 lon=0/0/0.000/0 call= val=-1 int=10 "
                                        "model=(none) server=: auto=Y min=N start=Y"},
        {"X,5,6,x,1", "file=X lat=5/6/0.000/0 lon=0/0/0.000/0 call= val=-1 int=10 model=(none) server=: auto=Y "
                      "min=N start=Y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        form.reset();
        WriteConfigBesideProgram(c.line);
        NewForm();
        ExpectNoErrors();
        EXPECT_FALSE(form->RegistryMode);
        EXPECT_FALSE(form->Button1->Enabled());
        EXPECT_EQ(Controls(), c.controls);
        EXPECT_TRUE(form->DelayTimer.Enabled());
        EXPECT_EQ(testsupport::TempFolder::Read(testsupport::ConfigFileBesideProgram()), c.line);
    }
    EXPECT_EQ(ValuesOf(kMachine, kSettingsKey), settingsBefore);
    EXPECT_EQ(ValuesOf(kMachine, kRunKey), runBefore);
    EXPECT_EQ(ValuesOf(kUser, kRunKey), userRunBefore);
    EXPECT_TRUE(ValuesOf(kUser, kSettingsKey).empty());
}

TEST_F(SettingsStoreTest, FileModeWithoutTheFileShowsTheErrorAndSchedulesNothing) {
    testsupport::StandardUserRegistry lockedDown(true);
    NewForm();
    ASSERT_EQ(errors.shown.size(), 1u);
    EXPECT_EQ(errors.shown[0].first, "Teskaprs");
    EXPECT_EQ(errors.shown[0].second, "File not found.");
    EXPECT_FALSE(form->RegistryMode);
    EXPECT_FALSE(form->Button1->Enabled());
    EXPECT_EQ(Controls(), kCreationValues);
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(form->DelayTimer.Enabled());
}

// The last packet delivered: "APRSpacket" in registry mode, whatever key the
// component was pointed at last; in memory in file mode.
TEST_F(SettingsStoreTest, LastPacketLivesInTheRegistryOrInMemory) {
    const std::string packet = "N0CALL>APRS,TCPIP*:@051430z5128.50N/00007.25W_180/005g010t065\r\n";
    SeedSavedSettings();
    NewForm();
    ExpectNoErrors();
    ASSERT_TRUE(form->RegistryMode);
    EXPECT_EQ(form->ReadStoredPacket(), "");
    form->EasyRegAdvanced1->SetRegString(kRunKey);
    form->StorePacket(packet);
    EXPECT_EQ(Raw(kMachine, kSettingsKey, "APRSpacket"), Raw(REG_SZ, Sz(packet)));
    EXPECT_EQ(Raw(kMachine, kRunKey, "APRSpacket"), "absent");
    form->EasyRegAdvanced1->SetRegString(kRunKey);
    EXPECT_EQ(form->ReadStoredPacket(), packet);
    EXPECT_TRUE(form->LastPacket.empty());

    // It survives a restart and a save.
    Save();
    NewForm();
    EXPECT_EQ(form->ReadStoredPacket(), packet);

    // A value that cannot be read counts as no packet.
    SetDword(kMachine, kSettingsKey, "APRSpacket", 1);
    EXPECT_EQ(form->ReadStoredPacket(), "");

    // Storing where the registry cannot be written fails.
    {
        testsupport::ReadOnlyKey readOnly(kMachine, kSettingsKey);
        EXPECT_EQ(testsupport::MessageOf<config::TEasyRegException>([&] { form->StorePacket(packet); }),
                  "Error: Value not Created");
        EXPECT_EQ(form->ReadStoredPacket(), "");
    }
    ExpectNoErrors();
}

TEST_F(SettingsStoreTest, FileModeKeepsTheLastPacketInMemory) {
    const std::string packet = "K1ABC>APRS,TCPXX*:@010000z0000.00N/00000.00W_.../...g...t050\r\n";
    SeedSavedSettings();
    SetText(kMachine, kSettingsKey, "APRSpacket", "older\r\n");
    testsupport::StandardUserRegistry lockedDown(true);
    WriteConfigBesideProgram("");
    NewForm();
    ExpectNoErrors();
    ASSERT_FALSE(form->RegistryMode);
    EXPECT_EQ(form->ReadStoredPacket(), "") << "file mode starts with no packet";
    form->StorePacket(packet);
    EXPECT_EQ(form->ReadStoredPacket(), packet);
    EXPECT_EQ(form->LastPacket, packet);
    EXPECT_EQ(Raw(kMachine, kSettingsKey, "APRSpacket"), Raw(REG_SZ, Sz("older\r\n")));
}

// ---- A standard user, a locked-down machine, the 32-bit view ----

// Settings an earlier 32-bit build left in HKEY_LOCAL_MACHINE's 32-bit view,
// with its unquoted autostart value, are the ones restored, whatever the
// 64-bit view holds.
TEST_F(SettingsStoreTest, SettingsInThe32BitViewAreRestored) {
    SeedSavedSettings();
    SetText(kMachine, kRunKey, "Teskaprs", "C:\\Program Files (x86)\\Teskaprs\\teskaprs.exe");
    SetText(testsupport::kMachine64, kSettingsKey, "CallSign", "WRONG");
    SetDword(testsupport::kMachine64, kSettingsKey, "LatDeg", 5);
    NewForm();
    ExpectNoErrors();
    std::string expected = kSeededValues;
    expected.back() = 'Y';  // start=Y: the Run value counts by its presence
    EXPECT_EQ(Controls(), expected);
}

// A standard user: HKEY_LOCAL_MACHINE cannot be written, so the settings and
// the autostart value live under HKEY_CURRENT_USER, and nothing of the
// machine's changes.
TEST_F(SettingsStoreTest, StandardUserKeepsEverythingUnderTheirOwnKey) {
    testsupport::StandardUserRegistry standardUser;
    const KeyValues machineRun32 = ValuesOf(kMachine, kRunKey);
    const KeyValues machineRun64 = ValuesOf(testsupport::kMachine64, kRunKey);
    auto expectMachineUntouched = [&] {
        for (const RegRoot& machine : {kMachine, testsupport::kMachine64})
            EXPECT_TRUE(ValuesOf(machine, kSettingsKey).empty());
        EXPECT_EQ(ValuesOf(kMachine, kRunKey), machineRun32);
        EXPECT_EQ(ValuesOf(testsupport::kMachine64, kRunKey), machineRun64);
    };

    // The first start: no box, the window shown, Save enabled.
    NewForm();
    ExpectNoErrors();
    EXPECT_TRUE(form->RegistryMode);
    EXPECT_EQ(form->EasyRegAdvanced1->RegBaseKey(), config::bkHKEY_CURRENT_USER);
    EXPECT_TRUE(form->Button1->Enabled());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_TRUE(form->DelayTimer.Enabled());
    EXPECT_EQ(Controls(), kCreationValues);
    const KeyValues probe = ValuesOf(kUser, kSettingsKey);
    ASSERT_EQ(probe.size(), 1u);
    EXPECT_EQ(probe.begin()->first, "TestWrite");

    // A save writes the user's settings and Run value; a new window restores
    // everything from there.
    EnterEverySetting();
    const std::string before = Controls();
    Save();
    ExpectNoErrors();
    ExpectEverySettingSavedUnder(kUser);
    expectMachineUntouched();
    NewForm();
    ExpectNoErrors();
    EXPECT_EQ(Controls(), before);

    // AutoStart unchecked removes the user's Run value.
    form->AutoStart->SetChecked(false);
    Save();
    ExpectNoErrors();
    EXPECT_EQ(Raw(kUser, kRunKey, "Teskaprs"), "absent");
    NewForm();
    EXPECT_FALSE(form->AutoStart->Checked());
    expectMachineUntouched();
}

// A standard user's upload records the packet under their own key, and a
// restart does not send the same packet again.
TEST_F(SettingsStoreTest, StandardUsersLastPacketSurvivesARestart) {
    testsupport::StandardUserRegistry standardUser;
    testsupport::TempFolder folder;
    testsupport::LoopbackServer server(testsupport::LoopbackServer::AprsIs());
    const std::string report =
        folder.Write("wxreport.txt", "Jan 05 2008 14:30\r\n180/005g010t065r000p000P000h55b10150\r\n");
    auto start = [&] {
        NewForm();
        form->DelayTimer.SetEnabled(false);  // no scheduled upload runs into the test
        form->Callsign->SetText("CW1234");
        form->AutoServer->SetChecked(false);
        form->serverNameEdit->SetText(testsupport::LoopbackServer::Address());
        form->ServerPortEdit->SetText(server.PortText());
        form->FileLocationDisplay->SetText(report);
    };
    start();
    ASSERT_EQ(form->EasyRegAdvanced1->RegBaseKey(), config::bkHKEY_CURRENT_USER);
    form->abcButton1->Click();
    ASSERT_TRUE(server.WaitForEnd(0, 8000));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !form->Upload.UploadBusy; }, 8000));
    const std::string packet = form->Label20->Text();
    ASSERT_EQ(packet.substr(0, 7), "CW1234>");
    EXPECT_EQ(server.Received(0).substr(server.Received(0).size() - packet.size()), packet);
    EXPECT_EQ(Raw(kUser, kSettingsKey, "APRSpacket"), Raw(REG_SZ, Sz(packet)));
    EXPECT_EQ(Raw(kMachine, kSettingsKey, "APRSpacket"), "absent");

    start();
    form->abcButton1->Click();
    EXPECT_EQ(form->Label20->Text(), packet);
    EXPECT_FALSE(form->Upload.UploadBusy) << "the same packet ends the attempt at once";
    rtl::PumpMessagesFor(300);
    EXPECT_EQ(server.ConnectionCount(), 1u);
    ExpectNoErrors();
}

// A standard user who never saved starts from the machine's settings, read
// with the same order, fallbacks and failures, and never written; a save
// then writes the user's key. The user's own settings, once saved, win.
TEST_F(SettingsStoreTest, StandardUserStartsFromTheMachinesSettings) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* message;  // nullptr: no box
        const char* controls;
    };
    const std::vector<Case> cases = {
        {"as saved", [] {}, nullptr, kSeededValues},
        {"with fallbacks",
         [] {
             for (const char* name : {"WXstation", "AutoServer", "Minimized"}) DeleteSetting(name);
         },
         nullptr,
         "file=C:\\Weather\\wxreport.txt lat=51/30/12.500/1 lon=1/7/45.250/1 call=N0CALL val=12345 int=15 "
         "model=(none) server=server.example:14580 auto=Y min=N start=N"},
        {"LatDeg absent", [] { DeleteSetting("LatDeg"); }, "Failed to get data for 'LatDeg'",
         "file=C:\\Weather\\wxreport.txt lat=0/0/0.000/0 lon=0/0/0.000/0 call= val=-1 int=10 model=(none) "
         "server=: auto=Y min=N start=Y"},
        {"the user's own settings",
         [] {
             SeedSavedSettings(kUser);
             SetText(kUser, kSettingsKey, "CallSign", "K1USER");
             DeleteSetting("LatDeg");  // the machine's would fail
         },
         nullptr,
         "file=C:\\Weather\\wxreport.txt lat=51/30/12.500/1 lon=1/7/45.250/1 call=K1USER val=12345 int=15 "
         "model=Davis Vantage Pro server=server.example:14580 auto=N min=N start=N"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartOver();
        SeedSavedSettings();
        c.arrange();
        const KeyValues machineBefore = ValuesOf(kMachine, kSettingsKey);
        testsupport::StandardUserRegistry standardUser;
        NewForm();
        if (c.message) {
            ASSERT_EQ(errors.shown.size(), 1u);
            EXPECT_EQ(errors.shown[0].second, c.message);
            EXPECT_FALSE(IsWindowVisible(form->Handle()));
            EXPECT_FALSE(form->DelayTimer.Enabled());
        } else {
            ExpectNoErrors();
        }
        EXPECT_EQ(form->EasyRegAdvanced1->RegBaseKey(), config::bkHKEY_CURRENT_USER);
        EXPECT_TRUE(form->Button1->Enabled());
        EXPECT_EQ(Controls(), c.controls);
        EXPECT_EQ(ValuesOf(kMachine, kSettingsKey), machineBefore) << "the machine's settings are only read";
    }

    // From the machine's settings, a save writes the user's key only.
    form.reset();
    testsupport::ForgetSavedSettings();
    SeedSavedSettings();
    const KeyValues machineBefore = ValuesOf(kMachine, kSettingsKey);
    testsupport::StandardUserRegistry standardUser;
    NewForm();
    form->Callsign->SetText("K1USER");
    Save();
    ExpectNoErrors();
    EXPECT_EQ(Raw(kUser, kSettingsKey, "CallSign"), Raw(REG_SZ, Sz("K1USER")));
    EXPECT_EQ(Raw(kUser, kSettingsKey, "LatSec"), Raw(REG_BINARY, Double(12.5)));
    EXPECT_EQ(ValuesOf(kMachine, kSettingsKey), machineBefore);
    NewForm();
    EXPECT_EQ(form->Callsign->Text(), "K1USER");
}

// ---- Where the program lies ----

// With administrator rights, a program in the user's own profile keeps its
// settings where an administrator's are, but its autostart value under
// HKEY_CURRENT_USER: no other user's logon starts it. A machine value an
// earlier version left for it shows as autostart and goes at the next save;
// one for another program neither counts nor goes.
TEST_F(SettingsStoreTest, AdministratorsRunOfAPerUserProgramKeepsTheAutostartValueTheUsers) {
    place.emplace(ProgramPlace::kOwnProfile);
    SeedSavedSettings();
    const std::string quoted = QuotedProgramPath();
    SetText(testsupport::kMachine64, kRunKey, "Teskaprs", quoted.substr(1, quoted.size() - 2));
    NewForm();
    ExpectNoErrors();
    ASSERT_EQ(form->EasyRegAdvanced1->RegBaseKey(), config::bkHKEY_LOCAL_MACHINE);
    EXPECT_TRUE(form->AutoStart->Checked()) << "the machine's value starts this program";
    Save();
    ExpectNoErrors();
    EXPECT_EQ(Raw(kUser, kRunKey, "Teskaprs"), Raw(REG_SZ, Sz(QuotedProgramPath())));
    for (const RegRoot& machine : {kMachine, testsupport::kMachine64})
        EXPECT_EQ(Raw(machine, kRunKey, "Teskaprs"), "absent");
    EXPECT_EQ(Raw(kUser, kSettingsKey, "CallSign"), "absent") << "the settings stay the machine's";

    NewForm();
    EXPECT_TRUE(form->AutoStart->Checked());
    SetText(kMachine, kRunKey, "Teskaprs", "C:\\Other\\teskaprs.exe");
    form->AutoStart->SetChecked(false);
    Save();
    EXPECT_EQ(Raw(kUser, kRunKey, "Teskaprs"), "absent");
    NewForm();
    EXPECT_FALSE(form->AutoStart->Checked()) << "another program's value does not count";
    EXPECT_EQ(Raw(kMachine, kRunKey, "Teskaprs"), Raw(REG_SZ, Sz("C:\\Other\\teskaprs.exe")));
    ExpectNoErrors();
}

// A program elsewhere never starts at logon: the save clears the box, says
// why, and removes the values left for it (another program's stay); one
// that cannot go (a standard user's save) is named.
TEST_F(SettingsStoreTest, AProgramElsewhereNeverStartsAtLogon) {
    place.reset();
    const std::string quoted = QuotedProgramPath();
    SeedSavedSettings();
    for (const RegRoot& root : {kMachine, testsupport::kMachine64, kUser}) SetText(root, kRunKey, "Teskaprs", quoted);
    NewForm();
    EXPECT_TRUE(form->AutoStart->Checked()) << "it does start at logon now";
    Save();
    EXPECT_FALSE(form->AutoStart->Checked());
    EXPECT_EQ(form->LoginStatus->Text(), " Autostart needs Teskaprs under Program Files or your own profile ");
    for (const RegRoot& root : {kMachine, testsupport::kMachine64, kUser})
        EXPECT_EQ(Raw(root, kRunKey, "Teskaprs"), "absent");

    SetText(kMachine, kRunKey, "Teskaprs", quoted);
    SetText(kUser, kRunKey, "Teskaprs", "C:\\Other\\teskaprs.exe");
    testsupport::StandardUserRegistry standardUser;
    testsupport::TempFolder logs;
    NewForm();
    form->UploadLog = upload::TUploadLog(logs.Path());
    Save();
    EXPECT_EQ(Raw(kMachine, kRunKey, "Teskaprs"), Raw(REG_SZ, Sz(quoted)));
    EXPECT_EQ(Raw(kUser, kRunKey, "Teskaprs"), Raw(REG_SZ, Sz("C:\\Other\\teskaprs.exe")));
    EXPECT_EQ(form->LoginStatus->Text(), " Autostart for all users left by an earlier version: see the log ");
    const std::string log = testsupport::TempFolder::Read(form->UploadLog.FilePath());
    EXPECT_NE(log.find("cannot be removed: HKEY_LOCAL_MACHINE\\" + std::string(kRunKey) + " (32-bit view)"), log.npos);
}

// The places are compared as full, long paths: a short (8.3) name of the
// program, or of the folder the system records, stands for its long name.
TEST_F(SettingsStoreTest, AutostartPlacesAreComparedByTheirLongNames) {
    testsupport::TempFolder temp;
    const std::string folder = temp.File("Own Profile Folder");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string program = temp.Write("Own Profile Folder\\teskaprs.exe", "");
    char shortProgram[MAX_PATH] = {}, shortFolder[MAX_PATH] = {};
    GetShortPathNameA(program.c_str(), shortProgram, MAX_PATH);
    ASSERT_NE(GetShortPathNameA(folder.c_str(), shortFolder, MAX_PATH), folder.size()) << shortFolder;
    const std::pair<std::string, std::string> cases[] = {{folder, shortProgram}, {shortFolder, program}};
    for (const auto& [profile, path] : cases) {
        place.emplace(ProgramPlace::kOwnProfile, profile);
        EXPECT_EQ(config::AutostartPlaceOf(path), config::AutostartPlace::OwnProfile) << profile << " " << path;
    }
}

// A standard user's box shows a machine value that starts this program (it
// does start it at their logon), in either view, quoted or not.
TEST_F(SettingsStoreTest, StandardUsersBoxShowsTheMachinesValueForThisProgram) {
    const std::string quoted = QuotedProgramPath(), bare = quoted.substr(1, quoted.size() - 2);
    struct Case {
        RegRoot machine;
        std::string data;
        bool checked;
    };
    const Case cases[] = {
        {kMachine, quoted, true},
        {testsupport::kMachine64, bare, true},
        {kMachine, "C:\\Other\\teskaprs.exe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        StartOver();
        SeedSavedSettings(kUser);
        SetText(c.machine, kRunKey, "Teskaprs", c.data);
        testsupport::StandardUserRegistry standardUser;
        NewForm();
        ExpectNoErrors();
        ASSERT_EQ(form->EasyRegAdvanced1->RegBaseKey(), config::bkHKEY_CURRENT_USER);
        EXPECT_EQ(form->AutoStart->Checked(), c.checked);
    }
}

// A text value as the registry holds it, in UTF-16.
std::wstring WideText(RegRoot root, const std::string& path, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root.key, rtl::Wide(path).c_str(), 0, KEY_READ | root.view, &key) != ERROR_SUCCESS)
        return L"(no key)";
    wchar_t data[1024] = {};
    DWORD type = 0, size = sizeof data - sizeof(wchar_t);
    const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? data : L"(none)";
}

// Names outside the system's code page: this test program, copied into a
// profile folder named in Greek and run from there as the program runs,
// saves and restores the path of a report in a folder named in Greek and
// Japanese, reads the report, and names itself in its autostart value.
TEST_F(SettingsStoreTest, PathsInAnyLanguage) {
    const std::string kReport = "Jan 05 2008 14:30\r\n180/005g010t065r000p000P000h55b10150\r\n";
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const std::wstring program = self, folder = program.substr(0, program.rfind(L'\\'));
    const std::wstring base = folder.substr(0, folder.rfind(L'\\'));
    if (folder.substr(base.size()) != L"\\Ελλάδα") {
        testsupport::TempFolder temp;
        const std::wstring greek = rtl::Wide(temp.Path()) + L"\\Ελλάδα", copy = greek + L"\\teskaprs.exe";
        ASSERT_TRUE(CreateDirectoryW(greek.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((rtl::Wide(temp.Path()) + L"\\Ελληνικά 日本").c_str(), nullptr));
        temp.Write("Ελληνικά 日本\\wxreport.txt", kReport);
        ASSERT_TRUE(CopyFileW(self, copy.c_str(), TRUE));
        std::wstring line = L"\"" + copy + L"\" --gtest_filter=SettingsStoreTest.PathsInAnyLanguage";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        ASSERT_TRUE(CreateProcessW(copy.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &child));
        ASSERT_EQ(WaitForSingleObject(child.hProcess, 300000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(child.hProcess, &code);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
        EXPECT_EQ(code, 0u) << "the copy's test failed";
        EXPECT_EQ(testsupport::TempFolder::Read(temp.File("Ελλάδα\\checked")), "run") << "the copy ran the test";
        return;
    }
    // In the copy: its own profile, a user named Ελλάδα.
    place.emplace(ProgramPlace::kOwnProfile, rtl::Narrow(folder));
    const std::string report = rtl::Narrow(base) + "\\Ελληνικά 日本\\wxreport.txt";
    NewForm();
    form->FileLocationDisplay->SetText(report);
    form->AutoStart->SetChecked(true);
    Save();
    ExpectNoErrors();
    EXPECT_EQ(WideText(kMachine, kSettingsKey, L"FileLocation"), base + L"\\Ελληνικά 日本\\wxreport.txt");
    EXPECT_EQ(WideText(kUser, kRunKey, L"Teskaprs"), L"\"" + program + L"\"");
    // The configuration file beside the program, in UTF-8, reads back.
    const std::string line = testsupport::TempFolder::Read(rtl::Narrow(folder) + "\\aprsconfig.txt");
    EXPECT_EQ(line.substr(0, line.find(',')), report);
    EXPECT_EQ(config::ParseConfigText(config::ReadConfigFile(config::ConfigFilePath()), {}).fileLocation, report);
    NewForm();
    EXPECT_EQ(form->FileLocationDisplay->Text(), report);
    const upload::ReportLook look = upload::LookAtReport(report, rtl::Now());
    EXPECT_TRUE(look.readable) << look.error;
    EXPECT_EQ(look.bytes, kReport);
    std::ofstream(std::filesystem::path(folder + L"\\checked")) << "run";
}

}  // namespace
