// Where this copy may start at logon, and which Run value starts it.
#include <gtest/gtest.h>

#include <string>

#include "config/Autostart.h"

namespace {

TEST(Autostart, OnlyAProgramItsOwnerAloneCanReplaceStartsAtLogon) {
    using config::AutostartRoot;
    const config::AutostartFolders folders{{"C:\\Program Files", "C:\\Program Files (x86)\\"}, "C:\\Users\\bob"};
    struct Case {
        const char* program;
        bool settingsUnderUser;
        AutostartRoot root;
    };
    const Case cases[] = {
        // Program Files: the settings' root, whatever the letter case or the separators.
        {"C:\\Program Files\\Teskaprs\\teskaprs.exe", false, AutostartRoot::Machine},
        {"C:\\Program Files\\Teskaprs\\teskaprs.exe", true, AutostartRoot::User},
        {"c:/PROGRAM FILES (X86)/Teskaprs/teskaprs.exe", false, AutostartRoot::Machine},
        {"\\\\?\\C:\\Program Files\\Teskaprs\\teskaprs.exe", false, AutostartRoot::Machine},
        // The running user's own profile: theirs only, also with the machine's settings.
        {"C:\\Users\\bob\\AppData\\Local\\Programs\\Teskaprs\\teskaprs.exe", false, AutostartRoot::User},
        {"C:\\Users\\Bob\\teskaprs.exe", true, AutostartRoot::User},
        // Anywhere else: nobody's.
        {"C:\\Users\\alice\\AppData\\Local\\Programs\\Teskaprs\\teskaprs.exe", false, AutostartRoot::None},
        {"C:\\Tesk\\teskaprs.exe", true, AutostartRoot::None},
        {"D:\\Program Files\\Teskaprs\\teskaprs.exe", false, AutostartRoot::None},
        // Look-alikes: a component must match whole.
        {"C:\\Program FilesX\\teskaprs.exe", false, AutostartRoot::None},
        {"C:\\Users\\bob2\\teskaprs.exe", false, AutostartRoot::None},
        {"C:\\Program Files", false, AutostartRoot::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(config::AutostartRootFor(config::AutostartPlaceOf(c.program, folders), c.settingsUnderUser), c.root)
            << c.program;
    // No folder known: nothing lies in one.
    EXPECT_EQ(config::AutostartPlaceOf("C:\\Users\\bob\\t.exe", {{"", "\\"}, ""}), config::AutostartPlace::Elsewhere);
}

TEST(Autostart, ARunValueStartsTheProgramItNames) {
    const std::string program = "C:\\Program Files\\Teskaprs\\teskaprs.exe";
    struct Case {
        const char* data;
        bool starts;
    };
    const Case cases[] = {
        {"\"C:\\Program Files\\Teskaprs\\teskaprs.exe\"", true},  // as this version writes it
        {"C:\\Program Files\\Teskaprs\\teskaprs.exe", true},      // as earlier versions did
        {"  \"c:\\program files\\teskaprs\\TESKAPRS.EXE\" ", true},
        {"\"C:\\Program Files\\Teskaprs\\teskaprs.exe\" /min", true},
        {"\"C:\\Program Files\\Teskaprs\\teskaprs.exe", false},
        {"C:\\Program Files\\Teskaprs\\teskaprs.exe.bak", false},
        {"C:\\Other\\teskaprs.exe", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(config::RunValueStartsProgram(c.data, program), c.starts) << c.data;
    EXPECT_FALSE(config::RunValueStartsProgram("", ""));
}

}  // namespace
