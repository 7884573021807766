#pragma once
// Texts shown in the job list: durations, sizes and strict integer reading of
// the numbers a job row holds as text.
#include <cstdint>
#include <string>
#include <string_view>

namespace vexa::app {

// "hh:mm:ss" of whole seconds, hours wrapping after 23 ("01:00:00" for 90000).
// A negative duration shows as "00:00:00".
std::string DurationText(int64_t seconds);
// The same for a time in microseconds, truncated to whole seconds.
std::string DurationTextUs(int64_t microseconds);

// Megabytes rounded to hundredths (ties to even), shortest decimal, "MB"
// appended: 1536000 -> "1.46MB", 10485760 -> "10MB". The decimal separator is
// the locale's.
std::string SizeText(int64_t bytes);

// A decimal integer with an optional sign and nothing else; raises
// vexa::Error "'<text>' is not a valid integer value" otherwise.
int StrToInt(std::string_view text);

}  // namespace vexa::app
