// Where the autostart value lives, and which Run value starts this program.
#include <gtest/gtest.h>

#include <string>

#include "config/Autostart.h"

namespace {

TEST(Autostart, TheValueIsTheUsersForAProgramUnderTheProfiles) {
    struct Case {
        const char* program;
        const char* profiles;
        bool settingsUnderUser;
        bool underUser;
    };
    const Case cases[] = {
        // A per-user install, whatever the letter case or the separators.
        {"C:\\Users\\Ann\\AppData\\Local\\Programs\\Teskaprs\\teskaprs.exe", "C:\\Users", false, true},
        {"c:\\USERS\\ann\\teskaprs.exe", "C:\\Users\\", false, true},
        {"C:/Users/Ann/teskaprs.exe", "C:\\Users", false, true},
        {"D:\\Profiles\\Ann\\t.exe", "D:\\Profiles", false, true},
        // Outside the profiles: the machine's, unless the settings are the user's.
        {"C:\\Program Files\\Teskaprs\\teskaprs.exe", "C:\\Users", false, false},
        {"C:\\Program Files\\Teskaprs\\teskaprs.exe", "C:\\Users", true, true},
        {"C:\\Teskaprs\\teskaprs.exe", "C:\\Users", false, false},
        // Look-alikes: a component must match whole.
        {"C:\\UsersX\\Ann\\teskaprs.exe", "C:\\Users", false, false},
        {"C:\\Users.old\\teskaprs.exe", "C:\\Users", false, false},
        {"C:\\User\\teskaprs.exe", "C:\\Users", false, false},
        {"C:\\Users", "C:\\Users", false, false},
        {"D:\\Users\\Ann\\teskaprs.exe", "C:\\Users", false, false},
        // No profiles folder known: nothing lies under it.
        {"C:\\Users\\Ann\\teskaprs.exe", "", false, false},
        {"C:\\Users\\Ann\\teskaprs.exe", "\\", false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(config::AutostartUnderUser(c.settingsUnderUser, c.program, c.profiles), c.underUser)
            << c.program << " in " << c.profiles;
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
