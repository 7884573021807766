#include "catalogue/option_lists.h"

#include "catalogue/tables.h"
#include "platform/error.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

namespace vexa::catalogue {

namespace {

struct TOptionIndex {
    std::vector<TFormatOptions> all;
    std::unordered_map<int, size_t> byKey;
};

TOptionIndex BuildOptionIndex()
{
    TOptionIndex index;
    for (const auto rows : {tables::FormatOptionRowsA(), tables::FormatOptionRowsB()})
        index.all.insert(index.all.end(), rows.begin(), rows.end());
    for (size_t i = 0; i < index.all.size(); ++i)
        index.byKey.emplace(index.all[i].Key, i);
    return index;
}

const TOptionIndex& OptionIndex()
{
    static const TOptionIndex index = BuildOptionIndex();
    return index;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

[[noreturn]] void RaiseBitrate(const char* what, std::string_view text)
{
    RaiseFmt("Invalid %s \"%s\"", what, std::string(text).c_str());
}

// The number in front of "kbps", blanks removed.
std::string_view KbpsNumber(std::string_view text, const char* what)
{
    const size_t pos = text.find("kbps");
    if (pos == std::string_view::npos)
        RaiseBitrate(what, text);
    return Trim(text.substr(0, pos));
}

void CheckPosition(int position)
{
    if (position < 0 || position > 99)
        RaiseFmt("Option position %d does not fit in two digits", position);
}

bool IsOptionIndexString(std::string_view text)
{
    return text.size() == 2 * kOptionKindCount && AllDigits(text);
}

}  // namespace

const TOptionList* FindOptionList(std::string_view label)
{
    for (const TOptionList& list : tables::OptionListRows())
        if (list.Label == label)
            return &list;
    return nullptr;
}

std::span<const TOptionList> AllOptionLists()
{
    return tables::OptionListRows();
}

const TFormatOptions* FindFormatOptions(int key)
{
    const TOptionIndex& index = OptionIndex();
    const auto it = index.byKey.find(key);
    return it == index.byKey.end() ? nullptr : &index.all[it->second];
}

std::span<const TFormatOptions> AllFormatOptions()
{
    return OptionIndex().all;
}

int DefaultPosition(const TFormatOptions& options, TOptionKind kind)
{
    const TOptionList* list = FindOptionList(options.Lists[kind]);
    if (!list)
        return -1;
    const auto it = std::find(list->Items.begin(), list->Items.end(), options.Defaults[kind]);
    return it == list->Items.end() ? -1 : static_cast<int>(it - list->Items.begin());
}

int OptionIndexOffset(TOptionKind kind)
{
    const auto it = std::find(kIndexStringOrder.begin(), kIndexStringOrder.end(), kind);
    return static_cast<int>(it - kIndexStringOrder.begin()) * 2;
}

std::string FormatOptionIndexString(const TOptionPositions& positions)
{
    std::string text;
    for (TOptionKind kind : kIndexStringOrder) {
        const int p = positions[kind];
        CheckPosition(p);
        text += static_cast<char>('0' + p / 10);
        text += static_cast<char>('0' + p % 10);
    }
    return text;
}

TOptionPositions ParseOptionIndexString(std::string_view text)
{
    if (!IsOptionIndexString(text))
        RaiseFmt("Invalid option index string \"%s\"", std::string(text).c_str());
    TOptionPositions positions{};
    for (TOptionKind kind : kIndexStringOrder) {
        const size_t at = static_cast<size_t>(OptionIndexOffset(kind));
        positions[kind] = (text[at] - '0') * 10 + (text[at + 1] - '0');
    }
    return positions;
}

std::string ReplaceOptionPosition(std::string_view text, TOptionKind kind, int position)
{
    if (!IsOptionIndexString(text))
        RaiseFmt("Invalid option index string \"%s\"", std::string(text).c_str());
    CheckPosition(position);
    std::string result(text);
    const size_t at = static_cast<size_t>(OptionIndexOffset(kind));
    result[at] = static_cast<char>('0' + position / 10);
    result[at + 1] = static_cast<char>('0' + position % 10);
    return result;
}

std::string FrameSizeFromText(std::string_view text)
{
    if (text == kKeepSize || text == kNoVideoSize)
        return {};
    return std::string(text);
}

std::string FrameRateFromText(std::string_view text)
{
    if (text == kKeepRate || text == kNoVideo)
        return {};
    return std::string(text);
}

int VideoBitrateFromText(std::string_view text)
{
    if (text == kNoVideo)
        return -1000;
    const std::string_view number = KbpsNumber(text, "video bit rate");
    if (!AllDigits(number) || number.size() > 10)
        RaiseBitrate("video bit rate", text);
    const long long value = std::stoll(std::string(number)) * 1000;
    if (value > INT_MAX)
        RaiseBitrate("video bit rate", text);
    return static_cast<int>(value);
}

int AudioBitrateFromText(std::string_view text)
{
    const std::string_view number = KbpsNumber(text, "audio bit rate");
    const size_t dot = number.find('.');
    const std::string_view whole = number.substr(0, dot);
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view() : number.substr(dot + 1);
    const bool wellFormed = (whole.empty() || AllDigits(whole)) &&
                            (fraction.empty() || AllDigits(fraction)) &&
                            (!whole.empty() || !fraction.empty()) && whole.size() <= 10;
    if (!wellFormed)
        RaiseBitrate("audio bit rate", text);
    // Exact decimal arithmetic: kbit/s to bit/s moves the point three places,
    // and anything left behind it would not be a whole number of bit/s.
    long long value = whole.empty() ? 0 : std::stoll(std::string(whole)) * 1000;
    long long scale = 100;
    for (size_t i = 0; i < fraction.size(); ++i) {
        const int digit = fraction[i] - '0';
        if (i < 3) {
            value += digit * scale;
            scale /= 10;
        } else if (digit != 0) {
            RaiseBitrate("audio bit rate", text);
        }
    }
    if (value > INT_MAX)
        RaiseBitrate("audio bit rate", text);
    return static_cast<int>(value);
}

std::string SampleRateFromText(std::string_view text)
{
    return std::string(text);
}

std::string AspectFromText(std::string_view text)
{
    if (text == kKeepAspect || text == kNoVideo)
        return {};
    if (text == kAspect4x3)
        return "4:3";
    if (text == kAspect16x9)
        return "16:9";
    if (text == kAspect37x20)
        return "37:20";
    if (text == kAspect47x20)
        return "47:20";
    RaiseFmt("Invalid aspect \"%s\"", std::string(text).c_str());
}

}  // namespace vexa::catalogue
