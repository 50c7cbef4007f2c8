// The configuration file on real files under Wine: where it lives, writing
// it over an old one, every way a save can fail without harming the old
// file, and reading it back.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "config/ConfigFile.h"
#include "config/ConfigFileIO.h"
#include "rtl/Exceptions.h"

using config::ReadConfigFile;
using config::WriteConfigFile;
using testsupport::MessageOf;
using testsupport::TempFolder;

namespace {

const std::string kLine =
    "C:\\Weather\\wxreport.txt,51,30,12.5,0,7,45,0,0,N0CALL,-1,10,Davis Vantage Pro,,,Y,N,Y";

// The names in a folder, sorted.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WriteFailure(const std::string& path, const std::string& text) {
    return MessageOf<rtl::EInOutError>([&] { WriteConfigFile(path, text); });
}

std::string ReadFailure(const std::string& path) {
    return MessageOf<rtl::EInOutError>([&] { ReadConfigFile(path); });
}

TEST(ConfigFileIO, PathIsBesideTheProgram) {
    const std::string path = config::ConfigFilePath();
    const std::size_t slash = path.rfind('\\');
    ASSERT_NE(slash, std::string::npos) << path;
    EXPECT_EQ(path.substr(slash + 1), "aprsconfig.txt");
    const std::string folder = path.substr(0, slash);
    EXPECT_TRUE(IsFolder(folder)) << folder;
    // This test program is in that folder.
    const auto names = Names(folder);
    EXPECT_NE(std::find(names.begin(), names.end(), "win_config_file_io.exe"), names.end()) << folder;
}

TEST(ConfigFileIO, WritesExactlyTheTextAndReadsItBack) {
    TempFolder folder;
    const std::string path = folder.File("aprsconfig.txt");
    WriteConfigFile(path, kLine);
    EXPECT_EQ(TempFolder::Read(path), kLine);  // no line end added
    EXPECT_EQ(ReadConfigFile(path), kLine);
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"aprsconfig.txt"});

    // Replacing a longer file leaves nothing of it behind.
    folder.Write("aprsconfig.txt", std::string(5000, 'x') + "\r\nsecond line\r\n");
    WriteConfigFile(path, "short");
    EXPECT_EQ(TempFolder::Read(path), "short");
    EXPECT_EQ(ReadConfigFile(path), "short");

    // Empty text: an empty file.
    WriteConfigFile(path, "");
    EXPECT_EQ(TempFolder::Read(path), "");
    EXPECT_EQ(ReadConfigFile(path), "");
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"aprsconfig.txt"});
}

TEST(ConfigFileIO, SettingsSurviveTheFile) {
    TempFolder folder;
    const std::string path = folder.File("aprsconfig.txt");
    config::ConfigValues values;
    values.fileLocation = "C:\\Wx Station\\wxreport.txt ";
    values.latDeg = 45;
    values.latSec = 59.999L;
    values.lonHem = 1;
    values.callsign = "cw1234";
    values.model = "Davis Vantage Pro";
    values.minimized = true;
    WriteConfigFile(path, config::FormatConfigLine(values));
    EXPECT_EQ(TempFolder::Read(path),
              "C:\\Wx Station\\wxreport.txt,45,0,59.999,0,0,0,0,1,cw1234,,10,Davis Vantage Pro,,,Y,Y,Y");
    // The program's own build writes the seconds as the portable tests expect.
    EXPECT_EQ(config::FormatConfigSeconds(12.5L), "12.5");
    EXPECT_EQ(config::FormatConfigSeconds(1.0L / 3.0L), "0.333333333333333");
    EXPECT_EQ(config::FormatConfigSeconds(59.9999999999999999L), "60");
    EXPECT_EQ(config::FormatConfigSeconds(0.000015L), "1.5E-5");

    const config::ConfigReading r = config::ParseConfigText(ReadConfigFile(path), {"Capricorn 2000", "Davis Vantage Pro"});
    EXPECT_EQ(r.fileLocation, "C:\\Wx Station\\wxreport.txt");
    EXPECT_EQ(r.latDeg, 45);
    EXPECT_EQ(r.latSec, 59.999L);
    EXPECT_EQ(r.lonHem, 1);
    EXPECT_EQ(r.callsign, "cw1234");
    EXPECT_EQ(r.modelIndex, 1);
    EXPECT_EQ(r.minimized, true);
    EXPECT_EQ(r.autoStart, true);

    // A file an earlier version wrote in the ANSI code page (Windows-1252
    // under the tests' Wine) reads as the same text.
    ASSERT_EQ(GetACP(), 1252u);
    const std::string ansi = folder.Write("ansi.txt", "C:\\Caf\xE9\\wxreport.txt,45");
    EXPECT_EQ(ReadConfigFile(ansi), "C:\\Caf\xC3\xA9\\wxreport.txt,45");
}

// Each way the save can fail: the message, the old file whole, and no
// temporary file left behind.
TEST(ConfigFileIO, FailedWriteLeavesTheOldFileWhole) {
    const std::string old = "old settings,1,2,3";

    {  // The folder does not exist.
        TempFolder folder;
        const std::string path = folder.File("missing\\aprsconfig.txt");
        EXPECT_EQ(WriteFailure(path, kLine), "Path not found");
        EXPECT_TRUE(Names(folder.Path()).empty());
    }
    {  // The old file is read-only.
        TempFolder folder;
        const std::string path = folder.Write("aprsconfig.txt", old);
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(WriteFailure(path, kLine), "File access denied");
        EXPECT_EQ(TempFolder::Read(path), old);
        EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"aprsconfig.txt"});
    }
    {  // A folder has the file's name.
        TempFolder folder;
        const std::string path = folder.File("aprsconfig.txt");
        ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
        folder.Write("aprsconfig.txt\\inside.txt", old);
        EXPECT_EQ(WriteFailure(path, kLine), "File access denied");
        EXPECT_TRUE(IsFolder(path));
        EXPECT_EQ(TempFolder::Read(path + "\\inside.txt"), old);
        EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"aprsconfig.txt"});
    }
    {  // Another program holds the old file open and does not share it.
        TempFolder folder;
        const std::string path = folder.Write("aprsconfig.txt", old);
        const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const std::string message = WriteFailure(path, kLine);
        CloseHandle(held);
        // The system refuses to replace a file in use: Wine and Windows say
        // access denied, a sharing violation would do as well.
        EXPECT_TRUE(message == "File access denied" || message == "I/O error 32") << message;
        EXPECT_EQ(TempFolder::Read(path), old);
        EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"aprsconfig.txt"});
        // Once it is let go, the save goes through.
        WriteConfigFile(path, kLine);
        EXPECT_EQ(TempFolder::Read(path), kLine);
    }
}

// What interrupted saves left goes at the next save; a read-only leftover
// and names that only look alike stay.
TEST(ConfigFileIO, LeftoverTemporaryFilesAreRemovedAtTheNextSave) {
    TempFolder folder;
    const std::string path = folder.Write("aprsconfig.txt", "old");
    const std::string stale0 = folder.Write("aprsconfig.txt.~0.tmp", "stale 0");
    ASSERT_TRUE(SetFileAttributesA(stale0.c_str(), FILE_ATTRIBUTE_READONLY));
    for (const char* name : {"aprsconfig.txt.~1.tmp", "aprsconfig.txt.~999.tmp", "aprsconfig.txt.~x.tmp",
                             "aprsconfig.txt.~.tmp", "aprsconfig.txt.~2.tmp.bak", "other.txt.~3.tmp"})
        folder.Write(name, "stale");

    WriteConfigFile(path, kLine);
    EXPECT_EQ(TempFolder::Read(path), kLine);
    EXPECT_EQ(TempFolder::Read(stale0), "stale 0");
    EXPECT_EQ(Names(folder.Path()),
              (std::vector<std::string>{"aprsconfig.txt", "aprsconfig.txt.~.tmp", "aprsconfig.txt.~0.tmp",
                                        "aprsconfig.txt.~2.tmp.bak", "aprsconfig.txt.~x.tmp", "other.txt.~3.tmp"}));
}

TEST(ConfigFileIO, ReadFailures) {
    TempFolder folder;
    EXPECT_EQ(ReadFailure(folder.File("aprsconfig.txt")), "File not found");
    EXPECT_EQ(ReadFailure(folder.File("missing\\aprsconfig.txt")), "Path not found");
    ASSERT_TRUE(CreateDirectoryA(folder.File("aprsconfig.txt").c_str(), nullptr));
    EXPECT_EQ(ReadFailure(folder.File("aprsconfig.txt")), "File access denied");
}

TEST(ConfigFileIO, ReadsWhileAnotherProgramWritesTheFile) {
    TempFolder folder;
    const std::string path = folder.Write("aprsconfig.txt", kLine);
    const HANDLE writer = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadConfigFile(path), kLine);
    CloseHandle(writer);
}

TEST(ConfigFileIO, ReadsEnoughForTheFirstLine) {
    TempFolder folder;
    // A long first line is read whole, up to the limit.
    const std::string longLine = std::string(300000, 'p') + ",51";
    std::string path = folder.Write("long.txt", longLine);
    EXPECT_EQ(ReadConfigFile(path), longLine);

    // Reading stops soon after the first line end.
    const std::string tail(3 * config::kConfigReadLimit, 'z');
    path = folder.Write("lines.txt", kLine + "\r\n" + tail);
    const std::string content = ReadConfigFile(path);
    EXPECT_EQ(content.substr(0, kLine.size() + 2), kLine + "\r\n");
    EXPECT_LT(content.size(), 64u * 1024u);
    path = folder.Write("lf.txt", kLine + "\n" + tail);
    EXPECT_EQ(ReadConfigFile(path).substr(0, kLine.size() + 1), kLine + "\n");

    // A file with no line end is read no further than the limit.
    path = folder.Write("huge.txt", tail);
    EXPECT_EQ(ReadConfigFile(path).size(), config::kConfigReadLimit);
}

TEST(ConfigFileIO, ErrorMessages) {
    struct Case {
        unsigned long code;
        std::string message;
    };
    const Case cases[] = {
        {ERROR_FILE_NOT_FOUND, "File not found"}, {ERROR_PATH_NOT_FOUND, "Path not found"},
        {ERROR_ACCESS_DENIED, "File access denied"}, {ERROR_DISK_FULL, "Disk full"},
        {ERROR_HANDLE_DISK_FULL, "Disk full"}, {ERROR_SHARING_VIOLATION, "I/O error 32"},
        {ERROR_INVALID_NAME, "I/O error 123"},
    };
    for (const auto& c : cases) EXPECT_EQ(config::InOutErrorMessage(c.code), c.message) << c.code;
}

}  // namespace
