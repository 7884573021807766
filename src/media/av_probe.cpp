#include "media/av_probe.h"

#include "media/ffmpeg_loader.h"
#include "media/lib_error_text.h"
#include "media/unicode_protocol.h"
#include "platform/error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <ctime>

namespace vexa {
namespace {

constexpr char kNotLoaded[] = "file not loaded.";
constexpr char kEofReached[] = "stream eof reached.";
constexpr char kReadOnly[] = "file cannot be seeked, handle is readonly.";

// The libraries every probe operation that opens or attaches needs, in the
// order their absence is reported.
constexpr TLibraries kCheckedLibraries{avCodec, avFormat, avUtil, swScale};

// Older ID3 frame names shown under their common names.
struct TDisplayKey {
    const char* Key;
    const char* Shown;
};
constexpr TDisplayKey kDisplayKeys[] = {
    {"TALB", "album"},     {"TAL", "album"},      {"TCOM", "composer"}, {"TCON", "genre"},
    {"TCO", "genre"},      {"TCOP", "copyright"}, {"TDRL", "date"},     {"TENC", "encoder"},
    {"TEN", "encoder"},    {"TIT2", "title"},     {"TT2", "title"},     {"TLAN", "language"},
    {"TPE1", "artist"},    {"TP1", "artist"},     {"TPOS", "disc"},     {"TPUB", "publisher"},
    {"TRCK", "track"},     {"TRK", "track"},      {"TSOA", "albumsort"}, {"TSOP", "authorsort"},
    {"TSOT", "titlesort"}, {"TYER", "year"},
};

const char* DisplayKey(const char* key)
{
    for (const TDisplayKey& k : kDisplayKeys)
        if (std::strcmp(k.Key, key) == 0)
            return k.Shown;
    return key;
}

// The whole key, in any case ("COMMENT" of a Matroska tag is "comment").
// Metadata texts of the current libraries are UTF-8 already, which is what
// the application's strings hold, so values are taken as they are.
std::string DictValue(const AVDictionary* dict, const char* key)
{
    const AVDictionaryEntry* e = dict ? AV.av_dict_get(dict, key, nullptr, 0) : nullptr;
    return e && e->value ? e->value : "";
}

std::string Trim(const char* text)
{
    if (!text)
        return "";
    std::string s(text);
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

int32_t ClampInt32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Leading decimal number of a tag such as "2010-05-01" or "3/12"; 0 when none.
int32_t LeadingNumber(const std::string& text)
{
    if (text.empty())
        return 0;
    return ClampInt32(std::strtoll(text.c_str(), nullptr, 10));
}

// "seconds.micro" as the info text shows start times.
std::string SecondsText(int64_t us)
{
    // The sign once, in front: -21333 is "-0.021333".
    const uint64_t magnitude = us < 0 ? 0 - static_cast<uint64_t>(us) : static_cast<uint64_t>(us);
    return Format("%s%" PRIu64 ".%06" PRIu64, us < 0 ? "-" : "", magnitude / 1000000, magnitude % 1000000);
}

// Rates print without decimals when whole, and in thousands when a multiple
// of 1000: 25, 29.97, 90k.
std::string RateText(double x, const char* unit)
{
    const long long r = std::llround(x * 100);
    if (r % 100 != 0)
        return Format(", %3.2f %s", x, unit);
    if (r % 100000 != 0)
        return Format(", %1.0f %s", x, unit);
    return Format(", %1.0fk %s", x / 1000, unit);
}

void RepairTimeBase(AVStream* st)
{
    if (st->time_base.den == 0)
        st->time_base.den = st->time_base.num != 0 ? st->time_base.num : 1;
}

// avio_tell is an inline over avio_seek, which the entry table binds.
int64_t IOPosition(AVIOContext* pb)
{
    return AV.avio_seek(pb, 0, SEEK_CUR);
}

int64_t ToMicroseconds(int64_t v, AVRational tb)
{
    return AV.av_rescale_q(v, tb, AV_TIME_BASE_Q);
}

void AppendLine(std::string& text, const std::string& line)
{
    text += line;
    text += "\r\n";
}

void AppendMetadata(std::string& text, const AVDictionary* dict, const char* prefix)
{
    const int count = dict ? AV.av_dict_count(dict) : 0;
    if (count == 0)
        return;
    const AVDictionaryEntry* first = AV.av_dict_get(dict, "", nullptr, AV_DICT_IGNORE_SUFFIX);
    if (count == 1 && first && std::strcmp(first->key, "language") == 0)
        return;
    AppendLine(text, Format("%sMetadata:", prefix));
    for (const AVDictionaryEntry* e = first; e; e = AV.av_dict_get(dict, "", e, AV_DICT_IGNORE_SUFFIX)) {
        if (std::strcmp(e->key, "language") == 0)
            continue;
        AppendLine(text, Format("%s  %-16s: %s", prefix, DisplayKey(e->key), e->value ? e->value : ""));
    }
}

}  // namespace

std::string ProbeDurationText(int64_t us)
{
    if (us == AV_NOPTS_VALUE)
        return "N/A";
    const int64_t secs = us / 1000000;
    return Format("%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64 ".%.3" PRId64, secs / 3600, secs / 60 % 60, secs % 60,
                  us % 1000000 * 1000 / 1000000);
}

std::string ProbeSizeText(int64_t bytes)
{
    if (bytes > 1073741824)
        return Format("%.2f GB", static_cast<double>(bytes) / 1073741824.0);
    if (bytes > 1048576)
        return Format("%.2f MB", static_cast<double>(bytes) / 1048576.0);
    if (bytes > 1024)
        return Format("%.2f KB", static_cast<double>(bytes) / 1024.0);
    return Format("%" PRId64 " Byte", bytes);
}

// ---------------------------------------------------------------------------
// TCustomAVProbe

TCustomAVProbe::TCustomAVProbe() = default;

TCustomAVProbe::~TCustomAVProbe()
{
    FForceFormat.clear();
    FOwned.reset();
    FFileHandle = nullptr;
}

bool TCustomAVProbe::AVLibLoaded() const
{
    return AVLibSetLoaded(kProbeLibraries);
}

bool TCustomAVProbe::LoadAVLib(const std::string& APath)
{
    return LoadAVLibSet(kProbeLibraries, APath, FLastErrMsg);
}

void TCustomAVProbe::UnloadAVLib()
{
    UnloadAVLibSet(kProbeLibraries);
}

void TCustomAVProbe::Report(TLogLevel ALevel, const std::string& AMsg)
{
    FLastErrMsg = AMsg;
    LogMessage(this, ALevel, AMsg);
}

bool TCustomAVProbe::CheckLoaded()
{
    if (FFileHandle)
        return true;
    Report(llWarning, kNotLoaded);
    return false;
}

bool TCustomAVProbe::LoadFile(const std::string& AFileName, const std::string& AFormatName)
{
    CheckAVLibSet(kCheckedLibraries);
    CloseFile();

    const AVInputFormat* format = nullptr;
    if (!AFormatName.empty()) {
        format = AV.av_find_input_format(AFormatName.c_str());
        if (!format) {
            FLastErrMsg = Format("Unknown input format: %s", AFormatName.c_str());
            return false;
        }
    }

    AVFormatContext* ctx = AV.avformat_alloc_context();
    if (!ctx) {
        Report(llError, AFileName + ": " + LibErrorText(AVERROR(ENOMEM)));
        return false;
    }
    // The context is prepared here rather than by the open, so that the
    // non-blocking flag is in place before the first read.
    ctx->flags |= AVFMT_FLAG_NONBLOCK;
    const int r = OpenInputFile(&ctx, EncodeLibFileName(AFileName), format, nullptr);
    if (r < 0) {
        Report(llError, AFileName + ": " + LibErrorText(r));
        CloseFile();
        return false;
    }
    FOwned.reset(ctx);
    FFileHandle = ctx;
    FOwnHandle = true;

    if (FindStreamInfo(ctx, nullptr) < 0) {
        FLastErrMsg = Format("%s: could not find codec parameters", AFileName.c_str());
        CloseFile();
        return false;
    }
    DoFileOpened();
    FForceFormat = AFormatName;
    return true;
}

void TCustomAVProbe::SetFileHandle(AVFormatContext* Value)
{
    CheckAVLibSet(kCheckedLibraries);
    CloseFile();
    FOwnHandle = false;
    FFileHandle = Value;
    DoFileOpened();
}

void TCustomAVProbe::CloseFile()
{
    FForceFormat.clear();
    FOwned.reset();  // only a context LoadFile opened; an attached one is its owner's
    FFileHandle = nullptr;
    FOwnHandle = false;
    DoFileOpened();
}

void TCustomAVProbe::DoFileOpened()
{
    FFileSize = -1;
    FStreamCount = FProgramCount = -1;
    FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
    FFirstAudioStreamIndex = FFirstVideoStreamIndex = FFirstSubtitleStreamIndex = -1;
    if (!FFileHandle)
        return;

    // Contexts without a byte stream (image sequences, devices) or with one
    // that cannot tell its size fall back to the file's directory entry.
    int64_t size = FFileHandle->pb ? AV.avio_size(FFileHandle->pb) : 0;
    if (size < 0)
        size = 0;
    if (size <= 0) {
        const std::string name = DecodeLibFileName(FFileHandle->url ? FFileHandle->url : "");
        struct stat st{};
        if (!name.empty() && ::access(name.c_str(), F_OK) == 0)
            size = ::stat(name.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
    }
    FFileSize = size;

    FStreamCount = static_cast<int>(FFileHandle->nb_streams);
    FProgramCount = static_cast<int>(FFileHandle->nb_programs);
    FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
    for (int i = 0; i < FStreamCount; ++i) {
        switch (FFileHandle->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            if (FVideoStreamCount++ == 0)
                FFirstVideoStreamIndex = i;
            break;
        case AVMEDIA_TYPE_AUDIO:
            if (FAudioStreamCount++ == 0)
                FFirstAudioStreamIndex = i;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (FSubtitleStreamCount++ == 0)
                FFirstSubtitleStreamIndex = i;
            break;
        default:
            break;
        }
    }
}

std::string TCustomAVProbe::FileName()
{
    if (!CheckLoaded())
        return "";
    return DecodeLibFileName(FFileHandle->url ? FFileHandle->url : "");
}

std::string TCustomAVProbe::FormatName()
{
    if (!CheckLoaded())
        return "";
    return FFileHandle->iformat && FFileHandle->iformat->name ? FFileHandle->iformat->name : "";
}

std::string TCustomAVProbe::FormatLongName()
{
    if (!CheckLoaded())
        return "";
    return FFileHandle->iformat && FFileHandle->iformat->long_name ? FFileHandle->iformat->long_name : "";
}

TFileStreamInfo TCustomAVProbe::GetFileStreamInfo()
{
    TFileStreamInfo info;
    if (!CheckLoaded())
        return info;
    const AVFormatContext* ctx = FFileHandle;
    info.StartTime = ctx->start_time != AV_NOPTS_VALUE ? ctx->start_time : -1;
    info.Duration = ctx->duration != AV_NOPTS_VALUE ? ctx->duration : -1;
    info.BitRate = ClampInt32(ctx->bit_rate);
    // The container's creation time, year and track live in its metadata in
    // this library generation.
    info.TimeStamp = 0;
    const std::string created = DictValue(ctx->metadata, "creation_time");
    int64_t when = 0;
    if (!created.empty() && AV.av_parse_time(&when, created.c_str(), 0) == 0 && when > 0)
        info.TimeStamp = when / 1000000;
    std::string year = DictValue(ctx->metadata, "year");
    if (year.empty())
        year = DictValue(ctx->metadata, "date");
    info.Year = LeadingNumber(year);
    info.Track = LeadingNumber(DictValue(ctx->metadata, "track"));
    info.Title = DictValue(ctx->metadata, "title");
    info.Author = DictValue(ctx->metadata, "author");
    info.Copyright = DictValue(ctx->metadata, "copyright");
    info.Comment = DictValue(ctx->metadata, "comment");
    info.Album = DictValue(ctx->metadata, "album");
    info.Genre = DictValue(ctx->metadata, "genre");
    return info;
}

std::string TCustomAVProbe::CodecDisplayName(const AVCodecParameters* par)
{
    if (!par)
        return "";
    if (const AVCodec* dec = AV.avcodec_find_decoder(par->codec_id)) {
        const std::string longName = Trim(dec->long_name);
        return longName.empty() ? std::string(dec->name) : Format("%s(%s)", dec->name, longName.c_str());
    }
    if (par->codec_id == AV_CODEC_ID_MPEG2TS)
        return "mpeg2ts";
    // Without a decoder the codec's registered name is the closest thing to
    // a name the context carries.
    if (const AVCodecDescriptor* d = AV.avcodec_descriptor_get(par->codec_id)) {
        const std::string name = Trim(d->name);
        if (!name.empty())
            return name;
    }
    const uint32_t tag = par->codec_tag;
    const unsigned char c[4] = {static_cast<unsigned char>(tag & 0xFF), static_cast<unsigned char>(tag >> 8 & 0xFF),
                                static_cast<unsigned char>(tag >> 16 & 0xFF),
                                static_cast<unsigned char>(tag >> 24 & 0xFF)};
    bool printable = true;
    for (unsigned char ch : c)
        printable = printable && ch >= 32 && ch <= 126;
    if (printable)
        return Format("%c%c%c%c / 0x%04X", c[0], c[1], c[2], c[3], tag);
    return Format("0x%04x", tag);
}

int TCustomAVProbe::LookupStream(int AStreamIndex, AVMediaType AType, const char* AKind)
{
    if (!CheckLoaded())
        return -1;
    if (AStreamIndex == -1) {
        const int first = AType == AVMEDIA_TYPE_AUDIO   ? FFirstAudioStreamIndex
                          : AType == AVMEDIA_TYPE_VIDEO ? FFirstVideoStreamIndex
                                                        : FFirstSubtitleStreamIndex;
        if (first < 0)
            Report(llError, Format("no %s stream.", AKind));
        return first;
    }
    if (AStreamIndex < 0 || AStreamIndex >= FStreamCount) {
        Report(llError, Format("stream index #%d is invalid.", AStreamIndex));
        return -1;
    }
    if (FFileHandle->streams[AStreamIndex]->codecpar->codec_type != AType) {
        Report(llError, Format("stream #%d is not %s stream.", AStreamIndex, AKind));
        return -1;
    }
    return AStreamIndex;
}

namespace {

template <typename TRecord>
void FillTimes(AVStream* st, TRecord& r)
{
    RepairTimeBase(st);
    r.StartTime = st->start_time != AV_NOPTS_VALUE ? st->start_time : -1;
    r.StartTimeScaled = st->start_time != AV_NOPTS_VALUE ? ToMicroseconds(st->start_time, st->time_base) : -1;
    r.Duration = st->duration != AV_NOPTS_VALUE ? st->duration : -1;
    r.DurationScaled = st->duration != AV_NOPTS_VALUE ? ToMicroseconds(st->duration, st->time_base) : -1;
}

}  // namespace

TAudioStreamInfo TCustomAVProbe::AudioStreamInfo(int AStreamIndex)
{
    TAudioStreamInfo r;
    const int i = LookupStream(AStreamIndex, AVMEDIA_TYPE_AUDIO, "audio");
    if (i < 0)
        return r;
    AVStream* st = FFileHandle->streams[i];
    const AVCodecParameters* par = st->codecpar;
    r.Language = DictValue(st->metadata, "language");
    r.CodecName = CodecDisplayName(par);
    FillTimes(st, r);
    r.BitRate = ClampInt32(par->bit_rate);
    r.Channels = par->ch_layout.nb_channels;
    r.SampleRate = par->sample_rate;
    r.SampleFormat = static_cast<AVSampleFormat>(par->format);
    return r;
}

TVideoStreamInfo TCustomAVProbe::VideoStreamInfo(int AStreamIndex)
{
    TVideoStreamInfo r;
    const int i = LookupStream(AStreamIndex, AVMEDIA_TYPE_VIDEO, "video");
    if (i < 0)
        return r;
    AVStream* st = FFileHandle->streams[i];
    const AVCodecParameters* par = st->codecpar;
    r.Language = DictValue(st->metadata, "language");
    r.CodecName = CodecDisplayName(par);
    FillTimes(st, r);
    r.BitRate = ClampInt32(par->bit_rate);
    r.Height = par->height;
    r.Width = par->width;
    const AVRational sar = par->sample_aspect_ratio;
    r.AspectRatio = sar.num != 0 && sar.den != 0 && par->height != 0
                        ? static_cast<float>(par->width * (static_cast<double>(sar.num) / sar.den) / par->height)
                        : 0.0f;
    r.PixFmt = static_cast<AVPixelFormat>(par->format);
    r.FrameRate = st->r_frame_rate;
    return r;
}

TSubtitleStreamInfo TCustomAVProbe::SubtitleStreamInfo(int AStreamIndex)
{
    TSubtitleStreamInfo r;
    const int i = LookupStream(AStreamIndex, AVMEDIA_TYPE_SUBTITLE, "subtitle");
    if (i < 0)
        return r;
    const AVStream* st = FFileHandle->streams[i];
    r.Language = DictValue(st->metadata, "language");
    r.CodecName = CodecDisplayName(st->codecpar);
    return r;
}

bool TCustomAVProbe::IsStreamOfType(int AStreamIndex, AVMediaType AType)
{
    if (!CheckLoaded())
        return false;
    if (AStreamIndex < 0 || AStreamIndex >= FStreamCount) {
        Report(llError, Format("stream index #%d is invalid.", AStreamIndex));
        return false;
    }
    return FFileHandle->streams[AStreamIndex]->codecpar->codec_type == AType;
}

bool TCustomAVProbe::IsAudioStream(int AStreamIndex)
{
    return IsStreamOfType(AStreamIndex, AVMEDIA_TYPE_AUDIO);
}

bool TCustomAVProbe::IsVideoStream(int AStreamIndex)
{
    return IsStreamOfType(AStreamIndex, AVMEDIA_TYPE_VIDEO);
}

bool TCustomAVProbe::IsSubtitleStream(int AStreamIndex)
{
    return IsStreamOfType(AStreamIndex, AVMEDIA_TYPE_SUBTITLE);
}

std::string TCustomAVProbe::StreamLine(int AIndex)
{
    const AVFormatContext* ctx = FFileHandle;
    AVStream* st = ctx->streams[AIndex];
    const AVCodecParameters* par = st->codecpar;
    std::string line = Format("Stream #%d", AIndex);
    if (ctx->iformat && (ctx->iformat->flags & AVFMT_SHOW_IDS))
        line += Format("[0x%x]", static_cast<unsigned>(st->id));
    const std::string language = DictValue(st->metadata, "language");
    if (!language.empty())
        line += Format("(%s)", language.c_str());
    int64_t g = AV.av_gcd(st->time_base.num, st->time_base.den);
    if (g == 0)
        g = 1;
    line += Format(", %d/%d", static_cast<int>(st->time_base.num / g), static_cast<int>(st->time_base.den / g));

    // The one-line description is made from a decoder-side context that
    // carries the stream's parameters; it is never opened.
    CodecContextPtr dec(AV.avcodec_alloc_context3(nullptr));
    AVRational codecTimeBase{0, 1};
    AVRational codecSar = par->sample_aspect_ratio;
    char desc[256] = {0};
    if (dec && AV.avcodec_parameters_to_context(dec.get(), par) >= 0) {
        AV.avcodec_string(desc, sizeof desc, dec.get(), 0);
        codecTimeBase = dec->time_base;
        codecSar = dec->sample_aspect_ratio;
    }
    line += ": ";
    line += desc;

    const AVRational sar = st->sample_aspect_ratio;
    if (sar.num != 0 && av_cmp_q(sar, codecSar) != 0) {
        int darNum = 0;
        int darDen = 0;
        AV.av_reduce(&darNum, &darDen, static_cast<int64_t>(par->width) * sar.num,
                     static_cast<int64_t>(par->height) * sar.den, 1024 * 1024);
        line = Format("%s, PAR %d:%d DAR %d:%d", line.c_str(), sar.num, sar.den, darNum, darDen);
    }

    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVRational rates[] = {st->avg_frame_rate, st->r_frame_rate, {st->time_base.den, st->time_base.num},
                                    {codecTimeBase.den, codecTimeBase.num}};
        const char* const units[] = {"fps", "tbr", "tbn", "tbc"};
        for (int k = 0; k < 4; ++k)
            if (rates[k].num != 0 && rates[k].den != 0)
                line += RateText(av_q2d(rates[k]), units[k]);
    }

    if (st->start_time != AV_NOPTS_VALUE)
        line += ", StartTime: " + SecondsText(ToMicroseconds(st->start_time, st->time_base));
    if (st->duration != AV_NOPTS_VALUE)
        line += ", Duration: " + ProbeDurationText(ToMicroseconds(st->duration, st->time_base));
    else
        line += ", Duration: N/A";
    return line;
}

std::string TCustomAVProbe::GetFileInfoText()
{
    if (!CheckLoaded())
        return "";
    const AVFormatContext* ctx = FFileHandle;
    std::string text;
    AppendLine(text, "File Name: " + FileName());
    AppendLine(text, "Format Name: " + FormatName());
    AppendLine(text, "Format Long Name: " + FormatLongName());
    AppendLine(text, "File Size: " + ProbeSizeText(FFileSize));

    const TFileStreamInfo info = GetFileStreamInfo();
    AppendLine(text, info.Duration < 0 ? std::string("Duration: N/A") : "Duration: " + ProbeDurationText(info.Duration));
    if (info.StartTime >= 0)
        AppendLine(text, "StartTime: " + SecondsText(info.StartTime));
    AppendLine(text, info.BitRate < 1 ? std::string("Bit Rate: N/A") : Format("Bit Rate: %d kb/s", info.BitRate / 1000));
    if (info.TimeStamp > 0) {
        // Standard time of the zone, as the job list's dates are shown;
        // daylight saving is not applied.
        ::tzset();
        const time_t local = static_cast<time_t>(info.TimeStamp - ::timezone);
        struct tm tm{};
        char when[32] = {0};
        if (::gmtime_r(&local, &tm))
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
        AppendLine(text, Format("Time Stamp: %s", when));
    }
    AppendMetadata(text, ctx->metadata, "");

    std::vector<bool> shown(ctx->nb_streams, false);
    for (unsigned p = 0; p < ctx->nb_programs; ++p) {
        const AVProgram* program = ctx->programs[p];
        // The current demuxers name these "service_provider"/"service_name".
        std::string provider = DictValue(program->metadata, "provider_name");
        if (provider.empty())
            provider = DictValue(program->metadata, "service_provider");
        std::string name = DictValue(program->metadata, "name");
        if (name.empty())
            name = DictValue(program->metadata, "service_name");
        if (provider.empty())
            provider = "N/A";
        if (name.empty())
            name = "N/A";
        AppendLine(text, Format("Program %d %s", program->id, (provider + "@" + name).c_str()));
        AppendMetadata(text, program->metadata, "  ");
        for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
            const unsigned i = program->stream_index[k];
            if (i >= ctx->nb_streams)
                continue;
            AppendLine(text, StreamLine(static_cast<int>(i)));
            AppendMetadata(text, ctx->streams[i]->metadata, "  ");
            shown[i] = true;
        }
    }
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        if (shown[i])
            continue;
        AppendLine(text, StreamLine(static_cast<int>(i)));
        AppendMetadata(text, ctx->streams[i]->metadata, "  ");
    }
    return text;
}

// ---------------------------------------------------------------------------
// TAVProbe

TAVProbe::TAVProbe() = default;

TAVProbe::~TAVProbe()
{
    TAVProbe::CloseFile();
}

void TAVProbe::CloseFile()
{
    FSeekIndex = -1;
    FStartTime = -1;
    FDecodeIndex = -1;
    FEOF = false;
    ResetPicture();
    FLastPTS = AV_NOPTS_VALUE;
    FLastPos = -1;
    CloseDecoder();
    FRGBContext.Reset();
    TCustomAVProbe::CloseFile();
}

void TAVProbe::DoFileOpened()
{
    TCustomAVProbe::DoFileOpened();
    if (!FFileHandle)
        return;
    FSeekIndex = FFirstVideoStreamIndex >= 0 ? FFirstVideoStreamIndex : FFirstAudioStreamIndex;
    const int64_t start = FSeekIndex >= 0 ? FFileHandle->streams[FSeekIndex]->start_time : FFileHandle->start_time;
    FStartTime = start != AV_NOPTS_VALUE ? start : 0;
}

void TAVProbe::CloseDecoder()
{
    FCodec.reset();  // frees under the codec lock
    FCodecIndex = -1;
    FDraining = false;
}

void TAVProbe::ResetPicture()
{
    if (FPicture.PTS != AV_NOPTS_VALUE)
        FLastPTS = FPicture.PTS;
    if (FPicture.Position >= 0)
        FLastPos = FPicture.Position;
    FPicture.PixFmt = AV_PIX_FMT_NONE;
    FPicture.Width = -1;
    FPicture.Height = -1;
    FPicture.StreamIndex = -1;
    FPicture.Position = -1;
    FPicture.PTS = AV_NOPTS_VALUE;
    FPicture.OriginalDTS = AV_NOPTS_VALUE;
    FPicture.OriginalPTS = AV_NOPTS_VALUE;
    FPicture.IsKeyFrame = false;
    FPicture.PictureType = ptUnknown;
    FPicture.Ready = false;
}

bool TAVProbe::IsImage2() const
{
    return FFileHandle && FFileHandle->iformat && FFileHandle->iformat->name &&
           AV.av_strcasecmp(FFileHandle->iformat->name, "image2") == 0;
}

int64_t TAVProbe::FrameDuration(int AStreamIndex) const
{
    if (!FFileHandle || AStreamIndex < 0 || AStreamIndex >= static_cast<int>(FFileHandle->nb_streams))
        return 40000;
    const AVRational rate = FFileHandle->streams[AStreamIndex]->r_frame_rate;
    if (rate.num == 0 || rate.den == 0)
        return 40000;
    return 1000000LL * rate.den / rate.num;
}

bool TAVProbe::CheckSeekable()
{
    if (!CheckLoaded())
        return false;
    if (!FOwnHandle) {
        Report(llWarning, kReadOnly);
        throw Error(kReadOnly);
    }
    if (IsImage2()) {
        Report(llInfo, "\"image2\" format cannot to be seeked.");
        return false;
    }
    return true;
}

bool TAVProbe::Seek(int64_t APTS, TSeekFlags ASeekFlags)
{
    if (!CheckSeekable())
        return false;
    AVFormatContext* ctx = FFileHandle;
    if (ctx->pb)
        LogMessageFmt(this, llDebug, "currunt position %" PRId64 " bytes", IOPosition(ctx->pb));

    int64_t target = APTS < 0 ? 0 : APTS;
    if (!(ASeekFlags & sfByte)) {
        if (FSeekIndex >= 0)
            target = AV.av_rescale_q(target, AV_TIME_BASE_Q, ctx->streams[FSeekIndex]->time_base);
        if (FStartTime > 0)
            target += FStartTime;
    }
    if (FCodec)
        AV.avcodec_flush_buffers(FCodec.get());
    FDraining = false;
    FEOF = false;
    ResetPicture();

    int r;
    if (APTS > 0) {
        r = AV.av_seek_frame(ctx, FSeekIndex, target, ASeekFlags);
    } else {
        r = AV.av_seek_frame(ctx, FSeekIndex, 0, ASeekFlags | sfBackward);
        if (r < 0)
            r = AV.av_seek_frame(ctx, FSeekIndex, target, ASeekFlags & ~sfBackward);
    }
    bool ok = r >= 0;
    if (!ok) {
        if (ASeekFlags & sfByte)
            Report(llError, Format("could not seek to position %" PRId64 " bytes", APTS));
        else
            Report(llError, Format("could not seek to position %0.3f seconds", static_cast<double>(APTS) / 1000000));
    }
    if (ctx->pb) {
        LogMessageFmt(this, llDebug, "seek to position %" PRId64 " bytes", IOPosition(ctx->pb));
        if (AV.avio_feof(ctx->pb)) {
            if (ok)
                Report(llInfo, kEofReached);
            FEOF = true;
            ok = false;
        }
    }
    return ok;
}

int TAVProbe::ChooseDecodeStream(int AStreamIndex)
{
    if (!CheckLoaded())
        return -1;
    if (AStreamIndex == -1) {
        if (FDecodeIndex >= 0)
            return FDecodeIndex;
        if (FFirstVideoStreamIndex < 0)
            Report(llError, "no video stream.");
        return FFirstVideoStreamIndex;
    }
    if (AStreamIndex < 0 || AStreamIndex >= FStreamCount) {
        Report(llError, Format("stream index #%d is invalid.", AStreamIndex));
        return -1;
    }
    if (FFileHandle->streams[AStreamIndex]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        Report(llError, Format("stream #%d is not video stream.", AStreamIndex));
        return -1;
    }
    return AStreamIndex;
}

bool TAVProbe::OpenDecoder(int AStreamIndex)
{
    const AVStream* st = FFileHandle->streams[AStreamIndex];
    const AVCodecParameters* par = st->codecpar;
    if (par->width == 0 || par->height == 0) {
        Report(llError, "frame size of codec is invalid.");
        return false;
    }
    CloseDecoder();
    const AVCodec* codec = AV.avcodec_find_decoder(par->codec_id);
    if (!codec) {
        Report(llError, Format("Unsupported codec (id=%d) for input file stream #%d", static_cast<int>(par->codec_id),
                               AStreamIndex));
        return false;
    }
    CodecContextPtr dec(AV.avcodec_alloc_context3(codec));
    if (!dec || AV.avcodec_parameters_to_context(dec.get(), par) < 0) {
        Report(llError, Format("Error while opening codec for input file stream #%d", AStreamIndex));
        return false;
    }
    dec->pkt_timebase = st->time_base;
    if (OpenCodec(dec.get(), codec, nullptr) < 0) {
        Report(llError, Format("Error while opening codec for input file stream #%d", AStreamIndex));
        return false;
    }
    FCodec = std::move(dec);
    FCodecIndex = AStreamIndex;
    FDraining = false;
    return true;
}

bool TAVProbe::Decode(int AStreamIndex)
{
    const int index = ChooseDecodeStream(AStreamIndex);
    if (index < 0)
        return false;
    if (index != FDecodeIndex) {
        ResetPicture();
        FDecodeIndex = index;
    }
    if (FPicture.Ready && IsImage2())
        return true;
    if (FEOF) {
        Report(llInfo, kEofReached);
        return false;
    }
    if (FCodecIndex != index && !OpenDecoder(index))
        return false;
    if (!FPacket)
        FPacket.reset(AV.av_packet_alloc());
    if (!FFrame)
        FFrame.reset(AV.av_frame_alloc());
    if (!FPacket || !FFrame) {
        Report(llError, LibErrorText(AVERROR(ENOMEM)));
        return false;
    }

    AVFormatContext* ctx = FFileHandle;
    const int64_t readPos = ctx->pb ? IOPosition(ctx->pb) : -1;
    AVPacket lastPacket{};  // stamps of the packet last handed to the decoder
    lastPacket.stream_index = index;
    lastPacket.pts = lastPacket.dts = AV_NOPTS_VALUE;
    for (;;) {
        int r = AV.avcodec_receive_frame(FCodec.get(), FFrame.get());
        if (r == 0) {
            // A picture the library cannot lay out in a buffer is skipped.
            if (AV.av_image_get_buffer_size(static_cast<AVPixelFormat>(FFrame->format), FFrame->width,
                                            FFrame->height, 1) > 0) {
                StorePicture(FFrame.get(), readPos, &lastPacket);
                AV.av_frame_unref(FFrame.get());
                return true;
            }
            AV.av_frame_unref(FFrame.get());
            continue;
        }
        // The decoder has given everything it held after the end of input
        // (or failed while draining): the stream is over.
        if (r == AVERROR_EOF || FDraining)
            break;
        // Otherwise it wants input; a decode error just moves on.
        r = AV.av_read_frame(ctx, FPacket.get());
        if (r == AVERROR(EAGAIN))
            continue;
        if (r < 0) {
            // End of input: hand the decoder the end so that it gives the
            // pictures it still holds back for reordering.
            FDraining = true;
            AV.avcodec_send_packet(FCodec.get(), nullptr);
            continue;
        }
        if (FPacket->stream_index != index) {
            AV.av_packet_unref(FPacket.get());
            continue;
        }
        lastPacket.pts = FPacket->pts;
        lastPacket.dts = FPacket->dts;
        lastPacket.flags = FPacket->flags;
        AV.avcodec_send_packet(FCodec.get(), FPacket.get());
        AV.av_packet_unref(FPacket.get());
    }
    Report(llInfo, kEofReached);
    FEOF = true;
    return false;
}

void TAVProbe::StorePicture(const AVFrame* AFrame, int64_t AReadPos, const AVPacket* ALastPacket)
{
    const AVPixelFormat fmt = static_cast<AVPixelFormat>(AFrame->format);
    const int size = AV.av_image_get_buffer_size(fmt, AFrame->width, AFrame->height, 1);
    if (FPicture.Size < size || !FPictureBuffer) {
        FPictureBuffer.reset(static_cast<uint8_t*>(AV.av_malloc(static_cast<size_t>(size))));
        FPicture.Size = FPictureBuffer ? size : 0;
    }
    FPicture.Buffer = FPictureBuffer.get();

    LogMessageFmt(this, llDebug, "pkt.st_idx=%d, dts=%" PRId64 ", pts=%" PRId64 ", flags=%d, pict_type=%d",
                  ALastPacket->stream_index, ALastPacket->dts, ALastPacket->pts, ALastPacket->flags,
                  static_cast<int>(AFrame->pict_type));

    FPicture.PixFmt = fmt;
    FPicture.Width = AFrame->width;
    FPicture.Height = AFrame->height;
    FPicture.IsKeyFrame = AFrame->key_frame == 1;
    FPicture.PictureType = AFrame->pict_type >= 0 && AFrame->pict_type <= 7
                               ? static_cast<TPictureType>(AFrame->pict_type)
                               : ptUnknown;

    // The decoder hands every picture with the stamps of its own packet, so
    // its presentation stamp comes first; the packet order stamp and the
    // stamp of the last packet read only stand in when it is missing.
    int64_t stamp = AFrame->pts;
    if (stamp == AV_NOPTS_VALUE)
        stamp = AFrame->pkt_dts;
    if (stamp == AV_NOPTS_VALUE)
        stamp = ALastPacket->pts;
    if (FPicture.PTS != AV_NOPTS_VALUE)
        FLastPTS = FPicture.PTS;
    if (stamp == AV_NOPTS_VALUE) {
        FPicture.PTS = AV_NOPTS_VALUE;
    } else {
        const AVStream* st = FFileHandle->streams[FDecodeIndex];
        if (st->start_time != AV_NOPTS_VALUE)
            stamp -= st->start_time;
        FPicture.PTS = ToMicroseconds(stamp, st->time_base);
        AV.av_log(nullptr, AV_LOG_DEBUG, "decode PTS: %0.3f\n", static_cast<double>(FPicture.PTS) / 1000000);
    }
    FPicture.OriginalDTS = AFrame->pkt_dts;
    FPicture.OriginalPTS = AFrame->pts;
    FPicture.StreamIndex = FDecodeIndex;
    if (FPicture.Position >= 0)
        FLastPos = FPicture.Position;
    FPicture.Position = AReadPos;

    FPicture.Picture = TPicturePlanes{};
    if (FPictureBuffer) {
        AV.av_image_fill_arrays(FPicture.Picture.data, FPicture.Picture.linesize, FPictureBuffer.get(), fmt,
                                AFrame->width, AFrame->height, 1);
        AV.av_image_copy(FPicture.Picture.data, FPicture.Picture.linesize, const_cast<const uint8_t**>(AFrame->data),
                         AFrame->linesize, fmt, AFrame->width, AFrame->height);
        FPicture.Ready = true;
    }
}

bool TAVProbe::DecodeNextKeyFrame(int AStreamIndex)
{
    const int index = ChooseDecodeStream(AStreamIndex);
    if (index < 0)
        return false;
    const int64_t duration = FrameDuration(index);
    const int64_t target = FPicture.PTS > 0 ? FPicture.PTS + duration : duration;
    return Seek(target, 0) && Decode(AStreamIndex);
}

bool TAVProbe::DecodePreviousKeyFrame(int AStreamIndex)
{
    const int index = ChooseDecodeStream(AStreamIndex);
    if (index < 0)
        return false;
    const int64_t duration = FrameDuration(index);
    int64_t reference = FPicture.PTS;
    if (reference == AV_NOPTS_VALUE)
        reference = FLastPTS;
    if (reference == AV_NOPTS_VALUE)
        reference = FFileHandle->duration != AV_NOPTS_VALUE ? FFileHandle->duration : 0;

    // Step back one frame duration more each time until a key frame before
    // the reference decodes. Whether a seek went back far enough is judged by
    // the picture's time: demuxers that seek lazily leave the I/O position
    // where it was, so it cannot tell.
    for (int64_t h = 1;; ++h) {
        const int64_t back = h * duration;
        const bool canGoBack = reference >= back;
        if (!Seek(reference - back, sfBackward)) {
            if (canGoBack)
                continue;
            break;
        }
        if (!Decode(AStreamIndex)) {
            if (canGoBack)
                continue;
            break;
        }
        if (FPicture.PTS < reference || FPicture.PTS <= 0)
            return true;
        // Nothing earlier exists once the search reached the start.
        if (!canGoBack)
            break;
    }
    FLastErrMsg = "Could not seek to the previous key-frame. " + FLastErrMsg;
    return false;
}

bool TAVProbe::DecodePreviousFrame(int AStreamIndex)
{
    const int index = ChooseDecodeStream(AStreamIndex);
    if (index < 0)
        return false;
    int64_t current = FPicture.PTS;
    if (current == AV_NOPTS_VALUE)
        current = FLastPTS;
    if (current == AV_NOPTS_VALUE)
        current = 0;
    const int64_t target = current - 2 * FrameDuration(index);
    if (!DecodePreviousKeyFrame(AStreamIndex))
        return false;
    // The key frame itself may already be the picture wanted.
    while (FPicture.PTS == AV_NOPTS_VALUE || FPicture.PTS <= target)
        if (!Decode(AStreamIndex))
            return false;
    return true;
}

bool TAVProbe::CopyToBitmap(platform::Bitmap& ABitmap)
{
    if (!FPicture.Ready) {
        Report(llError, "picture not ready, please decode first");
        return false;
    }
    if (FRGBContext.ToBitmap(FPicture.Picture.data, FPicture.Picture.linesize, FPicture.PixFmt, FPicture.Width,
                             FPicture.Height)) {
        ABitmap = FRGBContext.Bitmap;
        return true;
    }
    ABitmap.SetSize(FPicture.Width, FPicture.Height);
    ABitmap.Fill(0, 0, 0);
    AV.av_log(nullptr, AV_LOG_ERROR, "convert picture to bitmap failed\n");
    return false;
}

int64_t TAVProbe::Position()
{
    if (!CheckLoaded())
        return -1;
    if (!FFileHandle->pb) {
        Report(llWarning, "cannot get position");
        return -1;
    }
    return IOPosition(FFileHandle->pb);
}

}  // namespace vexa
