#pragma once
// The library option contexts of a task: where options the vocabulary does
// not know are looked for, validated and remembered, and from where they are
// copied into every input, output and stream the task opens.
#include "media/av_ptr.h"

#include <set>
#include <string>
#include <vector>

namespace vexa {

struct FormatContextDeleter {
    void operator()(AVFormatContext* p) const { AV.avformat_free_context(p); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;

// Media kinds of the five codec parameter sets, in set order.
inline constexpr int kCodecSetCount = 5;

class TFFOptions {
public:
    explicit TFFOptions(int swsFlags);
    TFFOptions(const TFFOptions&) = delete;
    TFFOptions& operator=(const TFFOptions&) = delete;

    // The fallback. codecNames[kind] names the codec chosen for that kind so
    // far (may be empty); its private options are checked against it first.
    // Returns whether an option was set.
    bool Set(const std::string& name, const std::string& value, const std::string* codecNames);

    // Copies the remembered options that `target` has with all of `flags`
    // from the codec set of `kind` (encoder or decoder contexts, private
    // options included).
    void ApplyCodecOptions(AVMediaType kind, AVCodecContext* target, int flags) const;
    // The same from the format set into an output context (muxer options too).
    void ApplyFormatOptions(AVFormatContext* target, int flags) const;
    // Format-set options for a demuxer that is not chosen yet.
    void CollectFormatOptions(AVDictionary** dict, int flags) const;

    // The remembered value text of `name` in a codec set; false when the set
    // does not hold it.
    bool CodecValue(AVMediaType kind, const std::string& name, std::string& value) const;
    bool FormatValue(const std::string& name, std::string& value) const;

    AVCodecContext* CodecSet(AVMediaType kind) const { return avcodec_opts[kind].get(); }
    AVFormatContext* FormatSet() const { return avformat_opts.get(); }
    SwsContext* Scaler() const { return sws_opts.get(); }
    int ScalerFlags() const;

    const std::vector<std::string>& Names() const { return opt_names; }
    // Names that no set knows, in the order they were first given.
    const std::vector<std::string>& UnknownNames() const { return unknown_names; }

private:
    // 1: set, 0: the set has no such option, -1: the value was refused.
    int SetInCodecSet(int kind, const std::string& name, const std::string& value, const std::string& codecName,
                      std::string& setName);
    int SetInFormatSet(const std::string& name, const std::string& value, std::string& setName);
    int SetInScaler(const std::string& name, const std::string& value, std::string& setName);
    // 1: set, 0: no set knows the name, -1: the value was refused.
    int SetOne(const std::string& name, const std::string& value, const std::string* codecNames);

    std::vector<std::string> opt_names;  // in the order they were set
    std::vector<std::string> unknown_names;
    CodecContextPtr avcodec_opts[kCodecSetCount];
    FormatContextPtr avformat_opts;
    SwsPtr sws_opts;
    // Private options of encoders, decoders, muxers and demuxers: the set
    // objects cannot hold them, so their checked value texts live here.
    DictPtr codec_priv[kCodecSetCount];
    DictPtr format_priv;
    // Names set in each set object: only these are copied, so a default of
    // an option shared by several kinds never reaches the other kinds.
    std::set<std::string> codec_set_names[kCodecSetCount];
    std::set<std::string> format_set_names;
};

}  // namespace vexa
