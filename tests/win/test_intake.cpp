// Taking a reading of the weather report on real files under Wine: the
// existence test, the copy to the working copy, reading it, and every way
// that can fail without a word.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "TestSupport.h"
#include "rtl/SpinRules.h"
#include "rtl/Text.h"
#include "upload/Intake.h"
#include "upload/Packet.h"

using namespace std::string_literals;
using testsupport::TempFolder;
using upload::TakeReading;
using upload::UploadState;

namespace {

const std::string kL1 = "Jan 05 2008 14:30";
const std::string kL2 = "180/005g010t065r000p000P000h55b10150";
const std::string kExamplePacket =
    "CW1234>APRS,TCPXX*:@051430z5128.50N/00007.25W_180/005g010t065r000p000P000h55b10150v31\r\n";

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The settings of the worked example, read from the fields' text the way the
// window reads them.
upload::PacketSettings ExampleSettings() {
    upload::PacketSettings s;
    s.callsign = "CW1234";
    s.validation = "-1";
    s.latDeg = rtl::ReadIntegerField("51", 0);
    s.latMin = rtl::ReadIntegerField("28", 0);
    s.latSec = rtl::ReadDecimalField("30.000", '.');
    s.lonDeg = rtl::ReadIntegerField("0", 0);
    s.lonMin = rtl::ReadIntegerField("7", 0);
    s.lonSec = rtl::ReadDecimalField("15,000", ',');
    s.modelIndex = 4;
    s.modelText = "Davis Vantage Pro";
    return s;
}

// The packet is exactly one line ending in CR LF.
void ExpectOneLine(const std::string& packet, const std::string& what) {
    ASSERT_GE(packet.size(), 2u) << what;
    EXPECT_EQ(packet.substr(packet.size() - 2), "\r\n") << what;
    for (std::size_t i = 0; i + 2 < packet.size(); ++i)
        ASSERT_FALSE(rtl::IsControl(packet[i])) << what << ": control character " << int(packet[i]) << " at " << i;
}

class Intake : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(errors.shown.empty()) << "an intake failure must stay silent"; }

    testsupport::ErrorRecorder errors;
    TempFolder folder;
    UploadState state;
};

TEST_F(Intake, ReportFilesOfEveryShape) {
    std::string binary;
    unsigned seed = 12345;
    for (int i = 0; i < 8192; ++i) {
        seed = seed * 1103515245u + 12345u;
        binary += static_cast<char>(seed >> 16);
    }
    std::string filler;
    while (filler.size() < 10 * 1024 * 1024) filler += "further line that nobody reads\r\n";
    const std::string longLine(100 * 1024, 'x');

    struct Case {
        const char* what;
        std::string bytes;
        std::optional<std::string> timestamp, weather;  // none: only the packet's shape is checked
    };
    const Case cases[] = {
        {"CR LF", kL1 + "\r\n" + kL2 + "\r\n", kL1, kL2},
        {"LF only", kL1 + "\n" + kL2 + "\n", kL1, kL2},
        {"CR only", kL1 + "\r" + kL2 + "\r", kL1, kL2},
        {"empty", "", "", ""},
        {"one line", kL1 + "\r\n", kL1, ""},
        {"Ctrl-Z", kL1 + "\r\n\x1a" + kL2, kL1, ""},
        {"NUL bytes", kL1 + "\0\r\n"s + kL2 + "\0\0\0\0"s, kL1 + "\0"s, kL2 + "\0\0\0\0"s},
        {"binary", binary, std::nullopt, std::nullopt},
        {"10 MB of lines", kL1 + "\r\n" + kL2 + "\r\n" + filler, kL1, kL2},
        // Only the head of the working copy is read: a first line longer
        // than that is cut where the reading stops.
        {"10 MB, first line 100 KB", longLine + "\r\n" + kL2 + "\r\n" + filler,
         std::string(upload::kReportReadLimit, 'x'), ""},
        {"10 MB without line ends", std::string(10 * 1024 * 1024, 'y'), std::string(upload::kReportReadLimit, 'y'), ""},
    };
    for (const auto& c : cases) {
        const std::string report = folder.Write("wxreport.txt", c.bytes);
        state = UploadState{};
        state.CurrentPacket = "old packet\r\n";

        const std::optional<upload::ReportLines> lines = TakeReading(state, report);

        ASSERT_TRUE(lines.has_value()) << c.what;
        EXPECT_TRUE(state.UploadBusy) << c.what << ": the attempt goes on";
        EXPECT_EQ(state.CurrentPacket, "") << c.what;
        // The copy copies the whole file, however little of it is read.
        EXPECT_TRUE(TempFolder::Read(folder.File("wxreport2.txt")) == c.bytes) << c.what;
        if (c.timestamp) {
            EXPECT_EQ(lines->timestamp, *c.timestamp) << c.what;
        }
        if (c.weather) {
            EXPECT_EQ(lines->weather, *c.weather) << c.what;
        }
        ExpectOneLine(upload::ComposePacket(lines->timestamp, lines->weather, ExampleSettings()), c.what);
    }
}

TEST_F(Intake, UnixLineEndsGiveTheWorkedExample) {
    const std::string report = folder.Write("wxreport.txt", kL1 + "\n" + kL2 + "\n");
    const auto lines = TakeReading(state, report);
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(upload::ComposePacket(lines->timestamp, lines->weather, ExampleSettings()), kExamplePacket);
}

TEST_F(Intake, AnOlderWorkingCopyIsReplaced) {
    folder.Write("wxreport2.txt", "Dec 31 1999 23:59\r\nold weather that is much longer than the new one\r\n");
    const std::string bytes = kL1 + "\r\n" + kL2 + "\r\n";
    const std::string report = folder.Write("wxreport.txt", bytes);
    const auto lines = TakeReading(state, report);
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(lines->timestamp, kL1);
    EXPECT_EQ(lines->weather, kL2);
    EXPECT_EQ(TempFolder::Read(folder.File("wxreport2.txt")), bytes);
}

TEST_F(Intake, NoReportNothingHappens) {
    CreateDirectoryA(folder.File("data").c_str(), nullptr);
    folder.Write("data\\inside.txt", kL1 + "\r\n" + kL2);
    const std::string paths[] = {
        folder.File("missing.txt"),
        folder.File("data"),          // a folder is no report
        folder.File("data") + "\\",
        "",
        folder.File("data\\inside.txt") + "\0x"s,  // a NUL cannot be in a file name
    };
    for (const auto& path : paths) {
        state = UploadState{};
        state.CurrentPacket = "old packet\r\n";
        EXPECT_FALSE(TakeReading(state, path).has_value()) << path;
        EXPECT_FALSE(state.UploadBusy) << path;
        EXPECT_EQ(state.CurrentPacket, "old packet\r\n") << path;
    }
    EXPECT_FALSE(Exists(folder.File("wxreport2.txt")));
    EXPECT_FALSE(Exists(folder.File("data\\wxreport2.txt")));
}

TEST_F(Intake, WhileBusyNothingIsTouched) {
    const std::string report = folder.Write("wxreport.txt", kL1 + "\r\n" + kL2);
    state.UploadBusy = true;
    state.CurrentPacket = "packet in flight\r\n";
    EXPECT_FALSE(TakeReading(state, report).has_value());
    EXPECT_TRUE(state.UploadBusy);
    EXPECT_EQ(state.CurrentPacket, "packet in flight\r\n");
    EXPECT_FALSE(Exists(folder.File("wxreport2.txt"))) << "no copy while an attempt is under way";
}

TEST_F(Intake, FailedCopyEndsTheAttemptAndKeepsThePacket) {
    const std::string report = folder.Write("wxreport.txt", kL1 + "\r\n" + kL2);

    // The working copy's name is taken by a folder.
    ASSERT_TRUE(CreateDirectoryA(folder.File("wxreport2.txt").c_str(), nullptr));
    state.CurrentPacket = "last packet\r\n";
    EXPECT_FALSE(TakeReading(state, report).has_value());
    EXPECT_FALSE(state.UploadBusy);
    EXPECT_EQ(state.CurrentPacket, "last packet\r\n");
    ASSERT_TRUE(RemoveDirectoryA(folder.File("wxreport2.txt").c_str()));

    // The report is held open by a program that shares nothing. An older
    // working copy is not read in its place.
    folder.Write("wxreport2.txt", "Dec 31 1999 23:59\r\nold\r\n");
    HANDLE held = CreateFileA(report.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(TakeReading(state, report).has_value());
    EXPECT_FALSE(state.UploadBusy);
    EXPECT_EQ(state.CurrentPacket, "last packet\r\n");
    CloseHandle(held);

    // Released, the next attempt goes through.
    const auto lines = TakeReading(state, report);
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(lines->weather, kL2);
}

TEST_F(Intake, WorkingCopyThatCannotBeReadEndsTheAttemptWithoutAPacket) {
    const std::string report = folder.Write("wxreport.txt", kL1 + "\r\n" + kL2);
    const std::string working = folder.Write("wxreport2.txt", "older copy\r\n");
    // Another program writes the working copy and lets others write it too,
    // but not read it: the copy goes through, the reading cannot open it.
    HANDLE held = CreateFileA(working.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    state.CurrentPacket = "last packet\r\n";
    EXPECT_FALSE(TakeReading(state, report).has_value());
    EXPECT_FALSE(state.UploadBusy);
    EXPECT_EQ(state.CurrentPacket, "") << "emptied before the reading";
    CloseHandle(held);
    EXPECT_EQ(TempFolder::Read(working), kL1 + "\r\n" + kL2) << "the copy itself went through";
}

TEST_F(Intake, AReadOnlyOrHiddenReportUploadsEveryReading) {
    // The copy passes the report's attributes on to the working copy; every
    // later copy must still replace it.
    struct Case {
        const char* what;
        DWORD attributes;
    };
    const Case cases[] = {
        {"read-only", FILE_ATTRIBUTE_READONLY},
        {"hidden", FILE_ATTRIBUTE_HIDDEN},
        {"system", FILE_ATTRIBUTE_SYSTEM},
        {"read-only, hidden and system", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    };
    for (const Case& c : cases) {
        TempFolder caseFolder;
        const std::string report = caseFolder.File("wxreport.txt");
        for (int reading = 1; reading <= 3; ++reading) {
            SCOPED_TRACE(c.what + " report, reading "s + std::to_string(reading));
            // The console writes a new reading; the report keeps its attributes.
            SetFileAttributesA(report.c_str(), FILE_ATTRIBUTE_NORMAL);
            const std::string l1 = "Jan 0" + std::to_string(reading) + " 2008 14:3" + std::to_string(reading);
            caseFolder.Write("wxreport.txt", l1 + "\r\n" + kL2 + "\r\n");
            ASSERT_TRUE(SetFileAttributesA(report.c_str(), c.attributes));
            ASSERT_EQ(GetFileAttributesA(report.c_str()) & c.attributes, c.attributes) << "set for real";

            state = UploadState{};
            const auto lines = TakeReading(state, report);
            ASSERT_TRUE(lines.has_value());
            EXPECT_TRUE(state.UploadBusy);
            EXPECT_EQ(lines->timestamp, l1);
            const std::string digits = std::to_string(reading);
            EXPECT_EQ(upload::ComposePacket(lines->timestamp, lines->weather, ExampleSettings()).substr(19, 8),
                      "@0" + digits + "143" + digits + "z");
        }
        EXPECT_EQ(GetFileAttributesA(report.c_str()) & c.attributes, c.attributes) << "the report is not touched";

        // Windows refuses every copy onto a read-only or hidden file; Wine
        // here (run as root) does not, but keeps the old file's attributes
        // on such a copy. That shows the working copy made plain before the
        // copy: once the report is plain again, so is its copy.
        ASSERT_TRUE(SetFileAttributesA(report.c_str(), FILE_ATTRIBUTE_NORMAL));
        state = UploadState{};
        ASSERT_TRUE(TakeReading(state, report).has_value());
        EXPECT_EQ(GetFileAttributesA(caseFolder.File("wxreport2.txt").c_str()) & c.attributes, 0u) << c.what;
    }
}

TEST_F(Intake, AReportNamedLikeTheWorkingCopyIsReadAsItIs) {
    // The copy onto itself fails; the report is its own working copy.
    const std::string bytes = kL1 + "\r\n" + kL2;
    for (const std::string name : {"wxreport2.txt", "WXREPORT2.TXT"}) {
        folder.Write("wxreport2.txt", bytes);
        state = UploadState{};
        const auto lines = TakeReading(state, folder.File(name));
        ASSERT_TRUE(lines.has_value()) << name;
        EXPECT_EQ(lines->weather, kL2) << name;
        EXPECT_EQ(TempFolder::Read(folder.File("wxreport2.txt")), bytes) << name;
    }
}

TEST_F(Intake, ReportInADriveRootOrWithoutAFolder) {
    // Both put the working copy into the root of the drive.
    const std::string rootCopy = "C:\\wxreport2.txt";
    DeleteFileA(rootCopy.c_str());
    const std::string name = "teskaprs-intake-" + std::to_string(GetCurrentProcessId()) + ".txt";

    const std::string inRoot = "C:\\" + name;
    {
        std::string bytes = kL1 + "\r\n" + kL2;
        HANDLE f = CreateFileA(inRoot.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(f);
    }
    const auto fromRoot = TakeReading(state, inRoot);
    DeleteFileA(inRoot.c_str());
    ASSERT_TRUE(fromRoot.has_value());
    EXPECT_EQ(fromRoot->weather, kL2);
    EXPECT_EQ(TempFolder::Read(rootCopy), kL1 + "\r\n" + kL2);
    DeleteFileA(rootCopy.c_str());

    // A bare file name: found in the current folder, copied to the root.
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_EQ(folder.Path().substr(0, 2), "C:") << "the temporary folder lies on drive C:";
    ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    folder.Write(name, kL1 + "\n" + "h77b10000\n");
    state = UploadState{};
    const auto bare = TakeReading(state, name);
    SetCurrentDirectoryA(previous);
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->weather, "h77b10000");
    EXPECT_EQ(TempFolder::Read(rootCopy), kL1 + "\n" + "h77b10000\n");
    EXPECT_FALSE(Exists(folder.File("wxreport2.txt")));
    DeleteFileA(rootCopy.c_str());
}

TEST_F(Intake, NumberRulesHoldInTheWindowsBuild) {
    // The same long double rules as natively, with the Windows runtime's
    // compiler and library: half-to-even, the carry, the field texts.
    EXPECT_EQ(upload::Hundredths(1.5L), 2);
    EXPECT_EQ(upload::Hundredths(4.5L), 8);
    EXPECT_EQ(upload::Hundredths(3), 5);
    EXPECT_EQ(upload::LatitudeDigits(51, 28, rtl::ReadDecimalField("59.800", '.')), "5129.00");
    EXPECT_EQ(upload::LongitudeDigits(0, 59, rtl::ReadDecimalField("59,9", ',')), "00100.00");
    EXPECT_EQ(rtl::FormatSeconds(rtl::ClampSeconds(75), '.'), "59.999");
    EXPECT_EQ(rtl::FormatSeconds(rtl::ReadDecimalField("1,5", ','), ','), "1,500");
    EXPECT_EQ(rtl::ReadIntegerField("", 10), 10);
    EXPECT_EQ(upload::ComposePacket(kL1, kL2, ExampleSettings()), kExamplePacket);
}

}  // namespace
