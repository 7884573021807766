#pragma once
// Small pieces the option handling and the set-up share: reading option
// values and the names of media kinds.
#include <cstdint>
#include <string>

#include "media/lib_error_text.h"

extern "C" {
#include <libavutil/avutil.h>
}

namespace vexa {

// Integers are decimal only; anything else raises the conversion error
// "'%s' is not a valid integer value".
int32_t StrToIntStrict(const std::string& text);
int64_t StrToInt64Strict(const std::string& text);
// Floating-point with the locale's decimal separator; raises
// "'%s' is not a valid floating point value".
double StrToFloatStrict(const std::string& text);
// True for anything except "0" (so an empty value is true).
inline bool OptBool(const std::string& value) { return value != "0"; }

// Duration ("t", "ss", "itsoffset") or date ("timestamp") in microseconds;
// raises "Invalid duration specification for <name>: <value>" (or "date").
int64_t ParseTimeOption(const std::string& name, const std::string& value, bool isDuration);

std::string TrimText(const std::string& text);
std::string LowerCase(const std::string& text);
// Four characters read little-endian: the first one in the lowest byte.
uint32_t FourCC(const std::string& text);

// "Video", "Audio", "Data", "Subtitle", "Attachment".
const char* MediaKindName(AVMediaType type);

}  // namespace vexa
