// The browser's program and command line from the association's template.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/LinkAddress.h"

namespace {

TEST(BrowserCommand, TheProgramIsNamedInFullAndTheAddressFollows) {
    const std::string url = "http://example.invalid/a";
    const std::set<std::string> files = {"C:\\Program Files\\B\\b.exe", "C:\\Program Files\\B\\b.exe -x\\c.exe",
                                         "C:\\B\\b.EXE"};
    const auto isFile = [&](const std::string& path) { return files.count(path) > 0; };
    struct Case {
        const char* commandTemplate;
        const char* program;
        const char* commandLine;
    };
    const Case cases[] = {
        // Quoted: path, blank, quoted placeholder; the quote goes too, two blanks remain.
        {"\"C:\\Browser\\browser.exe\" \"%1\"", "C:\\Browser\\browser.exe", "\"C:\\Browser\\browser.exe\"  " },
        {"  \"C:\\B b\\b.exe\"\"%1\"", "C:\\B b\\b.exe", "\"C:\\B b\\b.exe\" "},
        // Unquoted with blanks: the longest part ending in .exe that is a file, then quoted.
        {"C:\\Program Files\\B\\b.exe %1", "C:\\Program Files\\B\\b.exe", "\"C:\\Program Files\\B\\b.exe\"  "},
        {"C:\\Program Files\\B\\b.exe -x\\c.exe %1", "C:\\Program Files\\B\\b.exe -x\\c.exe",
         "\"C:\\Program Files\\B\\b.exe -x\\c.exe\"  "},
        {"C:\\B\\b.EXE -new \"%1\" -tab", "C:\\B\\b.EXE", "\"C:\\B\\b.EXE\" -new  "},
        // No such file: the text up to the first blank (which will not be found).
        {"C:\\Program Files\\None\\n.exe %1", "C:\\Program", "\"C:\\Program\" Files\\None\\n.exe  "},
        // Bare names, with and without arguments.
        {"rundll32.exe url.dll,FileProtocolHandler %1", "rundll32.exe",
         "\"rundll32.exe\" url.dll,FileProtocolHandler  "},
        {"browser.exe", "browser.exe", "\"browser.exe\" "},
        // No placeholder: one blank and the address appended.
        {"\"C:\\windows\\system32\\winebrowser.exe\" -nohome", "C:\\windows\\system32\\winebrowser.exe",
         "\"C:\\windows\\system32\\winebrowser.exe\" -nohome "},
        // The quoted placeholder is looked for first, wherever it is.
        {"b.exe %1 \"%1\"", "b.exe", "\"b.exe\" %1  "},
        {"b.exe \"%1", "b.exe", "\"b.exe\" \" "},
        // No program at all.
        {"%1", "%1", "\"%1\" "},
        {"", "", "\"\" "},
        {"   ", "", "\"\" "},
        {"\"C:\\unclosed.exe %1", "", "\"\" "},
    };
    for (const Case& c : cases) {
        const ui::BrowserTemplate browser = ui::SplitBrowserCommand(c.commandTemplate, isFile);
        EXPECT_EQ(browser.program, c.program) << c.commandTemplate;
        EXPECT_EQ(ui::BrowserCommandLine(browser, url), c.commandLine + url) << c.commandTemplate;
    }
}

}  // namespace
