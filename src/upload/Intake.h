// The first stage of an upload: take a fresh reading of the weather report.
#pragma once

#include <optional>
#include <string>

#include "upload/Report.h"

namespace upload {

// Upload state shared by the stages of an upload, one per main window.
struct UploadState {
    bool UploadBusy = false;
    std::string CurrentPacket;
};

// Checks that reportPath names an existing file (not a folder), sets
// UploadBusy, copies the report to its working copy (replacing an older one),
// empties CurrentPacket and reads the two lines from the working copy (only
// its first kReportReadLimit bytes are read). On success UploadBusy stays set
// for the later stages of the attempt.
// Returns nothing, silently:
// - when UploadBusy was already set: nothing changes;
// - when the report is missing: UploadBusy stays clear;
// - when the copy fails: UploadBusy cleared, CurrentPacket untouched (an older
//   working copy is never read in place of the report; only a report that is
//   itself the working copy is read as it is);
// - when the working copy cannot be opened or read: UploadBusy cleared,
//   CurrentPacket empty.
std::optional<ReportLines> TakeReading(UploadState& state, const std::string& reportPath);

}  // namespace upload
