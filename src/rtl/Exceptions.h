// Failures are exceptions carrying a user-readable message.
#pragma once

#include <stdexcept>
#include <string>

namespace rtl {

// The base of the program's own failures.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A failure of reading or writing a file.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// The text shown for a failure that reached the message loop: the message,
// with a full stop added when its last character sorts after "." (letters
// and digits do, and so do "?" and "/"; "!", ")" and "." itself do not).
std::string ErrorBoxText(const std::string& message);

}  // namespace rtl
