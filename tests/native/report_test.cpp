// The report path's folder, the working copy's name, and the two lines read
// from a report's bytes.
#include <gtest/gtest.h>

#include <string>

#include "upload/Report.h"

using namespace std::string_literals;

namespace {

TEST(Report, FolderAndWorkingCopyName) {
    struct Case {
        std::string path, folder, workingCopy;
    };
    const Case cases[] = {
        {R"(C:\weather\data\wxreport.txt)", R"(C:\weather\data)", R"(C:\weather\data\wxreport2.txt)"},
        {R"(C:\data\wxreport.txt)", R"(C:\data)", R"(C:\data\wxreport2.txt)"},
        // The backslash of a drive root stays: two backslashes after the drive.
        {R"(C:\wxreport.txt)", R"(C:\)", R"(C:\\wxreport2.txt)"},
        // A double backslash stays as it is.
        {R"(C:\data\\wxreport.txt)", R"(C:\data\\)", R"(C:\data\\\wxreport2.txt)"},
        {R"(\\server\share\wxreport.txt)", R"(\\server\share)", R"(\\server\share\wxreport2.txt)"},
        // No folder at all: the root of the current drive.
        {"wxreport.txt", "", R"(\wxreport2.txt)"},
        {"", "", R"(\wxreport2.txt)"},
        // A drive without a backslash: the colon ends the folder.
        {"C:wxreport.txt", "C:", R"(C:\wxreport2.txt)"},
        {R"(\wxreport.txt)", R"(\)", R"(\\wxreport2.txt)"},
        {R"(C:\data\)", R"(C:\data)", R"(C:\data\wxreport2.txt)"},
        // Only "\" and ":" separate; "/" is part of a name.
        {"C:/data/wxreport.txt", "C:", R"(C:\wxreport2.txt)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(upload::ReportFolder(c.path), c.folder) << c.path;
        EXPECT_EQ(upload::WorkingCopyName(c.path), c.workingCopy) << c.path;
    }
}

TEST(Report, LineEnds) {
    struct Case {
        const char* what;
        std::string bytes, timestamp, weather;
    };
    const std::string t = "Jan 05 2008 14:30", w = "180/005g010t065r000p000P000h55b10150";
    const Case cases[] = {
        {"CR LF", t + "\r\n" + w + "\r\n", t, w},
        {"CR alone", t + "\r" + w + "\r", t, w},
        {"LF alone", t + "\n" + w + "\n", t, w},
        {"LF CR is one line end", t + "\n\r" + w + "\n\r", t, w},
        {"mixed", t + "\r\n" + w + "\n" + "third\r\n", t, w},
        {"no end after the last line", t + "\r\n" + w, t, w},
        {"further lines ignored", t + "\r\n" + w + "\r\nline 3\r\nline 4", t, w},
        {"empty line 1: CR LF CR LF", "\r\n\r\n" + w, "", ""},
        {"empty line 1: CR CR", "\r\r" + w, "", ""},
        {"empty line 1: LF LF", "\n\n" + w, "", ""},
        {"empty line 2 after CR LF", t + "\r\n\r\n" + w, t, ""},
        {"CR LF LF: empty line 2", t + "\r\n\n" + w, t, ""},
        {"LF CR CR: empty line 2", t + "\n\r\r" + w, t, ""},
        {"CR LF CR: empty line 2", t + "\r\n\r" + w, t, ""},
    };
    for (const auto& c : cases) {
        const upload::ReportLines lines = upload::ReadReportLines(c.bytes);
        EXPECT_EQ(lines.timestamp, c.timestamp) << c.what;
        EXPECT_EQ(lines.weather, c.weather) << c.what;
    }
}

TEST(Report, EndOfTextAndMissingLines) {
    struct Case {
        const char* what;
        std::string bytes, timestamp, weather;
    };
    const Case cases[] = {
        {"empty file", "", "", ""},
        {"one line without end", "Jan 05 2008 14:30", "Jan 05 2008 14:30", ""},
        {"one line with end", "Jan 05 2008 14:30\r\n", "Jan 05 2008 14:30", ""},
        {"Ctrl-Z ends the text in line 1", "Jan 05\x1a" " 2008\r\nh55b10150", "Jan 05", ""},
        {"Ctrl-Z ends the text in line 2", "a\r\nh55\x1a" "b10150\r\n", "a", "h55"},
        {"Ctrl-Z at the start", "\x1a" "a\r\nb", "", ""},
        {"Ctrl-Z after a CR", "a\r\x1a\nb", "a", ""},
        {"NUL bytes stay in the lines", "a\0b\r\n\0h55\0"s, "a\0b"s, "\0h55\0"s},
        {"other controls stay", "a\tb\x01\r\n\x7f", "a\tb\x01", "\x7f"},
        {"bytes above 127", "\xff\xfe\r\n\x80\x81", "\xff\xfe", "\x80\x81"},
    };
    for (const auto& c : cases) {
        const upload::ReportLines lines = upload::ReadReportLines(c.bytes);
        EXPECT_EQ(lines.timestamp, c.timestamp) << c.what;
        EXPECT_EQ(lines.weather, c.weather) << c.what;
    }
}

TEST(Report, LongLinesAreKeptWhole) {
    const std::string longLine(100000, 'x');
    const upload::ReportLines lines = upload::ReadReportLines(longLine + "\n" + longLine + "y\nz");
    EXPECT_EQ(lines.timestamp, longLine);
    EXPECT_EQ(lines.weather, longLine + "y");
}

}  // namespace
