#include "upload/Intake.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <new>

#include "rtl/Application.h"
#include "rtl/Files.h"
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
    // Closed however the look ends, a failure inside it too.
    const rtl::FileHandle held(
        CreateFileW(rtl::Wide(reportPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING,
                    FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT |
                        SECURITY_IDENTIFICATION,
                    nullptr));
    HANDLE file = held.Get();
    if (!held.Valid()) {
        look.error = GetLastError();
        return look;
    }
    const bool onDisk = GetFileType(file) == FILE_TYPE_DISK;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!onDisk || !GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) ||
        !IsPlainReportFile(tag.FileAttributes, tag.ReparseTag, onDisk)) {
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
    if (!ok) return look;

    bytes.resize(filled);
    look.readable = true;
    look.bytes = std::move(bytes);
    look.changedWhileRead = !(before == after);
    constexpr ULONGLONG kTwoSeconds = 2 * 10000000ULL;
    const ULONGLONG nowTicks = FileTimeOf(now);
    look.quietForTwoSeconds = after.lastWrite <= nowTicks && nowTicks - after.lastWrite >= kTwoSeconds;
    look.lastWrite = WriteTimeOf(after.lastWrite);
    return look;
}

namespace {

std::mutex lookerLock;
ReportLooker testLooker;

// A thread that takes looks one at a time, shared with the window's thread:
// made once and reused. One whose look did not end in time is abandoned: it
// ends once its look has returned, and the next look gets a new worker.
struct LookWorker {
    HANDLE request = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // a look is asked for
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);      // the look asked for has ended
    std::atomic<bool> abandoned{false};
    // The look asked for, and its result.
    ReportLooker looker;
    std::string path;
    rtl::TimePoint now;
    ReportLook look;
    ~LookWorker() {
        if (request) CloseHandle(request);
        if (done) CloseHandle(done);
    }
};

// A look that fails in itself (out of memory, say) is an unreadable report,
// never the end of the program.
ReportLook LookGuarded(const LookWorker& work) {
    try {
        return work.looker ? work.looker(work.path, work.now) : LookAtReport(work.path, work.now);
    } catch (const std::bad_alloc&) {
        ReportLook failed;
        failed.error = ERROR_NOT_ENOUGH_MEMORY;
        return failed;
    } catch (...) {
        ReportLook failed;
        failed.error = ERROR_GEN_FAILURE;
        return failed;
    }
}

DWORD WINAPI RunLooks(void* parameter) {
    const std::unique_ptr<std::shared_ptr<LookWorker>> held(static_cast<std::shared_ptr<LookWorker>*>(parameter));
    LookWorker& work = **held;
    for (;;) {
        WaitForSingleObject(work.request, INFINITE);
        if (work.abandoned) return 0;
        work.look = LookGuarded(work);
        SetEvent(work.done);
        if (work.abandoned) return 0;
    }
}

// The window's thread's side: the worker in use, and the one abandoned
// while its look may still run (with its thread, kept until that look ends).
struct Workers {
    bool looking = false;  // a look is under way (its caller handles messages meanwhile)
    std::shared_ptr<LookWorker> current;
    HANDLE currentThread = nullptr;
    std::shared_ptr<LookWorker> stuck;
    HANDLE stuckThread = nullptr;
};

Workers& TheWorkers() {
    static Workers workers;
    return workers;
}

// A worker ready for a look; none when none can be made.
bool EnsureWorker(Workers& workers) {
    if (workers.current) return true;
    auto worker = std::make_shared<LookWorker>();
    if (!worker->request || !worker->done) return false;
    auto* forThread = new std::shared_ptr<LookWorker>(worker);
    HANDLE thread = CreateThread(nullptr, 0, RunLooks, forThread, 0, nullptr);
    if (!thread) {
        delete forThread;
        return false;
    }
    workers.current = std::move(worker);
    workers.currentThread = thread;
    return true;
}

}  // namespace

void SetReportLookerForTests(ReportLooker looker) {
    std::lock_guard<std::mutex> hold(lookerLock);
    testLooker = std::move(looker);
}

bool WaitForAbandonedLookForTests(unsigned long timeoutMs) {
    const Workers& workers = TheWorkers();
    return !workers.stuckThread || WaitForSingleObject(workers.stuckThread, timeoutMs) == WAIT_OBJECT_0;
}

std::optional<ReportLook> LookAtReportOffThread(const std::string& reportPath, rtl::TimePoint now,
                                                unsigned long deadlineMs, NoLook* why) {
    Workers& workers = TheWorkers();
    if (why) *why = NoLook::StillRunning;
    // One look at a time: none starts from a message handled while another
    // is under way (the worker serves one), and while an abandoned look
    // still runs, none either (a share whose computer is off would
    // otherwise gather a thread at every attempt).
    if (workers.looking) return std::nullopt;
    if (workers.stuck) {
        if (WaitForSingleObject(workers.stuck->done, 0) != WAIT_OBJECT_0) return std::nullopt;
        CloseHandle(workers.stuckThread);
        workers.stuck.reset();
        workers.stuckThread = nullptr;
    }
    if (!EnsureWorker(workers)) return LookAtReport(reportPath, now);  // no thread to spare: the look here
    LookWorker& work = *workers.current;
    {
        std::lock_guard<std::mutex> hold(lookerLock);
        work.looker = testLooker;
    }
    work.path = reportPath;
    work.now = now;
    ResetEvent(work.done);
    SetEvent(work.request);
    // Marked under way until the look has ended or been given up.
    workers.looking = true;
    const struct Over {
        bool& looking;
        ~Over() { looking = false; }
    } over{workers.looking};
    if (rtl::PumpMessagesUntilSignalled(work.done, deadlineMs)) return work.look;
    if (why) *why = NoLook::TimedOut;
    // Not in time (or the program is ending): the stuck call is cancelled
    // where it can be, and the worker left to end on its own.
    work.abandoned = true;
    SetEvent(work.request);
    CancelSynchronousIo(workers.currentThread);
    workers.stuck = std::move(workers.current);
    workers.stuckThread = workers.currentThread;
    workers.currentThread = nullptr;
    return std::nullopt;
}

}  // namespace upload
