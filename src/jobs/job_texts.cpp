#include "jobs/job_texts.h"

#include "platform/error.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>

namespace vexa::app {

std::string DurationText(int64_t seconds)
{
    const int64_t s = seconds < 0 ? 0 : seconds;
    const int64_t secs = s % 60;
    const int64_t minutes = ((s - secs) / 60) % 60;
    const int64_t hours = ((s - secs - 60 * minutes) / 3600) % 24;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2d:%.2d:%.2d", static_cast<int>(hours),
                  static_cast<int>(minutes), static_cast<int>(secs));
    return buf;
}

std::string DurationTextUs(int64_t microseconds)
{
    return DurationText(microseconds / 1000000);
}

std::string SizeText(int64_t bytes)
{
    // bytes * 100 / 2^20 is exact in a double for any real file size, so the
    // rounding below sees true ties.
    const double hundredths = static_cast<double>(bytes) * 100.0 / 1048576.0;
    const auto cents = static_cast<int64_t>(std::nearbyint(hundredths));  // ties to even
    const int64_t whole = cents / 100;
    int64_t fraction = cents % 100;
    if (fraction < 0)
        fraction = -fraction;
    std::string text = (cents < 0 && whole == 0 ? "-" : "") + std::to_string(whole);
    if (fraction != 0) {
        const lconv* conv = std::localeconv();
        text += conv && conv->decimal_point && *conv->decimal_point ? conv->decimal_point : ".";
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0)
            text += static_cast<char>('0' + fraction % 10);
    }
    return text + "MB";
}

int StrToInt(std::string_view text)
{
    std::string_view digits = text;
    bool plus = false;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        plus = true;
    }
    int value = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || ec != std::errc() || ptr != end || (plus && digits.front() == '-'))
        RaiseFmt("'%s' is not a valid integer value", std::string(text).c_str());
    return value;
}

}  // namespace vexa::app
