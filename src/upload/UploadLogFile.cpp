#include "upload/UploadLogFile.h"

#include <windows.h>
#include <shlobj.h>
#include <winternl.h>

#include <cstring>
#include <utility>
#include <vector>

#include "rtl/Clock.h"
#include "rtl/Files.h"
#include "rtl/SystemLibrary.h"
#include "rtl/Utf.h"
#include "upload/UploadLog.h"

namespace upload {

namespace {

constexpr char kFileName[] = "teskaprs.log";
constexpr wchar_t kOlderFileName[] = L"teskaprs.log.1";
// The log is UTF-8, and says so at its start for the editors that guess.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr DWORD kByteOrderMarkSize = 3;
// Writers of one log (the user's runs in two Windows sessions) take turns:
// each holds this byte, far past any log's end, locked while it looks at
// the log, rolls it over and adds its line.
constexpr DWORD kTurnOffsetHigh = 0x40000000;

// Where an open file or folder is, as the system resolves its name (every
// link followed); empty when that cannot be told.
std::wstring FinalPath(HANDLE h) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (n >= path.size()) {
        path.resize(n);
        n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    }
    path.resize(n < path.size() ? n : 0);
    return path;
}

// The log's folder, held open while the log is written. An elevated run
// must never write through a link that a program of the user's planted:
// the folder is refused when it is itself a link (a junction in its
// place), and held without delete sharing, so that nothing can be swapped
// in for it meanwhile.
struct LogFolder {
    rtl::FileHandle handle;
    std::string path;   // as the program names it
    std::wstring where; // its final path

    bool Hold(const std::string& folder) {
        path = folder;
        handle.Reset(CreateFileW(rtl::Wide(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!handle.Valid() || !GetFileInformationByHandle(handle.Get(), &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
                FILE_ATTRIBUTE_DIRECTORY)
            return false;
        where = FinalPath(handle.Get());
        if (!where.empty() && where.back() == L'\\') where.pop_back();  // a drive's root
        return !where.empty();
    }

    // Whether an open file is the plain file of that name in this folder:
    // no reparse point, no second name (a hard link to a file of the
    // system's), and found here, not through a link.
    bool HoldsPlain(HANDLE file, const std::wstring& name) const {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(file, &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            info.nNumberOfLinks != 1)
            return false;
        const std::wstring expected = where + L"\\" + name;
        return CompareStringOrdinal(FinalPath(file).c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL;
    }

    // A file of this folder, opened as itself (a link is opened, not
    // followed), shared with every other program (an editor showing the
    // log); none when it is not the plain file of its name here.
    HANDLE Open(const std::wstring& name, DWORD access, DWORD disposition) const {
        HANDLE file = CreateFileW((rtl::Wide(path) + L"\\" + name).c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE && !HoldsPlain(file, name)) {
            CloseHandle(file);
            return INVALID_HANDLE_VALUE;
        }
        return file;
    }
};

constexpr DWORD kLogAccess = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;

// Waits for this writer's turn at the log: another one may be rolling it
// over.
bool TakeTurn(HANDLE log) {
    OVERLAPPED turn{};
    turn.OffsetHigh = kTurnOffsetHigh;
    return LockFileEx(log, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != FALSE;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

// Renames the log held (that very file, not whatever its name means by
// now) to the older file of the folder held (not of whatever its name
// means by now), replacing that name. The system's own call, as the
// documented one takes the new name as a path only.
bool RenameToOlder(const LogFolder& folder, HANDLE log) {
    using SetInformation = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
    const auto setInformation =
        rtl::BoundFunction<SetInformation>(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile");
    const rtl::FileHandle moving(folder.Open(rtl::Wide(kFileName), DELETE | FILE_READ_ATTRIBUTES, OPEN_EXISTING));
    if (!setInformation || !moving.Valid() || !SameFile(moving.Get(), log)) return false;
    const std::size_t nameBytes = sizeof kOlderFileName - sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFORMATION) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = folder.handle.Get();
    rename->FileNameLength = static_cast<ULONG>(nameBytes);
    std::memcpy(rename->FileName, kOlderFileName, nameBytes);
    IO_STATUS_BLOCK status{};
    return setInformation(moving.Get(), &status, rename, static_cast<ULONG>(buffer.size()), FileRenameInformation) >= 0;
}

// Copies the log's text over the older file (when that is a plain file of
// the folder) and empties the log.
bool CopyToOlderAndEmpty(const LogFolder& folder, HANDLE log) {
    const rtl::FileHandle older(folder.Open(kOlderFileName, GENERIC_WRITE | FILE_READ_ATTRIBUTES, OPEN_ALWAYS));
    if (older.Valid()) {
        std::vector<char> chunk(64 * 1024);
        DWORD got = 0;
        SetFilePointer(log, 0, nullptr, FILE_BEGIN);
        while (ReadFile(log, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got > 0) {
            DWORD written = 0;
            if (!WriteFile(older.Get(), chunk.data(), got, &written, nullptr) || written != got) break;
        }
        SetEndOfFile(older.Get());
    }
    FILE_END_OF_FILE_INFO empty{};
    return SetFileInformationByHandle(log, FileEndOfFileInfo, &empty, sizeof empty);
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

// Opens the log of the folder and waits for this writer's turn at it. A
// log that another writer rolled over meanwhile is the older file by now:
// the new log is opened instead.
bool OpenForTurn(const LogFolder& folder, rtl::FileHandle& log) {
    for (int tries = 0; tries < 2; ++tries) {
        log.Reset(folder.Open(rtl::Wide(kFileName), kLogAccess, OPEN_ALWAYS));
        if (!log.Valid() || !TakeTurn(log.Get())) return false;
        if (folder.HoldsPlain(log.Get(), rtl::Wide(kFileName))) return true;
    }
    return false;
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
    LogFolder folder;
    rtl::FileHandle log;
    if (!folder.Hold(folder_) || !OpenForTurn(folder, log)) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(log.Get(), &size)) return false;
    // At the cap the log becomes the older file. Where it cannot be renamed
    // (a viewer holds it, or the older file, without delete sharing) its
    // text is copied over the older file instead and the log starts afresh;
    // where even that copy fails the log starts afresh all the same. Either
    // way the cap holds and new lines get in: a viewer left open must not
    // stop the log for good. An earlier version's log is kept whole as the
    // older file, so this one is UTF-8 from its first byte.
    HANDLE target = log.Get();
    rtl::FileHandle fresh;
    if ((size.QuadPart > 0 && IsEarlierLog(log.Get())) ||
        LogNeedsRollOver(static_cast<std::uint64_t>(size.QuadPart), line.size())) {
        if (RenameToOlder(folder, log.Get())) {
            // The old log stays held until the new one is this writer's: a
            // writer waiting for its turn at the old one then finds the new
            // one taken, and waits again.
            if (!OpenForTurn(folder, fresh)) return false;
            target = fresh.Get();
        } else if (!CopyToOlderAndEmpty(folder, log.Get())) {
            return false;
        }
        if (!GetFileSizeEx(target, &size)) return false;
    }
    const std::string text = size.QuadPart == 0 ? kByteOrderMark + line : line;
    DWORD written = 0;
    return SetFilePointerEx(target, LARGE_INTEGER{}, nullptr, FILE_END) &&
           WriteFile(target, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

}  // namespace upload
