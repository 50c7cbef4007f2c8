#include "ui/Abcutil.h"

#include <cstdlib>

#include "rtl/Application.h"
#include "rtl/Utf.h"

namespace ui {

namespace {
const LONG kMaxCopies = 65535;
}

std::string TabcSingleInstance::LockName(const std::string& title) {
    return "TabcSingleInstance in application " + title;
}

std::string TabcSingleInstance::SemaphoreName(const std::string& title) {
    return "TabcSingleInstance Semaphore in application " + title;
}

TabcSingleInstance::TabcSingleInstance() {
    const std::string name = LockName(rtl::Application().Title());
    // A stale error must not pass for "the lock already existed".
    SetLastError(ERROR_SUCCESS);
    mutex_ = CreateMutexW(nullptr, TRUE, rtl::Wide(name).c_str());
    if (mutex_ && GetLastError() != ERROR_SUCCESS) {
        // Another copy holds it. A lock that cannot be made counts the same.
        CloseHandle(mutex_);
        mutex_ = nullptr;
    }
}

TabcSingleInstance::~TabcSingleInstance() {
    if (mutex_) {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    if (semaphore_) {
        if (unitTaken_) ReleaseSemaphore(semaphore_, 1, nullptr);
        CloseHandle(semaphore_);
    }
}

void TabcSingleInstance::SetActivate(bool activate) {
    activate_ = activate;
    if (activate) closePrevious_ = false;
}

void TabcSingleInstance::SetClosePrevious(bool closePrevious) {
    closePrevious_ = closePrevious;
    if (closePrevious) {
        activate_ = false;
        multipleInstances_ = false;
    }
}

void TabcSingleInstance::SetMultipleInstances(bool multiple) {
    multipleInstances_ = multiple;
    if (multiple) closePrevious_ = false;
}

void TabcSingleInstance::SetUpCounting() {
    if (semaphore_) return;
    const std::wstring name = rtl::Wide(SemaphoreName(rtl::Application().Title()));
    semaphore_ = CreateSemaphoreW(nullptr, kMaxCopies, kMaxCopies, name.c_str());
    if (!semaphore_) semaphore_ = OpenSemaphoreW(SEMAPHORE_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str());
    // Each copy holds one unit for as long as it runs.
    if (semaphore_) unitTaken_ = WaitForSingleObject(semaphore_, 0) == WAIT_OBJECT_0;
}

int TabcSingleInstance::CountInstances() const {
    if (!semaphore_) return 0;
    // Giving one unit back tells how many were free; the unit is taken
    // again at once.
    LONG previous = 0;
    if (!ReleaseSemaphore(semaphore_, 1, &previous)) return 0;
    WaitForSingleObject(semaphore_, 0);
    return static_cast<int>(kMaxCopies - previous);
}

void TabcSingleInstance::Loaded() {
    if (multipleInstances_) SetUpCounting();
    if (mutex_) return;  // the first copy

    if (multipleInstances_) {
        const int copies = CountInstances();
        if (!OnPreviousInstance) return;
        bool halt = true;
        OnPreviousInstance(this, copies - 1, halt);
        if (!halt) return;
    }

    rtl::TApplication& app = rtl::Application();
    if (!StopMsg.empty())
        MessageBoxW(app.Handle(), rtl::Wide(StopMsg).c_str(), rtl::Wide(app.Title()).c_str(), MB_ICONWARNING);

    if (!activate_ && !closePrevious_) {
        EndThisCopy();
        return;
    }

    // The other copy's application window has this one's class and text:
    // blank this one's text for the search, so only the other is found.
    HWND found = nullptr;
    if (HWND own = app.Handle()) {
        wchar_t className[256] = {};
        wchar_t text[256] = {};
        GetClassNameW(own, className, 256);
        GetWindowTextW(own, text, 256);
        SetWindowTextW(own, L"");
        found = FindWindowW(className, text);
        SetWindowTextW(own, text);
    }
    if (!found) {
        EndThisCopy();
        return;
    }
    if (closePrevious_) {
        PostMessageW(found, WM_QUIT, 0, 0);
        return;
    }
    if (IsIconic(found)) {
        ShowWindow(found, SW_RESTORE);
    } else {
        HWND popup = GetLastActivePopup(found);
        if (popup && IsWindowVisible(popup) && IsWindowEnabled(popup) && popup != found) SetForegroundWindow(popup);
    }
    EndThisCopy();
}

void TabcSingleInstance::EndThisCopy() {
    switch (TerminateBy) {
    case atmAppTerminate: {
        // The rest of the start still runs; the loop ends at its first turn.
        rtl::TApplication& app = rtl::Application();
        app.SetShowMainForm(false);
        app.Terminate();
        break;
    }
    case atmExitProcess:
        ExitProcess(0);
    case atmHalt:
        std::exit(0);
    case atmTerminateProcess:
        TerminateProcess(GetCurrentProcess(), 0);
        break;
    }
}

}  // namespace ui
