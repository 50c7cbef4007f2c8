// Building the addresses the link labels open and the command line that
// starts the browser with one of them. Portable: no Win32 calls.
#pragma once

#include <functional>
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

// A browser command template of the ".htm" association taken apart: the
// program it starts, as written there, and the arguments that follow it.
struct BrowserTemplate {
    std::string program;    // empty: the template names no program
    std::string arguments;  // from just after the program (and its quotes)
};

// The program is the text inside leading quotes; unquoted, it is the longest
// part from the start that ends in ".exe" before a blank or the end and that
// isFile says is a file ("C:\Program Files\B\b.exe %1"), or else the text
// up to the first blank. Blanks before it are skipped.
BrowserTemplate SplitBrowserCommand(const std::string& commandTemplate,
                                    const std::function<bool(const std::string&)>& isFile);

// The command line that opens url: the program in quotes, then its
// arguments cut just before the quoted "%1", or else before a bare %1 (all
// of them are kept when they have neither), then one blank and the address.
std::string BrowserCommandLine(const BrowserTemplate& browser, const std::string& url);

}  // namespace ui
