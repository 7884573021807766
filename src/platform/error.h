#pragma once
// The one error class every layer raises; its text is the message the user or
// the log sees, so callers never reformat it.
#include <cstdarg>
#include <stdexcept>
#include <string>

namespace vexa {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);

[[noreturn]] void Raise(const std::string& message);
[[noreturn]] void RaiseFmt(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vexa
