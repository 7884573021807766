#pragma once
// The records in which a host describes a conversion task and in which the
// engine reports back. They hold no engine state, so the job list can keep
// them before any engine exists. Text is UTF-8.
#include "platform/bitmap.h"

#include <cstdint>
#include <limits>
#include <string>

namespace vexa {

// The libraries' "no time stamp" value: an unset time.
inline constexpr int64_t kNoTimestamp = std::numeric_limits<int64_t>::min();

struct TInputOptions {
    std::string FileName;   // when empty, the name given to the operation is stored here
    std::string FileFormat; // forced input format ("f")
    int64_t TimeStart = kNoTimestamp;  // "ss", microseconds
    int32_t ProgramID = -1;            // "programid"; negative: none
    std::string ExtOptions;            // name=value lines
    int32_t Tag = 0;
    void* Data = nullptr;
};

enum TOptionTargetType : int32_t { ttIgnore, ttVCD, ttSVCD, ttDVD };
enum TOptionNormType : int32_t { ntAuto, ntPAL, ntNTSC };
// The norm assumed when the inputs do not tell one; ntAuto is not a valid value.
using TOptionNormDefault = TOptionNormType;

struct TStreamInfo {
    double TimeStamp = -1.0;  // days since 1899-12-30, local time: 0 now, >0 that moment, <0 none
    int32_t Year = -1;
    int32_t Track = -1;
    std::string Title;
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

struct TOutputOptions {
    std::string FileName;
    std::string FileExt;       // kept with the record; the engine does not use it
    std::string FileFormat;    // "f"
    int32_t PacketSize = -1;   // "packetsize" when above 0
    int32_t MuxRate = -1;      // "muxrate" when above 0
    float MuxDelay = -1.0f;    // seconds, when above 0
    float MuxPreload = -1.0f;  // seconds, when above 0
    std::string AudioCodec;
    std::string AudioPreset;
    bool DisableAudio = false;
    int32_t AudioVolume = -1;  // 256 = unchanged; used when 0 or more
    int32_t AudioChannels = -1;
    int32_t AudioSampleRate = -1;
    int32_t AudioBitrate = -1;
    int32_t AudioBitRateTolerance = -1;
    std::string AudioLanguage;
    int32_t AudioSyncMethod = 0;
    std::string AudioTag;
    std::string VideoCodec;
    std::string VideoPreset;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;
    std::string FrameAspectRatio;
    int32_t CropTop = -1;
    int32_t CropBottom = -1;
    int32_t CropLeft = -1;
    int32_t CropRight = -1;
    int32_t GroupPictureSize = -1;
    int32_t VideoBitrate = -1;
    int32_t VideoMaxRate = -1;
    int32_t VideoMinRate = -1;
    int32_t VideoBitRateTolerance = -1;
    int32_t VideoBufSize = -1;
    int32_t VideoSyncMethod = -1;  // -1 automatic
    std::string VideoTag;
    std::string VideoFilters;
    std::string VideoLanguage;
    std::string SubtitleCodec;
    std::string SubtitlePreset;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;
    bool InputSync = false;
    bool CopyTimestamp = false;
    int64_t TimeStart = kNoTimestamp;
    int64_t TimeLength = kNoTimestamp;
    TStreamInfo Info;
    TOptionTargetType TargetType = ttIgnore;
    TOptionNormType NormType = ntAuto;
    TOptionNormDefault NormDefault = ntPAL;
    bool CustomHook = false;
    bool Join = false;
    std::string ExtOptions;
    int32_t Tag = 0;
    void* Data = nullptr;
};

struct TProgressInfo {
    int32_t TaskIndex = 0;
    int32_t FileIndex = 0;
    int32_t FrameNumber = -1;
    int32_t FPS = -1;
    float Quality = -1.0f;
    float BitRate = 0.0f;          // kbit/s
    int64_t CurrentSize = 0;       // bytes
    int64_t CurrentDuration = 0;   // microseconds
    int64_t TotalDuration = -1;    // microseconds; -1 when unknown
};

struct TTerminateInfo {
    int32_t TaskIndex = -1;  // -1: the whole run ended
    bool Finished = true;
    bool Exception = false;
    std::string ExceptionMsg;
    // An input ended clearly before the length its header declares (a
    // cut-off download): what was converted of it and what it declared,
    // microseconds; -1 when nothing was short.
    int64_t InputReached = -1;
    int64_t InputDeclared = -1;
};

struct TPreviewInfo {
    int32_t TaskIndex = 0;
    const platform::Bitmap* Bitmap = nullptr;  // owned by the task, valid during the event only
    int32_t FrameNumber = 0;
    int64_t PTS = 0;
};

struct THookInfo {
    int32_t TaskIndex = 0;
    platform::Bitmap* Bitmap = nullptr;  // the hook may change its pixels
    int32_t FrameNumber = 0;
    int64_t PTS = 0;
    bool Update = false;    // set by the hook when it changed the picture
    bool StopHook = false;  // set by the hook to be called no more
};

inline void InitInputOptions(TInputOptions& options) { options = TInputOptions{}; }
inline void InitOutputOptions(TOutputOptions& options) { options = TOutputOptions{}; }

}  // namespace vexa
