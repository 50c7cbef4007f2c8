// Helpers shared by the Win32 tests.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Records the failures the application would show in a message box, so that
// no test ever blocks on a dialog. Restores the message box when destroyed.
class ErrorRecorder {
public:
    ErrorRecorder();
    ~ErrorRecorder();
    ErrorRecorder(const ErrorRecorder&) = delete;
    ErrorRecorder& operator=(const ErrorRecorder&) = delete;

    // (caption, text) of every failure shown, in order.
    std::vector<std::pair<std::string, std::string>> shown;
};

// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object is destroyed. Path without trailing "\".
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "\" + name
    std::string File(const std::string& name) const;
    // Writes the bytes to Path()\name, replacing the file; returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    // The bytes of a file, or an empty text when it cannot be read.
    static std::string Read(const std::string& path);

private:
    std::string path_;
};

// Sets a file's last write time a minute back, as if its writer had finished
// with it long ago (a report so aged is read at the first look). False when
// the file cannot be opened or changed.
bool AgeFile(const std::string& path);
// Sets a file's last write time to t.
bool SetLastWriteTime(const std::string& path, std::chrono::system_clock::time_point t);

// The text of a window as WM_GETTEXT gives it, in UTF-8.
std::string WindowText(HWND hwnd);

// The message of the exception of type E that f raises, or "(no exception)".
template <class E, class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(no exception)";
}

// Initialises the application object the way the program does (title
// "Teskaprs", hidden application window) and clears a finished loop.
void InitApplication();

}  // namespace testsupport
