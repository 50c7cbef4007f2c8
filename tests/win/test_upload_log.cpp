// The upload log file: where it is, its lines in order, the roll-over at
// 1 MiB (also where the log cannot be renamed), and writes that cannot be
// done being dropped without a sound.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "TestSupport.h"
#include "rtl/Clock.h"
#include "upload/UploadLog.h"
#include "upload/UploadLogFile.h"

namespace {

using testsupport::TempFolder;
using upload::TUploadLog;

// The start of every log: UTF-8's byte-order mark.
const std::string kBom = "\xEF\xBB\xBF";

class UploadLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        // 2026-12-07 12:34:56 UTC, a second later at every reading.
        rtl::SetTimeSource([this] { return std::chrono::system_clock::from_time_t(1796646896 + ticks_++); });
    }
    void TearDown() override { rtl::SetTimeSource({}); }
    // The size of a file, or -1 when there is none.
    static long long SizeOf(const std::string& path) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
        return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    TempFolder folder;
    long long ticks_ = 0;
};

TEST_F(UploadLogTest, TheUsersLocalApplicationDataFolder) {
    char local[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH), 0u);
    EXPECT_EQ(_stricmp(TUploadLog::DefaultFolder().c_str(), (std::string(local) + "\\Teskaprs").c_str()), 0)
        << TUploadLog::DefaultFolder();
    const TUploadLog log;
    EXPECT_EQ(log.FilePath(), TUploadLog::DefaultFolder() + "\\teskaprs.log");
    EXPECT_EQ(log.OlderFilePath(), TUploadLog::DefaultFolder() + "\\teskaprs.log.1");
}

TEST_F(UploadLogTest, OneLinePerEventInOrderInAFolderMadeForIt) {
    TUploadLog log(folder.File("Teskaprs"));
    log.Write(upload::LogConnecting({"127.0.0.1", "14580"}));
    log.Write("login unverified by server T2TEST");
    log.Write("delivered to 127.0.0.1:14580: CW1234>APRS,TCPXX*:@071234z\r\n");
    EXPECT_EQ(TempFolder::Read(log.FilePath()),
              kBom + "2026-12-07T12:34:56Z connecting to 127.0.0.1:14580\r\n"
              "2026-12-07T12:34:57Z login unverified by server T2TEST\r\n"
              "2026-12-07T12:34:58Z delivered to 127.0.0.1:14580: CW1234>APRS,TCPXX*:@071234z\r\n");
    // Appended to by a later run, never replaced.
    TUploadLog(folder.File("Teskaprs")).Write("connecting to 127.0.0.1:14580");
    EXPECT_EQ(TempFolder::Read(log.FilePath()).substr(191), "2026-12-07T12:34:59Z connecting to 127.0.0.1:14580\r\n");
}

TEST_F(UploadLogTest, RollsOverBeforeALineWouldPass1MiB) {
    TUploadLog log(folder.Path());
    const std::string line = "2026-12-07T12:34:56Z x\r\n";  // what Write("x") adds: 24 bytes
    // Exactly full after the line: no roll-over.
    const std::string almost = kBom + std::string(upload::kLogCap - line.size() - kBom.size(), 'a');
    folder.Write("teskaprs.log", almost);
    folder.Write("teskaprs.log.1", "the older file");
    log.Write("x");
    EXPECT_EQ(SizeOf(log.FilePath()), static_cast<long long>(upload::kLogCap));
    EXPECT_EQ(TempFolder::Read(log.OlderFilePath()), "the older file");
    // One byte more would pass the cap: the log becomes the older file (the
    // one before it goes) and the line starts a new log.
    log.Write("y");
    EXPECT_EQ(SizeOf(log.OlderFilePath()), static_cast<long long>(upload::kLogCap));
    EXPECT_EQ(TempFolder::Read(log.FilePath()), kBom + "2026-12-07T12:34:57Z y\r\n");
    // An earlier version's log, without the mark, becomes the older file whole.
    folder.Write("teskaprs.log", "2026-12-06T10:00:00Z caf\xE9\r\n");
    log.Write("z");
    EXPECT_EQ(TempFolder::Read(log.OlderFilePath()), "2026-12-06T10:00:00Z caf\xE9\r\n");
    EXPECT_EQ(TempFolder::Read(log.FilePath()), kBom + "2026-12-07T12:34:58Z z\r\n");
}

TEST_F(UploadLogTest, AWriteThatCannotBeDoneIsDropped) {
    // A file where the folder should be.
    folder.Write("Teskaprs", "not a folder");
    TUploadLog blocked(folder.File("Teskaprs"));
    EXPECT_NO_THROW(blocked.Write("connecting to 127.0.0.1:14580"));
    EXPECT_EQ(TempFolder::Read(folder.File("Teskaprs")), "not a folder");

    // A folder that cannot be made (its parent is missing), and no folder at all.
    EXPECT_NO_THROW(TUploadLog(folder.File("missing\\deeper")).Write("x"));
    EXPECT_EQ(GetFileAttributesA(folder.File("missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NO_THROW(TUploadLog("").Write("x"));

    // A log held open by another program without sharing. (A read-only log
    // cannot be produced here: Wine runs as root, which writes it anyway.)
    TUploadLog log(folder.Path());
    folder.Write("teskaprs.log", kBom + "kept\r\n");
    HANDLE held = CreateFileA(log.FilePath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NO_THROW(log.Write("x"));
    CloseHandle(held);
    EXPECT_EQ(TempFolder::Read(log.FilePath()), kBom + "kept\r\n");
    log.Write("x");  // not a repeat: it never got in
    EXPECT_EQ(TempFolder::Read(log.FilePath()).substr(29), " x\r\n");

    // A log that is a second name of another file (of the system's, say):
    // nothing is written through it.
    const std::string other = folder.Write("other", kBom);
    ASSERT_TRUE(DeleteFileA(log.FilePath().c_str()));
    ASSERT_TRUE(CreateHardLinkA(log.FilePath().c_str(), other.c_str(), nullptr));
    log.Write("linked");
    EXPECT_EQ(TempFolder::Read(other), kBom);
    ASSERT_TRUE(DeleteFileA(log.FilePath().c_str()));

    // At the roll-over, a file that cannot be renamed: the line still gets
    // in, the log starting afresh. A viewer holding the log without delete
    // sharing: its text becomes the older file, unless that has a second
    // name. The older file held without any sharing: it stays as it was.
    struct Case {
        const char* what;
        bool holdLog;
        const char* older;
        bool olderLinked = false;
    };
    const Case cases[] = {{"log held by a viewer", true, nullptr},
                          {"older file held", false, "older"},
                          {"log held, older file a second name", true, "older", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folder.Write("teskaprs.log", kBom + std::string(upload::kLogCap - kBom.size(), 'a'));
        folder.Write("teskaprs.log.1", "older");
        if (c.olderLinked) {
            ASSERT_TRUE(CreateHardLinkA(folder.File("older").c_str(), log.OlderFilePath().c_str(), nullptr));
        }
        held = c.holdLog ? CreateFileA(log.FilePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr)
                         : CreateFileA(log.OlderFilePath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                       nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        log.Write(c.what);
        const std::string last = TempFolder::Read(log.FilePath());
        CloseHandle(held);
        EXPECT_EQ(last.substr(23), std::string(" ") + c.what + "\r\n");
        if (c.older) {
            EXPECT_EQ(TempFolder::Read(log.OlderFilePath()), c.older);
        } else {
            EXPECT_EQ(SizeOf(log.OlderFilePath()), static_cast<long long>(upload::kLogCap));
        }
    }
}

// The outage log summary through the real writer: refusals by four hosts in turn every ten seconds, the
// first line the last that fits in a full log. Three minutes add at most a dozen lines; a week keeps it.
TEST_F(UploadLogTest, AWeekOfRefusalsStaysShortAndKeepsItsFirstLine) {
    TUploadLog log(folder.Path());
    const std::string first = "2026-12-07T12:34:56Z connecting to cwop0.aprs.net:14580\r\n";
    folder.Write("teskaprs.log", kBom + std::string(upload::kLogCap - first.size() - kBom.size(), 'a'));
    auto both = [&] { return TempFolder::Read(log.OlderFilePath()) + TempFolder::Read(log.FilePath()); };
    for (long long attempt = 0; attempt < 7 * 24 * 360; ticks_ = ++attempt * 10) {
        const upload::ServerEntry server{"cwop" + std::to_string(attempt % 4) + ".aprs.net", "14580"};
        log.Write(upload::LogConnecting(server));
        log.Write(upload::LogSessionFailed(upload::SessionFailure::Refused, server));
        const std::string text = attempt == 18 ? both() : "";
        ASSERT_LE(std::count(text.begin(), text.end(), '\n'), 12) << TempFolder::Read(log.FilePath());
    }
    EXPECT_NE(both().find(first), std::string::npos);
}

}  // namespace
