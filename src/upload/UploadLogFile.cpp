#include "upload/UploadLogFile.h"

#include <windows.h>
#include <shlobj.h>

#include <utility>

#include "rtl/Clock.h"
#include "rtl/Utf.h"
#include "upload/UploadLog.h"

namespace upload {

namespace {

constexpr char kFileName[] = "teskaprs.log";
// The log is UTF-8, and says so at its start for the editors that guess.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr DWORD kByteOrderMarkSize = 3;

// A handle closed whatever happens.
struct FileHandle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~FileHandle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

HANDLE OpenForAppend(const std::string& path) {
    // Others may read, append or rename it meanwhile (an editor showing it).
    // Read too: its start tells whether it is a log of this program's.
    return CreateFileW(rtl::Wide(path).c_str(), FILE_READ_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
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
    const std::wstring widePath = rtl::Wide(path), wideOlder = rtl::Wide(older);
    if (MoveFileExW(widePath.c_str(), wideOlder.c_str(), MOVEFILE_REPLACE_EXISTING)) return OpenForAppend(path);
    CopyFileW(widePath.c_str(), wideOlder.c_str(), FALSE);
    return CreateFileW(widePath.c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether a log that is not empty was written in the system's code page by
// an earlier version: it does not start with the byte-order mark. A start
// that cannot be read is taken as this program's (the log stays as it is).
bool IsEarlierLog(HANDLE file) {
    char start[kByteOrderMarkSize] = {};
    OVERLAPPED at{};  // from the first byte, whatever the file position
    DWORD got = 0;
    if (!ReadFile(file, start, kByteOrderMarkSize, &got, &at)) return false;
    return std::string(start, got) != kByteOrderMark;
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
    wchar_t base[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)) && base[0])
        return rtl::Narrow(base) + "\\Teskaprs";
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return rtl::Narrow(base) + "\\Teskaprs";
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
    CreateDirectoryW(rtl::Wide(folder_).c_str(), nullptr);
    const std::string path = FilePath();
    FileHandle file;
    file.h = OpenForAppend(path);
    if (file.h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.h, &size)) return false;
    // An earlier version's log is kept whole as the older file, so this
    // one is UTF-8 from its first byte.
    if ((size.QuadPart > 0 && IsEarlierLog(file.h)) ||
        LogNeedsRollOver(static_cast<std::uint64_t>(size.QuadPart), line.size())) {
        CloseHandle(file.h);
        file.h = INVALID_HANDLE_VALUE;
        file.h = RollOver(path, OlderFilePath());
        if (file.h == INVALID_HANDLE_VALUE) return false;
        size.QuadPart = 0;
    }
    const std::string text = size.QuadPart == 0 ? kByteOrderMark + line : line;
    DWORD written = 0;
    return WriteFile(file.h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

}  // namespace upload
