#include "TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "rtl/Application.h"
#include "rtl/Utf.h"

namespace testsupport {

ErrorRecorder::ErrorRecorder() {
    rtl::Application().SetErrorSink(
        [this](const std::string& caption, const std::string& text) { shown.emplace_back(caption, text); });
}

ErrorRecorder::~ErrorRecorder() { rtl::Application().SetErrorSink(nullptr); }

namespace {
void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}
}  // namespace

TempFolder::TempFolder() {
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        std::ostringstream name;
        name << base << "teskaprs-test-" << GetCurrentProcessId() << "-" << GetTickCount64() << "-" << ++counter;
        if (CreateDirectoryA(name.str().c_str(), nullptr)) {
            path_ = name.str();
            break;
        }
    }
}

TempFolder::~TempFolder() { RemoveTree(rtl::Wide(path_)); }

std::string TempFolder::File(const std::string& name) const { return path_ + "\\" + name; }

std::string TempFolder::Write(const std::string& name, const std::string& bytes) const {
    const std::string path = File(name);
    std::ofstream out(std::filesystem::path(rtl::Wide(path)), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string TempFolder::Read(const std::string& path) {
    std::ifstream in(std::filesystem::path(rtl::Wide(path)), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool AgeFile(const std::string& path) {
    return SetLastWriteTime(path, std::chrono::system_clock::now() - std::chrono::minutes(1));
}

bool SetLastWriteTime(const std::string& path, std::chrono::system_clock::time_point t) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    using Ticks = std::chrono::duration<long long, std::ratio<1, 10000000>>;  // FILETIME: 100 ns since 1601
    ULARGE_INTEGER v{};
    v.QuadPart = static_cast<ULONGLONG>(std::chrono::duration_cast<Ticks>(t.time_since_epoch()).count() +
                                        116444736000000000LL);
    const FILETIME written{v.LowPart, v.HighPart};
    const bool ok = SetFileTime(file, nullptr, nullptr, &written) != FALSE;
    CloseHandle(file);
    return ok;
}

std::string WindowText(HWND hwnd) {
    const LRESULT size = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0) + 1;
    std::wstring text(static_cast<size_t>(size), L'\0');
    const LRESULT length = SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return rtl::Narrow(text);
}

void InitApplication() {
    rtl::Application().SetTitle("Teskaprs");
    rtl::Application().Initialize();
    rtl::Application().ResetTerminated();
}

}  // namespace testsupport
