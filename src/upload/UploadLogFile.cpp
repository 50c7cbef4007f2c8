#include "upload/UploadLogFile.h"

#include <windows.h>
#include <shlobj.h>

#include <utility>

#include "rtl/Clock.h"
#include "upload/UploadLog.h"

namespace upload {

namespace {

constexpr char kFileName[] = "teskaprs.log";

// A handle closed whatever happens.
struct FileHandle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~FileHandle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

HANDLE OpenForAppend(const std::string& path) {
    // Others may read, append or rename it meanwhile (an editor showing it).
    return CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Makes room at the cap and returns the log to write the line into. The log
// becomes the older file. Where it cannot be renamed (a viewer holds it, or
// the older file, without delete sharing) its text is copied over the older
// file instead and the log starts afresh; where even that copy fails the
// log starts afresh all the same. Either way the cap holds and new lines
// get in: a viewer left open must not stop the log for good.
HANDLE RollOver(const std::string& path, const std::string& older) {
    if (MoveFileExA(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING)) return OpenForAppend(path);
    CopyFileA(path.c_str(), older.c_str(), FALSE);
    return CreateFileA(path.c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TUploadLog::TUploadLog() : folder_(DefaultFolder()) {}

TUploadLog::TUploadLog(std::string folder) : folder_(std::move(folder)) {}

TUploadLog::~TUploadLog() { Flush(); }

void TUploadLog::Flush() noexcept {
    try {
        const rtl::TimePoint now = rtl::Now();
        const std::vector<std::string> lines = repeats_.Flush(now);
        if (lines.empty() || folder_.empty()) return;
        for (const std::string& line : lines) Append(FormatLogLine(now, line));
    } catch (...) {
    }
}

std::string TUploadLog::DefaultFolder() {
    char base[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)) && base[0])
        return std::string(base) + "\\Teskaprs";
    const DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", base, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return std::string(base) + "\\Teskaprs";
    return "";
}

std::string TUploadLog::FilePath() const { return folder_ + "\\" + kFileName; }

std::string TUploadLog::OlderFilePath() const { return FilePath() + ".1"; }

void TUploadLog::Write(const std::string& event) noexcept {
    try {
        if (folder_.empty()) return;
        const rtl::TimePoint now = rtl::Now();
        const std::vector<std::string> lines = repeats_.Take(now, event);
        for (const std::string& line : lines)
            if (!Append(FormatLogLine(now, line)) && line == event) repeats_.Unwritten(event);
    } catch (...) {
        // Out of memory, or a clock that fails: the line is dropped.
    }
}

bool TUploadLog::Append(const std::string& line) {
    // Only the last level is created: the user's local application data
    // folder is the system's.
    CreateDirectoryA(folder_.c_str(), nullptr);
    const std::string path = FilePath();
    FileHandle file;
    file.h = OpenForAppend(path);
    if (file.h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.h, &size)) return false;
    if (LogNeedsRollOver(static_cast<std::uint64_t>(size.QuadPart), line.size())) {
        CloseHandle(file.h);
        file.h = INVALID_HANDLE_VALUE;
        file.h = RollOver(path, OlderFilePath());
        if (file.h == INVALID_HANDLE_VALUE) return false;
    }
    DWORD written = 0;
    return WriteFile(file.h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size();
}

}  // namespace upload
