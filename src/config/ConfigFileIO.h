// Where the configuration file lives, and writing and reading it whole.
#pragma once

#include <string>

namespace config {

// The executable's folder followed by "aprsconfig.txt".
std::string ConfigFilePath();

// Replaces the file with exactly this text: written to a temporary file
// beside it, then renamed over the old one, so a failed save leaves the
// previous file whole. Failures raise rtl::EInOutError.
void WriteConfigFile(const std::string& path, const std::string& text);

// The file's content. A file that is missing or cannot be read raises
// rtl::EInOutError ("File not found", ...).
std::string ReadConfigFile(const std::string& path);

}  // namespace config
