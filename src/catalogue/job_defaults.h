#pragma once
// The job defaults: the values of the format currently chosen, from which a
// new job row is stamped and which a selected row receives when its format
// or one of its options changes.
#include "catalogue/option_lists.h"
#include "catalogue/presets.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::catalogue {

struct TJobDefaults {
    std::string Video_OutPutFileName;  // full output path of the file being added
    std::string Video_AddFileName;     // input being added; set by the caller, never reset
    std::string Video_FileExt;         // extension for the engine, with its dot
    std::string Video_AudioChannels;
    std::string Video_AudioSampleRate;
    std::string Video_FrameSize;       // "1280*720"; empty keeps the input's size
    std::string Video_FrameRate;       // empty keeps the input's rate
    std::string Video_NormType;        // "PAL", "NTSC" or empty
    std::string Video_VideoFilters;
    std::string Video_AudioVolume = "256";
    std::string Video_FrameAspectRatio;
    std::string Video_VideoCodec;
    std::string Video_AudioCodec;
    std::string Video_CopyTimestamp;
    std::string Video_FileFormat;
    std::string Video_TargetType;      // "dvd", "svcd", "vcd" or empty
    std::string Video_VideoTag;
    int Video_VideoBitrate = -1;       // bit/s; -1 unset, -1000 none
    int Video_AudioBitrate = -1;       // bit/s; -1 unset, -1000 none
    int Video_TimeStart = -1;
    int Video_TimeLength = -1;
    bool Video_DisableVideo = false;

    bool operator==(const TJobDefaults&) const = default;
};

// Every field back to its reset value except Video_AddFileName.
void ResetJobDefaults(TJobDefaults& defaults);

// Writes the entry's fields over reset defaults; fields the entry's kind does
// not assign keep whatever they hold.
void AssignPreset(TJobDefaults& defaults, const TPresetEntry& entry);

// folder + "/" + the input's file name with its extension replaced by ext.
std::string OutputFileName(std::string_view folder, std::string_view inputFile,
                           std::string_view ext);

// The path itself when nothing of that name exists or overwriting is chosen;
// otherwise the first free "<stem>_<n><ext>" for n = 1, 2, ... in the folder.
std::string UniqueOutputFileName(std::string_view path, std::string_view folder,
                                 bool overwrite);

// Resets the defaults and loads the preset of the key, with a unique output
// path for Video_AddFileName in the folder. False, with the defaults reset and
// no output path, for a key that names no format.
bool LoadPreset(TJobDefaults& defaults, int key, std::string_view folder, bool overwrite);

// The encoding columns a selected row receives from the defaults when a
// preset is applied ("视频编码" to "NormType"), in column order.
std::vector<std::pair<int, std::string>> PresetRowColumns(const TJobDefaults& defaults);

// One picker's shown entry into its job default (raises vexa::Error for an
// entry text the rules refuse), and that default as its row column text.
void ApplyOptionText(TJobDefaults& defaults, TOptionKind kind, std::string_view text);
std::string OptionColumnText(const TJobDefaults& defaults, TOptionKind kind);
int OptionColumn(TOptionKind kind);

}  // namespace vexa::catalogue
