// Text inside the program is UTF-8; Windows takes and gives UTF-16. The
// conversions between the two, and the reading of single-byte text files
// written before the program spoke UTF-8.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace rtl {

// UTF-8 as UTF-16. Bytes that are not UTF-8 (a stray continuation byte, a
// sequence cut short, an overlong form, an encoded surrogate, a value past
// U+10FFFF) never stop the conversion: each maximal ill-formed part becomes
// one U+FFFD, as Unicode recommends, and the text after it is kept.
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Whether the bytes are well-formed UTF-8 (ASCII is).
bool IsUtf8(std::string_view text);

// The longest start of text of at most maxBytes bytes that does not end
// inside a character (a cut never leaves half of one behind).
std::string Utf8Prefix(std::string_view text, size_t maxBytes);

// A text file's content as UTF-8: taken as it is when it is UTF-8 (a
// byte-order mark at its start dropped), otherwise read as single-byte text
// of the system's code page by fromAnsi, which returns UTF-8.
using AnsiDecoder = std::function<std::string(std::string_view)>;
std::string Utf8OrAnsi(std::string_view text, const AnsiDecoder& fromAnsi);

#ifdef _WIN32
// At the Windows boundary: wchar_t is UTF-16 there.
static_assert(sizeof(wchar_t) == sizeof(char16_t));
inline std::wstring Wide(std::string_view utf8) {
    const std::u16string wide = Utf8ToUtf16(utf8);
    return std::wstring(wide.begin(), wide.end());
}
inline std::string Narrow(std::wstring_view wide) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}
#endif

}  // namespace rtl
