// The program's own file, and plain questions about files and paths. Paths
// are UTF-8, as all text in the program.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

// The full path of the running executable as the system reports it; empty
// when it cannot be found (GetLastError tells why).
std::string ProgramPath();

// Whether path names an existing file (not a folder).
bool FileExists(const std::string& path);

// The path made full (relative to the current folder, with "." and ".."
// resolved) and long: every short (8.3) name replaced by its long name. A
// path that does not exist is only made full; one that cannot be made full
// comes back as it is.
std::string FullLongPath(const std::string& path);

// Single-byte text of the system's ANSI code page, as UTF-8.
std::string AnsiToUtf8(std::string_view text);

// An open file's handle (a HANDLE), closed when it goes, whichever way the
// scope is left.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(void* handle) : handle_(handle) {}
    ~FileHandle() { Reset(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    void* Get() const { return handle_; }
    // Whether it holds a file (neither null nor INVALID_HANDLE_VALUE).
    bool Valid() const;
    // Closes the file held and holds this one instead.
    void Reset(void* handle = nullptr);

private:
    void* handle_ = nullptr;
};

}  // namespace rtl
