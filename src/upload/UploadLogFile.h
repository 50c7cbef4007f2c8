// The upload log file: %LOCALAPPDATA%\Teskaprs\teskaprs.log, one line per
// event, kept below 1 MiB with the older part in teskaprs.log.1. Writing it
// never fails an upload: a line that cannot be written is dropped. A
// roll-over that cannot rename the log starts it afresh instead, so new
// lines still get in.
#pragma once

#include <string>

namespace upload {

class TUploadLog {
public:
    // The user's log folder, %LOCALAPPDATA%\Teskaprs.
    TUploadLog();
    // A log in another folder (tests).
    explicit TUploadLog(std::string folder);

    const std::string& Folder() const { return folder_; }
    // Folder() + "\teskaprs.log"
    std::string FilePath() const;
    // FilePath() + ".1"
    std::string OlderFilePath() const;

    // Appends one line: the time now (UTC) and the event. The folder is
    // created when missing; the log rolls over first when the line would
    // take it past its cap. Never raises; a failure drops the line.
    void Write(const std::string& event) noexcept;

    // %LOCALAPPDATA%\Teskaprs (empty when the system names no such folder).
    static std::string DefaultFolder();

private:
    void Append(const std::string& line);

    std::string folder_;
};

}  // namespace upload
