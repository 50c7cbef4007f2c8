#include "upload/Intake.h"

#include <windows.h>

#include <chrono>

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

bool ReportExists(const std::string& reportPath) {
    if (reportPath.find('\0') != std::string::npos) return false;  // not a name the file system knows
    const DWORD attributes = GetFileAttributesA(reportPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

ReportLook LookAtReport(const std::string& reportPath, rtl::TimePoint now) {
    ReportLook look;
    if (reportPath.find('\0') != std::string::npos) {
        look.error = ERROR_INVALID_NAME;
        return look;
    }
    HANDLE file = CreateFileA(reportPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        look.error = GetLastError();
        return look;
    }
    FileState before, after;
    bool ok = true;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        look.error = ERROR_INVALID_FUNCTION;
        ok = false;
    } else if (!StateOf(file, before)) {
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

}  // namespace upload
