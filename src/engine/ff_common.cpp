#include "engine/ff_common.h"

#include "media/av_entries.h"
#include "platform/error.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace vexa {

namespace {

bool ParseDecimal(const std::string& text, long long lo, long long hi, long long& out)
{
    // A sign and digits only: no blanks, no hexadecimal, nothing after.
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    if (i == text.size())
        return false;
    for (size_t k = i; k < text.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(text[k])))
            return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

}  // namespace

int32_t StrToIntStrict(const std::string& text)
{
    long long v = 0;
    if (!ParseDecimal(text, INT32_MIN, INT32_MAX, v))
        RaiseFmt("'%s' is not a valid integer value", text.c_str());
    return static_cast<int32_t>(v);
}

int64_t StrToInt64Strict(const std::string& text)
{
    long long v = 0;
    if (!ParseDecimal(text, LLONG_MIN, LLONG_MAX, v))
        RaiseFmt("'%s' is not a valid integer value", text.c_str());
    return v;
}

double StrToFloatStrict(const std::string& text)
{
    const std::string t = TrimText(text);
    errno = 0;
    char* end = nullptr;
    const double v = t.empty() ? 0.0 : std::strtod(t.c_str(), &end);
    if (t.empty() || *end != '\0' || errno == ERANGE)
        RaiseFmt("'%s' is not a valid floating point value", text.c_str());
    return v;
}

int64_t ParseTimeOption(const std::string& name, const std::string& value, bool isDuration)
{
    int64_t us = 0;
    if (AV.av_parse_time(&us, value.c_str(), isDuration ? 1 : 0) < 0)
        RaiseFmt("Invalid %s specification for %s: %s", isDuration ? "duration" : "date", name.c_str(),
                 value.c_str());
    return us;
}

std::string TrimText(const std::string& text)
{
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ')
        --e;
    return text.substr(b, e - b);
}

std::string LowerCase(const std::string& text)
{
    std::string r = text;
    for (char& c : r)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

uint32_t FourCC(const std::string& text)
{
    uint32_t tag = 0;
    for (size_t i = 0; i < 4 && i < text.size(); ++i)
        tag |= static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << (8 * i);
    return tag;
}

const char* MediaKindName(AVMediaType type)
{
    switch (type) {
    case AVMEDIA_TYPE_VIDEO: return "Video";
    case AVMEDIA_TYPE_AUDIO: return "Audio";
    case AVMEDIA_TYPE_DATA: return "Data";
    case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
    default: return "Unknown";
    }
}

}  // namespace vexa
