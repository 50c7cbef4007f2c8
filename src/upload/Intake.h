// The first stage of an upload: looking at the weather report where the
// console program writes it. The report is only ever read, never copied,
// and nothing is written beside it.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "rtl/Clock.h"
#include "upload/Report.h"

namespace upload {

// Upload state shared by the stages of an upload, one per main window.
struct UploadState {
    bool UploadBusy = false;
    std::string CurrentPacket;
    // The reading of CurrentPacket in plain words.
    std::string CurrentWords;
    // Counts the attempts begun, so that an attempt that waits can tell
    // whether it was ended and another begun meanwhile.
    unsigned Attempts = 0;
};

// One look at the report: nothing there (or a folder) is missing; anything
// but a plain file on a disk (a symbolic link, mount point, device or pipe)
// is refused unread, while a placeholder of a sync service or a
// deduplicated file is read. Otherwise opened as the file itself, never
// through a link, with identification-level impersonation only (a pipe
// server at the other end cannot act as the owner), for reading, sharing
// reading, writing and deleting with everybody (the console program is never
// kept out); its first kReportReadLimit bytes read, its size and last write
// time taken before and after the read. A report last written two seconds or
// more before now is quiet; one written later than now is not.
ReportLook LookAtReport(const std::string& reportPath, rtl::TimePoint now);

// How long one look may take before the report counts as not reachable.
inline constexpr unsigned long kReportLookDeadlineMs = 10000;

// Why LookAtReportOffThread gave no look.
enum class NoLook {
    TimedOut,      // it did not end within its deadline (or the program is ending)
    StillRunning,  // an earlier look was still under way: none was begun
};

// LookAtReport on a worker thread, the window's messages handled
// meanwhile, so that a report on a share whose computer is off holds up
// nothing. One worker serves every look. None when the look did not end
// within deadlineMs (or the program is ending): its call is then cancelled
// where the system can, and its result dropped; until that look has ended,
// every further one is none at once, so stuck looks never pile up. A look
// asked for by a message handled while another one is under way is none at
// once too. A look that fails in itself ends as an unreadable report.
std::optional<ReportLook> LookAtReportOffThread(const std::string& reportPath, rtl::TimePoint now,
                                                unsigned long deadlineMs = kReportLookDeadlineMs,
                                                NoLook* why = nullptr);

// Tests put a look of their own in LookAtReport's place (one that blocks,
// say); an empty function restores it.
using ReportLooker = std::function<ReportLook(const std::string& reportPath, rtl::TimePoint now)>;
void SetReportLookerForTests(ReportLooker looker);
// Tests wait until a look abandoned at its deadline has ended, its thread
// with it; false when it has not within the time.
bool WaitForAbandonedLookForTests(unsigned long timeoutMs);

}  // namespace upload
