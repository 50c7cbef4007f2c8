#include "upload/Intake.h"

#include <windows.h>

namespace upload {

namespace {

bool IsExistingFile(const std::string& path) {
    if (path.find('\0') != std::string::npos) return false;  // not a name the file system knows
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Whether both names lead to one and the same file.
bool IsSameFile(const std::string& a, const std::string& b) {
    auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        // No access asked: this open conflicts with nobody.
        HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        const bool ok = GetFileInformationByHandle(file, &info) != FALSE;
        CloseHandle(file);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION infoA{}, infoB{};
    return identify(a, infoA) && identify(b, infoB) && infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
           infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow;
}

// The first kReportReadLimit bytes of the file, or nothing when it cannot be
// opened, read or closed.
std::optional<std::string> ReadHead(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes(kReportReadLimit, '\0');
    std::size_t filled = 0;
    bool ok = true;
    while (filled < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled), &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;  // end of file
        filled += got;
    }
    if (!CloseHandle(file)) ok = false;
    if (!ok) return std::nullopt;
    bytes.resize(filled);
    return bytes;
}

// A read-only, hidden or system report passes those attributes on to its
// copy, after which no later copy could replace the working copy: it is made
// plain before each copy. A report that is itself the working copy is the
// user's file and keeps its attributes.
void MakeWorkingCopyPlain(const std::string& reportPath, const std::string& workingCopy) {
    constexpr DWORD kInTheWay = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD attributes = GetFileAttributesA(workingCopy.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !(attributes & kInTheWay) || IsSameFile(reportPath, workingCopy))
        return;
    const DWORD plain = attributes & ~kInTheWay;
    SetFileAttributesA(workingCopy.c_str(), plain ? plain : FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

std::optional<ReportLines> TakeReading(UploadState& state, const std::string& reportPath) {
    if (state.UploadBusy) return std::nullopt;
    const std::string workingCopy = WorkingCopyName(reportPath);
    if (!IsExistingFile(reportPath)) return std::nullopt;

    state.UploadBusy = true;
    MakeWorkingCopyPlain(reportPath, workingCopy);
    // A failed copy ends the attempt: reading an older working copy instead
    // would send an old reading as if it were new. A report that is itself
    // named wxreport2.txt cannot be copied onto itself; it is read as it is.
    if (!CopyFileA(reportPath.c_str(), workingCopy.c_str(), FALSE) && !IsSameFile(reportPath, workingCopy)) {
        state.UploadBusy = false;
        return std::nullopt;
    }

    state.CurrentPacket.clear();
    const std::optional<std::string> head = ReadHead(workingCopy);
    if (!head) {
        state.UploadBusy = false;
        return std::nullopt;
    }
    return ReadReportLines(*head);
}

}  // namespace upload
