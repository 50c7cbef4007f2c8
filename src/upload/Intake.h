// The first stage of an upload: looking at the weather report where the
// console program writes it. The report is only ever read, never copied,
// and nothing is written beside it.
#pragma once

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

// Whether the path names an existing file (a folder does not count).
bool ReportExists(const std::string& reportPath);

// One look at the report: opened for reading, sharing reading, writing and
// deleting with everybody (the console program is never kept out), its
// first kReportReadLimit bytes read, its size and last write time taken
// before and after the read. A report last written two seconds or more
// before now is quiet; one written later than now is not. Something that is
// not a file on a disk (a device, a pipe) is not read.
ReportLook LookAtReport(const std::string& reportPath, rtl::TimePoint now);

}  // namespace upload
