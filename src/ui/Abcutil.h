// The single-instance guard: a second start of the program finds the lock of
// the running copy, brings that copy forward (or tells it to quit) and ends
// itself. The lock is a named mutex named after the application title, so it
// is seen by every process of the desktop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ui {

// How a copy that is not wanted ends itself.
enum TabcTerminateMethod {
    atmAppTerminate,      // the main window is not shown and the message loop ends at its first turn
    atmExitProcess,       // the process ends at once, exit code 0
    atmHalt,              // the runtime's orderly end (static objects are destroyed), exit code 0
    atmTerminateProcess,  // the process is terminated, exit code 0
};

class TabcSingleInstance {
public:
    // Counting mode: PreviousInstances copies run besides this one; set
    // haltThisInstance to false to keep this copy running.
    using TabcHaltEvent =
        std::function<void(TabcSingleInstance* sender, int previousInstances, bool& haltThisInstance)>;

    // Takes the lock for the application's title (which must be set by now).
    TabcSingleInstance();
    TabcSingleInstance(const TabcSingleInstance&) = delete;
    TabcSingleInstance& operator=(const TabcSingleInstance&) = delete;
    ~TabcSingleInstance();

    // Bring the running copy forward, then end this one. Setting it clears
    // ClosePrevious.
    bool Activate() const { return activate_; }
    void SetActivate(bool activate);
    // Tell the running copy to quit; this one keeps running. Setting it
    // clears Activate and MultipleInstances.
    bool ClosePrevious() const { return closePrevious_; }
    void SetClosePrevious(bool closePrevious);
    // Count the running copies and let OnPreviousInstance decide. Setting it
    // clears ClosePrevious.
    bool MultipleInstances() const { return multipleInstances_; }
    void SetMultipleInstances(bool multiple);

    // Shown (warning icon, the title as caption) before anything else is done.
    std::string StopMsg;
    TabcTerminateMethod TerminateBy = atmAppTerminate;
    TabcHaltEvent OnPreviousInstance;

    // Runs once the window has finished loading: a copy that does not hold
    // the lock deals with the running one and, as the options say, ends.
    void Loaded();

    // Whether this copy holds the lock (it is the first copy).
    bool HoldsLock() const { return mutex_ != nullptr; }
    // The number of copies that count themselves (counting mode), this one
    // included; 0 when it cannot be told.
    int CountInstances() const;

    static std::string LockName(const std::string& title);
    static std::string SemaphoreName(const std::string& title);

private:
    void SetUpCounting();
    void EndThisCopy();

    bool activate_ = true;
    bool closePrevious_ = false;
    bool multipleInstances_ = false;
    HANDLE mutex_ = nullptr;
    HANDLE semaphore_ = nullptr;
    bool unitTaken_ = false;
};

}  // namespace ui
