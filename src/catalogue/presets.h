#pragma once
// The encoding preset of every format: what a job converted to that format
// starts from.
#include <span>
#include <string_view>

namespace vexa::catalogue {

enum TPresetKind {
    pkVideo,        // assigns every field
    pkAudioOnly,    // file extension and audio; the output has no video
    pkDiscTarget,   // DVD/SVCD/VCD: the engine derives the rest from target and norm
    pkRealMedia,    // only codec and frame size; everything else stays at reset values
};

// Bit rates in bit/s; -1 leaves the rate unset, -1000 marks "none" (disc targets).
struct TPresetEntry {
    int Key = 0;
    TPresetKind Kind = pkVideo;
    std::string_view OutputExt;  // extension of the output file name, with its dot
    std::string_view FileExt;    // extension handed to the engine; may differ or be empty
    std::string_view VideoCodec;
    std::string_view VideoTag;
    std::string_view FrameRate;
    std::string_view FrameSize;
    std::string_view FrameAspectRatio;
    int VideoBitrate = -1;
    // Video entries without audio values of their own take the container's.
    bool OwnAudio = false;
    std::string_view AudioCodec;
    std::string_view AudioChannels;
    std::string_view AudioSampleRate;
    int AudioBitrate = -1;
    std::string_view TargetType;
    std::string_view NormType;
};

// Audio values a video entry gets from its output container.
struct TContainerAudio {
    std::string_view Ext;
    std::string_view AudioCodec;
    std::string_view AudioChannels;
    std::string_view AudioSampleRate;
    int AudioBitrate = -1;
};

// nullptr for a key that names no format.
const TPresetEntry* FindPreset(int key);

// Every preset row as the tables hold them, in key order.
std::span<const TPresetEntry> AllPresets();

// nullptr for an extension no video entry uses.
const TContainerAudio* FindContainerAudio(std::string_view ext);

}  // namespace vexa::catalogue
