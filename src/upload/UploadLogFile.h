// The upload log file: %LOCALAPPDATA%\Teskaprs\teskaprs.log, one line per
// event, kept below 1 MiB with the older part in teskaprs.log.1. Writing it
// never fails an upload: a line that cannot be written is dropped. A
// roll-over that cannot rename the log starts it afresh instead, so new
// lines still get in. Repeated events are summarised (LogRepeats). The log
// is UTF-8 with a byte-order mark at its start; a log without one (an
// earlier version's, in the system's code page) becomes the older file
// before the first line is added. Nothing is written, moved or emptied
// through a link: a log or older file that is a link or has a second name,
// or a folder that is a link, drops the line (an elevated run must not be
// led to write over a file of the system's). Two runs of one user (in two
// Windows sessions) take turns, so a roll-over never replaces the older
// file with a newer one.
#pragma once

#include <string>

#include "upload/UploadLog.h"

namespace upload {

class TUploadLog {
public:
    // The user's log folder, %LOCALAPPDATA%\Teskaprs.
    TUploadLog();
    // A log in another folder (tests).
    explicit TUploadLog(std::string folder);
    // Writes the counts of repeats not summarised yet.
    ~TUploadLog();
    TUploadLog(TUploadLog&&) = default;
    TUploadLog& operator=(TUploadLog&&) = default;

    const std::string& Folder() const { return folder_; }
    // Folder() + "\teskaprs.log"
    std::string FilePath() const;
    // FilePath() + ".1"
    std::string OlderFilePath() const;

    // Appends one line: the time now (UTC) and the event; a repeat since
    // the last delivery is only counted, and summarised now and then. The
    // folder is created when missing; the log rolls over first when the
    // line would take it past its cap. Never raises; a failure drops the
    // line (the event is then written again when it comes again).
    void Write(const std::string& event) noexcept;

    // Writes the counts of repeats not summarised yet, now (the Windows
    // session ends, and the process with it). Never raises.
    void Flush() noexcept;

    // %LOCALAPPDATA%\Teskaprs (empty when the system names no such folder).
    static std::string DefaultFolder();

private:
    // False when the line could not be written.
    bool Append(const std::string& line);

    std::string folder_;
    LogRepeats repeats_;
};

}  // namespace upload
