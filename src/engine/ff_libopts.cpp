#include "engine/ff_libopts.h"

#include "engine/ff_common.h"
#include "engine/ff_translate.h"
#include "media/ffmpeg_logger.h"
#include "platform/error.h"

#include <algorithm>

namespace vexa {

namespace {

const int kKindFlags[kCodecSetCount] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                        AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// The class pointer of a codec or format stands in for an object when
// looking options up without one.
void* FakeObject(const AVClass* const* cls)
{
    return const_cast<const AVClass**>(cls);
}

bool DictValue(const AVDictionary* dict, const std::string& name, std::string& value)
{
    const AVDictionaryEntry* e = AV.av_dict_get(dict, name.c_str(), nullptr, AV_DICT_MATCH_CASE);
    if (!e)
        return false;
    value = e->value;
    return true;
}

bool GenericValue(void* obj, const std::string& name, std::string& value)
{
    if (!obj || !AV.av_opt_find(obj, name.c_str(), nullptr, 0, 0))
        return false;
    uint8_t* text = nullptr;
    if (AV.av_opt_get(obj, name.c_str(), 0, &text) < 0 || !text)
        return false;
    value = reinterpret_cast<char*>(text);
    AV.av_free(text);
    return true;
}

}  // namespace

TFFOptions::TFFOptions(int swsFlags)
{
    for (int k = 0; k < kCodecSetCount; ++k) {
        avcodec_opts[k].reset(AV.avcodec_alloc_context3(nullptr));
        if (!avcodec_opts[k])
            Raise("avcodec_alloc_context3 failed");
        avcodec_opts[k]->codec_type = static_cast<AVMediaType>(k);
    }
    avformat_opts.reset(AV.avformat_alloc_context());
    if (!avformat_opts)
        Raise("avformat_alloc_context failed");
    sws_opts.reset(AV.sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P, swsFlags, nullptr,
                                     nullptr, nullptr));
}

int TFFOptions::ScalerFlags() const
{
    int64_t v = SWS_BICUBIC;
    if (sws_opts)
        AV.av_opt_get_int(sws_opts.get(), "sws_flags", 0, &v);
    return static_cast<int>(v);
}

int TFFOptions::SetInCodecSet(int kind, const std::string& name, const std::string& value,
                              const std::string& codecName, std::string& setName)
{
    AVCodecContext* set = avcodec_opts[kind].get();
    if (const AVOption* o = AV.av_opt_find(set, name.c_str(), nullptr, kKindFlags[kind], 0)) {
        if (AV.av_opt_set(set, name.c_str(), value.c_str(), 0) < 0)
            return -1;
        setName = o->name;
        codec_set_names[kind].insert(setName);
        return 1;
    }
    if (kKindFlags[kind] == 0)
        return 0;  // data and attachment codecs have no private options worth a search

    // Private options: the named codec first, then every codec of the kind
    // that has the option, until one accepts the value.
    std::vector<const AVCodec*> candidates;
    void* iter = nullptr;
    while (const AVCodec* c = AV.av_codec_iterate(&iter)) {
        if (c->type != kind || !c->priv_class)
            continue;
        if (!AV.av_opt_find(FakeObject(&c->priv_class), name.c_str(), nullptr, kKindFlags[kind],
                            AV_OPT_SEARCH_FAKE_OBJ))
            continue;
        if (!codecName.empty() && codecName == c->name)
            candidates.insert(candidates.begin(), c);
        else
            candidates.push_back(c);
    }
    if (candidates.empty())
        return 0;
    for (const AVCodec* c : candidates) {
        CodecContextPtr probe(AV.avcodec_alloc_context3(c));
        if (probe && probe->priv_data && AV.av_opt_set(probe->priv_data, name.c_str(), value.c_str(), 0) >= 0) {
            setName = name;
            AVDictionary* d = codec_priv[kind].release();
            AV.av_dict_set(&d, name.c_str(), value.c_str(), 0);
            codec_priv[kind].reset(d);
            return 1;
        }
    }
    return -1;
}

int TFFOptions::SetInFormatSet(const std::string& name, const std::string& value, std::string& setName)
{
    AVFormatContext* set = avformat_opts.get();
    if (const AVOption* o = AV.av_opt_find(set, name.c_str(), nullptr, 0, 0)) {
        if (AV.av_opt_set(set, name.c_str(), value.c_str(), 0) < 0)
            return -1;
        setName = o->name;
        format_set_names.insert(setName);
        return 1;
    }
    bool found = false;
    bool accepted = false;
    void* iter = nullptr;
    while (!accepted) {
        const AVOutputFormat* f = AV.av_muxer_iterate(&iter);
        if (!f)
            break;
        if (!f->priv_class ||
            !AV.av_opt_find(FakeObject(&f->priv_class), name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ))
            continue;
        found = true;
        AVFormatContext* raw = nullptr;
        if (AV.avformat_alloc_output_context2(&raw, f, nullptr, nullptr) < 0 || !raw)
            continue;
        FormatContextPtr probe(raw);
        accepted = probe->priv_data && AV.av_opt_set(probe->priv_data, name.c_str(), value.c_str(), 0) >= 0;
    }
    if (!found) {
        // Demuxer options cannot be checked without opening a file; they
        // are kept as given.
        iter = nullptr;
        while (const AVInputFormat* f = AV.av_demuxer_iterate(&iter)) {
            if (f->priv_class &&
                AV.av_opt_find(FakeObject(&f->priv_class), name.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ)) {
                found = accepted = true;
                break;
            }
        }
    }
    if (!found)
        return 0;
    if (!accepted)
        return -1;
    setName = name;
    AVDictionary* d = format_priv.release();
    AV.av_dict_set(&d, name.c_str(), value.c_str(), 0);
    format_priv.reset(d);
    return 1;
}

int TFFOptions::SetInScaler(const std::string& name, const std::string& value, std::string& setName)
{
    if (!sws_opts)
        return 0;
    const AVOption* o = AV.av_opt_find(sws_opts.get(), name.c_str(), nullptr, 0, 0);
    if (!o)
        return 0;
    setName = o->name;
    return AV.av_opt_set(sws_opts.get(), name.c_str(), value.c_str(), 0) >= 0 ? 1 : -1;
}

int TFFOptions::SetOne(const std::string& name, const std::string& value, const std::string* codecNames)
{
    static const std::string none;
    std::string setName;
    int result = 0;
    for (int k = 0; k < kCodecSetCount; ++k) {
        std::string n;
        const int r = SetInCodecSet(k, name, value, codecNames ? codecNames[k] : none, n);
        if (r < 0) {
            result = -1;
            break;
        }
        if (r > 0) {
            result = 1;
            setName = n;
        }
    }
    if (result == 0)
        result = SetInFormatSet(name, value, setName);
    if (result == 0)
        result = SetInScaler(name, value, setName);
    if (result == 0 && name.size() > 1 && (name[0] == 'a' || name[0] == 'v' || name[0] == 's')) {
        const int kind = name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : name[0] == 'v' ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_SUBTITLE;
        result = SetInCodecSet(kind, name.substr(1), value, codecNames ? codecNames[kind] : none, setName);
    }
    if (result < 0) {
        AV.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str());
        return -1;
    }
    if (result == 0)
        return 0;

    opt_names.push_back(setName);
    int64_t debug = 0, fdebug = 0;
    AV.av_opt_get_int(avcodec_opts[AVMEDIA_TYPE_VIDEO].get(), "debug", 0, &debug);
    AV.av_opt_get_int(avformat_opts.get(), "fdebug", 0, &fdebug);
    if (debug || fdebug)
        TFFLogger::Instance().SetLogLevel(llDebug);
    return 1;
}

bool TFFOptions::Set(const std::string& rawName, const std::string& rawValue, const std::string* codecNames)
{
    const std::string name = TrimText(rawName);
    const std::string value = TrimText(rawValue);
    if (name.empty() || value.empty())
        return false;
    bool all = true;
    for (const auto& [n, v] : TranslateLibraryOption(name, value)) {
        const int r = SetOne(n, v, codecNames);
        if (r == 0 && std::find(unknown_names.begin(), unknown_names.end(), name) == unknown_names.end())
            unknown_names.push_back(name);
        all = r > 0 && all;
    }
    return all;
}

bool TFFOptions::CodecValue(AVMediaType kind, const std::string& name, std::string& value) const
{
    if (kind < 0 || kind >= kCodecSetCount)
        return false;
    if (DictValue(codec_priv[kind].get(), name, value))
        return true;
    return codec_set_names[kind].count(name) && GenericValue(avcodec_opts[kind].get(), name, value);
}

bool TFFOptions::FormatValue(const std::string& name, std::string& value) const
{
    if (DictValue(format_priv.get(), name, value))
        return true;
    return format_set_names.count(name) && GenericValue(avformat_opts.get(), name, value);
}

void TFFOptions::ApplyCodecOptions(AVMediaType kind, AVCodecContext* target, int flags) const
{
    for (const std::string& name : opt_names) {
        std::string value;
        if (!CodecValue(kind, name, value))
            continue;
        if (AV.av_opt_find(target, name.c_str(), nullptr, flags, AV_OPT_SEARCH_CHILDREN))
            AV.av_opt_set(target, name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN);
    }
}

void TFFOptions::ApplyFormatOptions(AVFormatContext* target, int flags) const
{
    for (const std::string& name : opt_names) {
        std::string value;
        if (!FormatValue(name, value))
            continue;
        if (AV.av_opt_find(target, name.c_str(), nullptr, flags, AV_OPT_SEARCH_CHILDREN))
            AV.av_opt_set(target, name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN);
    }
}

void TFFOptions::CollectFormatOptions(AVDictionary** dict, int flags) const
{
    for (const std::string& name : opt_names) {
        std::string value;
        if (DictValue(format_priv.get(), name, value) ||
            (AV.av_opt_find(avformat_opts.get(), name.c_str(), nullptr, flags, 0) && FormatValue(name, value)))
            AV.av_dict_set(dict, name.c_str(), value.c_str(), 0);
    }
}

}  // namespace vexa
