#pragma once
// The media probe: opens a media file and answers what is in it.
//
// TCustomAVProbe reads the file's facts: size, duration, streams of each
// kind with their codecs, sizes, rates and languages, metadata, and a
// multi-line description for display (FileInfoText). TAVProbe adds decoding
// of a video stream picture by picture, seeking by time, stepping to the
// next or previous key frame or the previous picture, and copying the
// decoded picture into a bitmap.
//
// A probe either opens a file itself (LoadFile) or is attached to a format
// context that its owner opened (SetFileHandle); an attached context is never
// closed by the probe, and its owner must detach (SetFileHandle(nullptr)) or
// reload the probe before closing it.
//
// Problems are reported by result (false, -1, an empty text or a cleared
// record) and by LastErrMsg; the same text goes to the log relay with the
// probe as sender. Two LoadFile failures only set LastErrMsg: an unknown
// forced format and a file whose stream parameters cannot be read. The
// operations that touch the libraries raise vexa::Error
// ("LibAVCodec not loaded." ...) when the probe's libraries are not loaded.
//
// A probe is used from one thread at a time. Decoders are opened and closed
// under the process-wide codec lock.
#include "media/av_ptr.h"
#include "media/ffmpeg_logger.h"
#include "media/rgb_convert.h"
#include "platform/bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexa {

// Times are microseconds unless a field says "in the stream's time base".

// Facts about the whole file.
struct TFileStreamInfo {
    int64_t StartTime = -1;  // first time stamp; -1 unknown
    int64_t Duration = -1;   // -1 unknown
    int32_t BitRate = -1;    // total bit/s as the format library reports it (0: it does not know)
    int64_t TimeStamp = -1;  // creation time, seconds since 1970-01-01 00:00 UTC; 0 none
    int32_t Year = -1;       // year tag; 0 none
    int32_t Track = -1;      // track number tag; 0 none
    // Metadata values of the keys "title", "author", "copyright", "comment",
    // "album", "genre" (exact keys); empty when absent.
    std::string Title, Author, Copyright, Comment, Album, Genre;
};

struct TAudioStreamInfo {
    std::string Language;         // the stream's "language" metadata
    std::string CodecName;        // "short(long name)", see CodecDisplayName
    int64_t StartTime = -1;       // in the stream's time base; -1 unknown
    int64_t StartTimeScaled = -1; // the same in microseconds
    int64_t Duration = -1;        // in the stream's time base; -1 unknown
    int64_t DurationScaled = -1;  // the same in microseconds
    int32_t BitRate = -1;
    int32_t Channels = -1;
    int32_t SampleRate = -1;
    AVSampleFormat SampleFormat = AV_SAMPLE_FMT_NONE;
};

struct TVideoStreamInfo {
    std::string Language;
    std::string CodecName;
    int64_t StartTime = -1;
    int64_t StartTimeScaled = -1;
    int64_t Duration = -1;
    int64_t DurationScaled = -1;
    int32_t BitRate = -1;
    int32_t Height = -1;
    int32_t Width = -1;
    float AspectRatio = -1;  // display aspect: width x sample aspect / height; 0 when the sample aspect is unset
    AVPixelFormat PixFmt = AV_PIX_FMT_NONE;
    AVRational FrameRate{-1, -1};  // the stream's base frame rate
};

struct TSubtitleStreamInfo {
    std::string Language;
    std::string CodecName;
};

enum TPictureType : int { ptUnknown, ptI, ptP, ptB, ptS, ptSI, ptSP, ptBI };

// The decoded picture of a TAVProbe. Picture points into Buffer, which the
// probe owns; both stay valid until the next decode, seek or close.
struct TFrameInfo {
    AVPixelFormat PixFmt = AV_PIX_FMT_NONE;
    int Width = -1;
    int Height = -1;
    bool IsKeyFrame = false;
    TPictureType PictureType = ptUnknown;
    int64_t PTS = AV_NOPTS_VALUE;          // microseconds from the stream's start, or AV_NOPTS_VALUE
    int64_t OriginalDTS = AV_NOPTS_VALUE;  // the picture's packet stamps, in the stream's time base
    int64_t OriginalPTS = AV_NOPTS_VALUE;
    int StreamIndex = -1;
    int64_t Position = -1;  // file position of the read that produced the picture; -1 unknown
    bool Ready = false;
    TPicturePlanes Picture;
    uint8_t* Buffer = nullptr;
    int Size = 0;
};

// Seek flags; their values are the format library's seek flags.
enum TSeekFlag : uint8_t { sfBackward = 1, sfByte = 2, sfAny = 4, sfFrame = 8 };
using TSeekFlags = uint8_t;

// "%.2d:%.2d:%.2d.%.3d" with hours not wrapped; AV_NOPTS_VALUE gives "N/A".
std::string ProbeDurationText(int64_t microseconds);
// "%.2f GB", "%.2f MB", "%.2f KB" above 1 GiB, 1 MiB, 1 KiB, else "%d Byte".
std::string ProbeSizeText(int64_t bytes);

class TCustomAVProbe {
public:
    TCustomAVProbe();
    virtual ~TCustomAVProbe();
    TCustomAVProbe(const TCustomAVProbe&) = delete;
    TCustomAVProbe& operator=(const TCustomAVProbe&) = delete;

    // The probe's library set (codec, format, util, scale, C runtime).
    bool AVLibLoaded() const;
    bool LoadAVLib(const std::string& APath);
    void UnloadAVLib();

    // Opens a file (a UTF-8 name); an empty AFormatName detects the format.
    // Closes what was open first; on failure the probe stays closed.
    bool LoadFile(const std::string& AFileName, const std::string& AFormatName = "");
    virtual void CloseFile();

    AVFormatContext* FileHandle() const { return FFileHandle; }
    // Attaches a context opened elsewhere (or detaches with nullptr); the
    // probe reads it but never closes it.
    virtual void SetFileHandle(AVFormatContext* Value);

    std::string FileName();
    std::string FormatName();
    std::string FormatLongName();

    int64_t FileSize() const { return FFileSize; }
    const std::string& ForceFormat() const { return FForceFormat; }
    int StreamCount() const { return FStreamCount; }
    int ProgramCount() const { return FProgramCount; }
    int AudioStreamCount() const { return FAudioStreamCount; }
    int VideoStreamCount() const { return FVideoStreamCount; }
    int SubtitleStreamCount() const { return FSubtitleStreamCount; }
    int FirstAudioStreamIndex() const { return FFirstAudioStreamIndex; }
    int FirstVideoStreamIndex() const { return FFirstVideoStreamIndex; }
    int FirstSubtitleStreamIndex() const { return FFirstSubtitleStreamIndex; }
    const std::string& LastErrMsg() const { return FLastErrMsg; }

    TFileStreamInfo GetFileStreamInfo();
    TFileStreamInfo FileStreamInfo() { return GetFileStreamInfo(); }

    // Records of one stream; -1 means the first stream of the kind. A
    // missing file, stream or kind gives a cleared record (texts empty,
    // numbers -1) and a report.
    TAudioStreamInfo AudioStreamInfo(int AStreamIndex);
    TVideoStreamInfo VideoStreamInfo(int AStreamIndex);
    TSubtitleStreamInfo SubtitleStreamInfo(int AStreamIndex);
    TAudioStreamInfo FirstAudioStreamInfo() { return AudioStreamInfo(-1); }
    TVideoStreamInfo FirstVideoStreamInfo() { return VideoStreamInfo(-1); }
    TSubtitleStreamInfo FirstSubtitleStreamInfo() { return SubtitleStreamInfo(-1); }

    // The description of the file: lines ending in "\r\n".
    std::string GetFileInfoText();
    std::string FileInfoText() { return GetFileInfoText(); }

    bool IsAudioStream(int AStreamIndex);
    bool IsVideoStream(int AStreamIndex);
    bool IsSubtitleStream(int AStreamIndex);

    // The codec display name of a stream: "decoder(long name)", else the
    // codec's registered name, else its tag.
    static std::string CodecDisplayName(const AVCodecParameters* par);

protected:
    // Fills the size, counts and first indexes from the context (all -1
    // without one); runs after every open, attach and close.
    virtual void DoFileOpened();
    // Sets LastErrMsg and posts the text to the log relay.
    void Report(TLogLevel ALevel, const std::string& AMsg);
    bool CheckLoaded();  // "file not loaded." when closed

    AVFormatContext* FFileHandle = nullptr;
    bool FOwnHandle = false;
    std::string FLastErrMsg;
    std::string FForceFormat;
    int64_t FFileSize = -1;
    int FStreamCount = -1;
    int FProgramCount = -1;
    int FAudioStreamCount = -1;
    int FVideoStreamCount = -1;
    int FSubtitleStreamCount = -1;
    int FFirstAudioStreamIndex = -1;
    int FFirstVideoStreamIndex = -1;
    int FFirstSubtitleStreamIndex = -1;

private:
    int LookupStream(int AStreamIndex, AVMediaType AType, const char* AKind);
    bool IsStreamOfType(int AStreamIndex, AVMediaType AType);
    std::string StreamLine(int AIndex);

    InputContextPtr FOwned;  // the context LoadFile opened
};

class TAVProbe : public TCustomAVProbe {
public:
    TAVProbe();
    ~TAVProbe() override;

    void CloseFile() override;

    // Moves the read position to APTS (microseconds from the stream's start,
    // or a byte offset with sfByte). Seeking needs a file the probe opened
    // itself: an attached context raises vexa::Error.
    bool Seek(int64_t APTS, TSeekFlags ASeekFlags = 0);
    // Decodes the next picture of a video stream (-1: the stream decoded
    // last, else the first video stream).
    bool Decode(int AStreamIndex = -1);
    bool DecodeNextKeyFrame(int AStreamIndex = -1);
    bool DecodePreviousKeyFrame(int AStreamIndex = -1);
    bool DecodePreviousFrame(int AStreamIndex = -1);
    // Copies the decoded picture into ABitmap (24-bit BGR, the picture's size).
    bool CopyToBitmap(platform::Bitmap& ABitmap);

    // End of file met while reading (EOF in the component's published names;
    // the C library owns that identifier).
    bool IsEOF() const { return FEOF; }
    const TFrameInfo& FrameInfo() const { return FPicture; }
    // The I/O position of the file; -1 when closed or unknown.
    int64_t Position();

protected:
    void DoFileOpened() override;

private:
    bool CheckSeekable();
    int ChooseDecodeStream(int AStreamIndex);
    bool OpenDecoder(int AStreamIndex);
    void CloseDecoder();
    void StorePicture(const AVFrame* AFrame, int64_t AReadPos, const AVPacket* ALastPacket);
    void ResetPicture();
    int64_t FrameDuration(int AStreamIndex) const;
    bool IsImage2() const;

    CodecContextPtr FCodec;
    int FCodecIndex = -1;  // the stream FCodec decodes
    bool FDraining = false;
    TRGBConvertContext FRGBContext;
    int FSeekIndex = -1;
    int64_t FStartTime = -1;
    int FDecodeIndex = -1;
    bool FEOF = false;
    TFrameInfo FPicture;
    AVMemPtr<uint8_t> FPictureBuffer;
    int64_t FLastPTS = AV_NOPTS_VALUE;
    int64_t FLastPos = -1;
    PacketPtr FPacket;
    FramePtr FFrame;
};

}  // namespace vexa
