// Where the configuration file lives, and writing and reading it whole.
#pragma once

#include <cstddef>
#include <string>

namespace config {

// The executable's folder (its full path cut after the last backslash)
// followed by "aprsconfig.txt".
std::string ConfigFilePath();

// Replaces the file with exactly this text (UTF-8, as all text inside): written to a temporary file
// beside it ("<path>.~N.tmp", a name not yet taken), flushed to disk, then
// renamed over the old one, so a failed save leaves the previous file whole.
// What earlier interrupted saves left ("<path>.~N.tmp") is removed first.
// A read-only file is not replaced ("File access denied"), as Windows itself
// refuses to rename over one.
// On any failure the temporary file is removed and rtl::EInOutError is
// raised with InOutErrorMessage of the system's error code (a write that
// stores fewer bytes than asked gives "Disk full").
void WriteConfigFile(const std::string& path, const std::string& text);

// The file's first line with its line end, as UTF-8: reading stops once a
// line end has been read or kConfigReadLimit bytes are in. The file is
// UTF-8 (written so, without a byte-order mark; one at its start is
// dropped); a file that is not is read in the system's ANSI code page, as
// files written before were. A file that is
// missing raises rtl::EInOutError "File not found"; one that cannot be opened
// or read raises it with InOutErrorMessage of the error code.
inline constexpr std::size_t kConfigReadLimit = 1 << 20;
std::string ReadConfigFile(const std::string& path);

// The runtime's message for a file failure with this system error code:
// "File not found" (2), "Path not found" (3), "File access denied" (5),
// "Disk full" (39, 112), otherwise "I/O error N".
std::string InOutErrorMessage(unsigned long code);

}  // namespace config
