#include "upload/Intake.h"

#include <windows.h>

#include <chrono>
#include <memory>
#include <mutex>

#include "rtl/Application.h"
#include "rtl/Utf.h"

namespace upload {

namespace {

struct FileState {
    ULONGLONG size = 0;
    ULONGLONG lastWrite = 0;  // FILETIME: 100 ns since 1601 (UTC)
    bool operator==(const FileState&) const = default;
};

bool StateOf(HANDLE file, FileState& state) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return false;
    state.size = (ULONGLONG{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    state.lastWrite = (ULONGLONG{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
    return true;
}

// FILETIME ticks of a point in time (the clock's epoch is 1970).
ULONGLONG FileTimeOf(rtl::TimePoint t) {
    constexpr long long kTicksFrom1601To1970 = 116444736000000000LL;
    const long long ticks =
        std::chrono::duration_cast<std::chrono::duration<long long, std::ratio<1, 10000000>>>(t.time_since_epoch())
            .count();
    return static_cast<ULONGLONG>(ticks + kTicksFrom1601To1970);
}

rtl::TimePoint TimePointOf(ULONGLONG fileTime) {
    constexpr long long kTicksFrom1601To1970 = 116444736000000000LL;
    const std::chrono::duration<long long, std::ratio<1, 10000000>> ticks(static_cast<long long>(fileTime) -
                                                                          kTicksFrom1601To1970);
    return rtl::TimePoint(std::chrono::duration_cast<rtl::TimePoint::duration>(ticks));
}

}  // namespace

ReportLook LookAtReport(const std::string& reportPath, rtl::TimePoint now) {
    ReportLook look;
    if (reportPath.find('\0') != std::string::npos) {  // not a name the file system knows
        look.missing = true;
        look.error = ERROR_INVALID_NAME;
        return look;
    }
    const DWORD attributes = GetFileAttributesW(rtl::Wide(reportPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        look.missing = true;
        look.error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY;
        return look;
    }
    // The file itself, not what a link points at; and a pipe server at the
    // other end of the name may identify the owner but never act as them.
    HANDLE file = CreateFileW(rtl::Wide(reportPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT |
                                  SECURITY_IDENTIFICATION,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        look.error = GetLastError();
        return look;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool onDisk = GetFileType(file) == FILE_TYPE_DISK;
    if (!onDisk || !GetFileInformationByHandle(file, &info) || !IsPlainReportFile(info.dwFileAttributes, onDisk)) {
        CloseHandle(file);
        look.notPlainFile = true;
        look.error = ERROR_INVALID_FUNCTION;
        return look;
    }
    FileState before, after;
    bool ok = true;
    if (!StateOf(file, before)) {
        look.error = GetLastError();
        ok = false;
    }
    std::string bytes(ok ? kReportReadLimit : 0, '\0');
    std::size_t filled = 0;
    while (ok && filled < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled), &got, nullptr)) {
            look.error = GetLastError();
            ok = false;
        } else if (got == 0) {
            break;  // end of file
        }
        filled += got;
    }
    if (ok && !StateOf(file, after)) {
        look.error = GetLastError();
        ok = false;
    }
    CloseHandle(file);
    if (!ok) return look;

    bytes.resize(filled);
    look.readable = true;
    look.bytes = std::move(bytes);
    look.changedWhileRead = !(before == after);
    constexpr ULONGLONG kTwoSeconds = 2 * 10000000ULL;
    const ULONGLONG nowTicks = FileTimeOf(now);
    look.quietForTwoSeconds = after.lastWrite <= nowTicks && nowTicks - after.lastWrite >= kTwoSeconds;
    look.lastWrite = TimePointOf(after.lastWrite);
    return look;
}

namespace {

std::mutex lookerLock;
ReportLooker testLooker;

// What a look off the window's thread shares with it: the thread holds it
// as long as it runs, however long the window waited.
struct OffThreadLook {
    ReportLooker looker;
    std::string path;
    rtl::TimePoint now;
    ReportLook look;
    HANDLE done = nullptr;
    ~OffThreadLook() {
        if (done) CloseHandle(done);
    }
};

DWORD WINAPI RunLook(void* parameter) {
    std::unique_ptr<std::shared_ptr<OffThreadLook>> state(static_cast<std::shared_ptr<OffThreadLook>*>(parameter));
    OffThreadLook& work = **state;
    work.look = work.looker ? work.looker(work.path, work.now) : LookAtReport(work.path, work.now);
    SetEvent(work.done);
    return 0;
}

}  // namespace

void SetReportLookerForTests(ReportLooker looker) {
    std::lock_guard<std::mutex> hold(lookerLock);
    testLooker = std::move(looker);
}

std::optional<ReportLook> LookAtReportOffThread(const std::string& reportPath, rtl::TimePoint now,
                                                unsigned long deadlineMs) {
    auto work = std::make_shared<OffThreadLook>();
    {
        std::lock_guard<std::mutex> hold(lookerLock);
        work->looker = testLooker;
    }
    work->path = reportPath;
    work->now = now;
    work->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!work->done) return LookAtReport(reportPath, now);  // no event to wait on: the look here
    auto* forThread = new std::shared_ptr<OffThreadLook>(work);
    HANDLE thread = CreateThread(nullptr, 0, RunLook, forThread, 0, nullptr);
    if (!thread) {
        delete forThread;
        return LookAtReport(reportPath, now);  // no thread to spare: the look here
    }
    CloseHandle(thread);
    if (!rtl::PumpMessagesUntilSignalled(work->done, deadlineMs)) return std::nullopt;
    return work->look;
}

}  // namespace upload
