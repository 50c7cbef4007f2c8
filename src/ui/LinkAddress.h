// Building the addresses the link labels open and the command line that
// starts the browser with one of them. Portable: no Win32 calls.
#pragma once

#include <string>
#include <string_view>

namespace ui {

// Every byte except the unreserved characters (A-Z a-z 0-9 - . _ ~) as %XX
// with upper-case hexadecimal digits. What comes out has no blank, quote or
// shell character left, so it stays one argument on a command line.
std::string PercentEncoded(std::string_view text);

// The station's own page: the station page base followed by the callsign
// without the blanks around it, percent-encoded.
std::string StationPageAddress(const std::string& callsign);

// The caption of the station page link: the base followed by the callsign
// exactly as typed.
std::string StationPageCaption(const std::string& callsign);

// The command line that opens url with the browser command template of the
// ".htm" association: the template is cut just before the quoted "%1", or
// else before a bare %1 (the whole template is kept when it has neither),
// then one blank and the address follow.
std::string BrowserCommandLine(const std::string& commandTemplate, const std::string& url);

}  // namespace ui
