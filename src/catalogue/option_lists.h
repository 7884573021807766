#pragma once
// The six advanced option pickers: the lists each format offers in them, the
// default entries, the option index string a job row keeps, and how a shown
// entry becomes a job value.
#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::catalogue {

// The pickers, in the order a refill fills them. Widgets of the main window:
// bsSkinComboBox1, 2, 9, 3, 10 and 4.
enum TOptionKind {
    okFrameSize,
    okVideoBitrate,
    okFrameRate,
    okAudioBitrate,
    okSampleRate,
    okAspect,
};
inline constexpr int kOptionKindCount = 6;

inline constexpr std::array<TOptionKind, kOptionKindCount> kFillOrder = {
    okFrameSize, okVideoBitrate, okFrameRate, okAudioBitrate, okSampleRate, okAspect};
// Order of the two-digit positions in an option index string.
inline constexpr std::array<TOptionKind, kOptionKindCount> kIndexStringOrder = {
    okFrameSize, okVideoBitrate, okAudioBitrate, okAspect, okFrameRate, okSampleRate};
// Order in which the shown entries are taken into the job defaults.
inline constexpr std::array<TOptionKind, kOptionKindCount> kTakeOrder = {
    okFrameSize, okFrameRate, okVideoBitrate, okSampleRate, okAudioBitrate, okAspect};

// Entry texts with a meaning of their own.
inline constexpr std::string_view kKeepSize = "保持原分辨率";
inline constexpr std::string_view kKeepRate = "保持原帧速率";
inline constexpr std::string_view kKeepAspect = "保持原视频模式";
inline constexpr std::string_view kNoVideoSize = "该格式无视频";
inline constexpr std::string_view kNoVideo = "无视频";
inline constexpr std::string_view kAspect4x3 = "普通视频4:3模式";
inline constexpr std::string_view kAspect16x9 = "宽屏视频16:9模式";
inline constexpr std::string_view kAspect37x20 = "宽屏视频37:20模式";
inline constexpr std::string_view kAspect47x20 = "宽屏视频47:20模式";

struct TOptionList {
    std::string_view Label;  // "R1", "B12", ...
    TOptionKind Kind = okFrameSize;
    std::vector<std::string_view> Items;
};

// One format's lists and default entries, indexed by TOptionKind.
struct TFormatOptions {
    int Key = 0;
    bool AudioOnly = false;  // the four video pickers are disabled
    std::array<std::string_view, kOptionKindCount> Lists;
    std::array<std::string_view, kOptionKindCount> Defaults;
};

// nullptr for an unknown label.
const TOptionList* FindOptionList(std::string_view label);
std::span<const TOptionList> AllOptionLists();

// nullptr for a key that names no format.
const TFormatOptions* FindFormatOptions(int key);
// Every row as the tables hold them, in key order.
std::span<const TFormatOptions> AllFormatOptions();

// Position of the default entry in its list; -1 when the list or entry is missing.
int DefaultPosition(const TFormatOptions& options, TOptionKind kind);

// ---- Option index string: twelve digits, two per picker in kIndexStringOrder.

using TOptionPositions = std::array<int, kOptionKindCount>;  // indexed by TOptionKind

// Raises vexa::Error for a position outside 0..99.
std::string FormatOptionIndexString(const TOptionPositions& positions);
// Raises vexa::Error unless the text is exactly twelve decimal digits.
TOptionPositions ParseOptionIndexString(std::string_view text);
// The string with one picker's two digits replaced, the other ten unchanged.
// Raises vexa::Error for a malformed string or a position outside 0..99.
std::string ReplaceOptionPosition(std::string_view text, TOptionKind kind, int position);
// 0-based offset of the picker's two digits.
int OptionIndexOffset(TOptionKind kind);

// ---- Shown entry text to job value.

std::string FrameSizeFromText(std::string_view text);  // keep/no video: empty
std::string FrameRateFromText(std::string_view text);  // keep/no video: empty
// "N kbps" -> N * 1000; "无视频" -> -1000. Raises vexa::Error otherwise.
int VideoBitrateFromText(std::string_view text);
// "N kbps" with N whole or decimal ("4.75 kbps" -> 4750). Raises vexa::Error
// for anything else, including a rate that is not a whole number of bit/s.
int AudioBitrateFromText(std::string_view text);
std::string SampleRateFromText(std::string_view text);
// The four ratios of the aspect entries; keep/no video: empty. Raises
// vexa::Error for any other text.
std::string AspectFromText(std::string_view text);

}  // namespace vexa::catalogue
