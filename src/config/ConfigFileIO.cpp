#include "config/ConfigFileIO.h"

#include <windows.h>

#include <algorithm>

#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/Text.h"
#include "rtl/Utf.h"

namespace config {

namespace {

const char kConfigFileName[] = "aprsconfig.txt";

[[noreturn]] void Fail(DWORD code) { throw rtl::EInOutError(InOutErrorMessage(code)); }

// Closes the handle when the scope ends, whichever way it ends.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool Close() {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        const bool closed = CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

// Creates a new temporary file beside path under a name nobody uses, so a
// leftover of an interrupted save is never written into or over. Returns the
// handle and sets temp to its name; raises on failure.
HANDLE CreateTemporaryBeside(const std::string& path, std::string& temp) {
    DWORD error = ERROR_FILE_EXISTS;
    for (int n = 0; n < 1000; ++n) {
        temp = path + ".~" + rtl::Decimal(n) + ".tmp";
        const HANDLE handle = CreateFileW(rtl::Wide(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return handle;
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    Fail(error);
}

// Removes what interrupted saves left beside path ("<name>.~N.tmp"): they
// hold the settings, validation number included, and would take up the
// temporary names. A file that cannot be removed stays.
void RemoveLeftovers(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string prefix = path.substr(folder.size()) + ".~";
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(rtl::Wide(path + ".~*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        // Exactly a temporary name of this file (the pattern also matches
        // longer names, and short 8.3 names).
        const std::string name = rtl::Narrow(found.cFileName);
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".tmp") != 0)
            continue;
        const std::string number = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        if (number.find_first_not_of("0123456789") != std::string::npos) continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        DeleteFileW(rtl::Wide(folder + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Writes all of text; false with the error code when the system refuses, or
// with ERROR_DISK_FULL when it stores fewer bytes than asked.
bool WriteAll(HANDLE handle, const std::string& text, DWORD& error) {
    std::size_t done = 0;
    while (done < text.size()) {
        const std::size_t left = text.size() - done;
        const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(handle, text.data() + done, chunk, &written, nullptr)) {
            error = GetLastError();
            return false;
        }
        if (written == 0) {
            error = ERROR_DISK_FULL;
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

std::string InOutErrorMessage(unsigned long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND: return "File not found";
        case ERROR_PATH_NOT_FOUND: return "Path not found";
        case ERROR_ACCESS_DENIED: return "File access denied";
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_DISK_FULL: return "Disk full";
        default: return "I/O error " + rtl::Decimal(static_cast<long long>(code));
    }
}

std::string ConfigFilePath() {
    const std::string exe = rtl::ProgramPath();
    if (exe.empty()) Fail(GetLastError());
    return exe.substr(0, exe.rfind('\\') + 1) + kConfigFileName;
}

void WriteConfigFile(const std::string& path, const std::string& text) {
    // A read-only file is not replaced: Windows refuses to rename over one,
    // and so does this save wherever it runs (Wine would replace it).
    const std::wstring widePath = rtl::Wide(path);
    const DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        Fail(ERROR_ACCESS_DENIED);

    RemoveLeftovers(path);
    std::string temp;
    FileHandle file(CreateTemporaryBeside(path, temp));

    DWORD error = 0;
    bool ok = WriteAll(file.Get(), text, error);
    // On disk before it takes the old file's place.
    if (ok && !FlushFileBuffers(file.Get())) {
        error = GetLastError();
        ok = false;
    }
    if (!file.Close() && ok) {
        error = GetLastError();
        ok = false;
    }
    if (ok && !MoveFileExW(rtl::Wide(temp).c_str(), widePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        ok = false;
    }
    if (!ok) {
        DeleteFileW(rtl::Wide(temp).c_str());
        Fail(error);
    }
}

std::string ReadConfigFile(const std::string& path) {
    FileHandle file(CreateFileW(rtl::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) Fail(GetLastError());

    std::string content;
    char block[4096];
    while (content.size() < kConfigReadLimit) {
        const DWORD wanted = static_cast<DWORD>(std::min(sizeof block, kConfigReadLimit - content.size()));
        DWORD got = 0;
        if (!ReadFile(file.Get(), block, wanted, &got, nullptr)) Fail(GetLastError());
        if (got == 0) break;
        const std::size_t before = content.size();
        content.append(block, got);
        if (content.find_first_of("\r\n", before) != std::string::npos) break;
    }
    // Only the first line is read as text: what follows it in the block may
    // end in the middle of a character.
    size_t lineEnd = content.find_first_of("\r\n");
    if (lineEnd != std::string::npos) {
        if (content.compare(lineEnd, 2, "\r\n") == 0) ++lineEnd;
        content.resize(lineEnd + 1);
    }
    return rtl::Utf8OrAnsi(content, rtl::AnsiToUtf8);
}

}  // namespace config
