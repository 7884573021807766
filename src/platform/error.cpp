#include "platform/error.h"

#include <cstdio>
#include <vector>

namespace vexa {

std::string FormatV(const char* fmt, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char small[512];
    const int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0)
        return {};
    if (static_cast<size_t>(n) < sizeof small)
        return std::string(small, static_cast<size_t>(n));
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, args);
    return std::string(big.data(), static_cast<size_t>(n));
}

std::string Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string s = FormatV(fmt, args);
    va_end(args);
    return s;
}

void Raise(const std::string& message)
{
    throw Error(message);
}

void RaiseFmt(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string s = FormatV(fmt, args);
    va_end(args);
    throw Error(s);
}

}  // namespace vexa
