#include "engine/ff_presets.h"

#include "engine/ff_common.h"

namespace vexa {

namespace {

// One row of the x264 presets; an empty field is a line the preset lacks.
// Partition flags are abbreviated: i8, i4, p8, p4, b8.
struct TX264Row {
    const char* name;
    const char* coder;
    const char* flags;
    const char* partitions;
    const char* me_method;
    const char* subq;
    const char* me_range;
    const char* sc_threshold;
    const char* b_strategy;
    const char* bf;
    const char* refs;
    const char* directpred;
    const char* trellis;
    const char* flags2;
    const char* cqp;
    const char* wpredp;
};

// clang-format off
const TX264Row kRows[] = {
    {"default", "1", "+loop", "+i8+i4+p8+b8", "hex", "7", "16", "40", "1", "3", "3", "1", "1", "+mixed_refs+wpred+dct8x8+fastpskip", "", "2"},
    {"fast", "1", "+loop", "+i8+i4+p8+b8", "hex", "6", "16", "40", "1", "3", "2", "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "", "2"},
    {"fast_firstpass", "1", "+loop", "-i8-i4-p8-b8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "2"},
    {"faster", "1", "+loop", "+i8+i4+p8+b8", "hex", "4", "16", "40", "1", "3", "2", "1", "1", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip", "", "1"},
    {"faster_firstpass", "1", "+loop", "-i8-i4-p8-b8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "1"},
    {"fastfirstpass", "1", "+loop", "-i8-i4-p8-p4-b8", "dia", "2", "16", "40", "1", "3", "1", "3", "0", "-bpyramid-wpred-mixed_refs-dct8x8+fastpskip", "", "2"},
    {"hq", "1", "+loop", "+i8+i4+p8+b8", "umh", "8", "16", "40", "2", "3", "4", "3", "1", "+wpred+mixed_refs+dct8x8+fastpskip", "", "2"},
    {"lossless_fast", "0", "+loop", "-i8+i4+p8-p4-b8", "hex", "3", "16", "40", "1", "", "", "1", "", "+fastpskip", "0", "0"},
    {"lossless_max", "1", "+loop", "+i8+i4+p8+p4-b8", "esa", "8", "16", "40", "1", "", "16", "1", "", "+mixed_refs+dct8x8+fastpskip", "0", "2"},
    {"lossless_medium", "1", "+loop", "-i8+i4+p8+p4-b8", "hex", "5", "16", "40", "1", "", "", "1", "", "+fastpskip", "0", "2"},
    {"lossless_slow", "1", "+loop", "+i8+i4+p8+p4-b8", "umh", "6", "16", "40", "1", "", "2", "1", "", "+dct8x8+fastpskip", "0", "2"},
    {"lossless_slower", "1", "+loop", "+i8+i4+p8+p4-b8", "umh", "8", "16", "40", "1", "", "4", "1", "", "+mixed_refs+dct8x8+fastpskip", "0", "2"},
    {"lossless_ultrafast", "0", "+loop", "-i8-i4-p8-p4-b8", "dia", "0", "16", "40", "1", "", "", "1", "", "+fastpskip", "0", ""},
    {"max", "1", "+loop", "+i8+i4+p8+p4+b8", "tesa", "10", "24", "40", "2", "3", "16", "3", "2", "+wpred+mixed_refs+dct8x8-fastpskip", "", "2"},
    {"medium", "1", "+loop", "+i8+i4+p8+b8", "hex", "7", "16", "40", "1", "3", "3", "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "", "2"},
    {"medium_firstpass", "1", "+loop", "-i8-i4-p8-b8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "2"},
    {"normal", "1", "+loop", "+i8+i4+p8+b8", "hex", "6", "16", "40", "1", "3", "2", "3", "0", "+wpred+dct8x8+fastpskip", "", "2"},
    {"placebo", "1", "+loop", "+i8+i4+p8+p4+b8", "tesa", "10", "24", "40", "2", "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "", "2"},
    {"placebo_firstpass", "1", "+loop", "+i8+i4+p8+p4+b8", "tesa", "10", "24", "40", "2", "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "", "2"},
    {"slow", "1", "+loop", "+i8+i4+p8+b8", "umh", "8", "16", "40", "2", "3", "5", "3", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "", "2"},
    {"slow_firstpass", "1", "+loop", "-i8-i4-p8-b8", "dia", "2", "16", "40", "2", "3", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "2"},
    {"slower", "1", "+loop", "+i8+i4+p8+p4+b8", "umh", "9", "16", "40", "2", "3", "8", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "", "2"},
    {"slower_firstpass", "1", "+loop", "-i8-i4-p8-b8", "dia", "2", "16", "40", "2", "3", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "2"},
    {"slowfirstpass", "1", "+loop", "+i8+i4+p8+b8", "hex", "6", "16", "40", "2", "3", "1", "3", "0", "+wpred+dct8x8+fastpskip", "", "2"},
    {"superfast", "1", "+loop", "+i8+i4-p8-b8", "dia", "1", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "", "0"},
    {"superfast_firstpass", "1", "+loop", "-i8-i4-p8-b8", "dia", "1", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "", "0"},
    {"ultrafast", "0", "-loop", "-i8-i4-p8-b8", "dia", "0", "16", "0", "0", "0", "1", "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "", "0"},
    {"ultrafast_firstpass", "0", "-loop", "-i8-i4-p8-b8", "dia", "0", "16", "0", "0", "0", "1", "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "", "0"},
    {"veryfast", "1", "+loop", "+i8+i4+p8+b8", "hex", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "", "0"},
    {"veryfast_firstpass", "1", "+loop", "-i8-i4-p8-b8", "dia", "2", "16", "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "", "0"},
    {"veryslow", "1", "+loop", "+i8+i4+p8+p4+b8", "umh", "10", "24", "40", "2", "8", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "", "2"},
    {"veryslow_firstpass", "1", "+loop", "-i8-i4-p8-b8", "dia", "2", "24", "40", "2", "8", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "", "2"},
};
// clang-format on

// "+i8-p4" -> "+parti8x8-partp4x4"
std::string ExpandPartitions(const std::string& abbreviated)
{
    std::string out;
    for (size_t i = 0; i + 3 <= abbreviated.size(); i += 3) {
        const char sign = abbreviated[i];
        const char kind = abbreviated[i + 1];
        const char size = abbreviated[i + 2];
        out += sign;
        out += "part";
        out += kind;
        out += size;
        out += 'x';
        out += size;
    }
    return out;
}

std::string RowText(const TX264Row& r)
{
    std::string t;
    auto line = [&t](const char* key, const std::string& value) {
        if (value.empty())
            return;
        t += key;
        t += '=';
        t += value;
        t += '\n';
    };
    line("coder", r.coder);
    line("flags", r.flags);
    line("cmp", "+chroma");
    line("partitions", ExpandPartitions(r.partitions));
    line("me_method", r.me_method);
    line("subq", r.subq);
    line("me_range", r.me_range);
    line("g", "250");
    line("keyint_min", "25");
    line("sc_threshold", r.sc_threshold);
    line("i_qfactor", "0.71");
    line("b_strategy", r.b_strategy);
    line("qcomp", "0.6");
    line("qmin", "10");
    line("qmax", "51");
    line("qdiff", "4");
    line("bf", r.bf);
    line("refs", r.refs);
    line("directpred", r.directpred);
    line("trellis", r.trellis);
    line("flags2", r.flags2);
    line("cqp", r.cqp);
    line("wpredp", r.wpredp);
    return t;
}

std::vector<TOptionsPreset> MakeTable()
{
    std::vector<TOptionsPreset> table;
    table.push_back({"libx264-baseline", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0\n"});
    table.push_back({"libx264-ipod320",
                     "coder=0\nbf=0\nflags2=-wpred-dct8x8\nlevel=13\nmaxrate=768000\nbufsize=3000000\nwpredp=0\n"});
    table.push_back({"libx264-ipod640", "coder=0\nbf=0\nrefs=1\nflags2=-wpred-dct8x8\nlevel=30\nmaxrate=10000000\n"
                                        "bufsize=10000000\nwpredp=0\n"});
    table.push_back({"libx264-main", "flags2=-dct8x8\n"});
    for (const TX264Row& r : kRows)
        table.push_back({std::string("libx264-") + r.name, RowText(r)});
    return table;
}

}  // namespace

const std::vector<TOptionsPreset>& BuiltinPresets()
{
    static const std::vector<TOptionsPreset> table = MakeTable();
    return table;
}

const TOptionsPreset* FindBuiltinPreset(const std::string& name)
{
    const std::string key = LowerCase(name);
    for (const TOptionsPreset& p : BuiltinPresets())
        if (LowerCase(p.Name) == key)
            return &p;
    return nullptr;
}

const char* TargetFrameRate(TNorm norm)
{
    static const char* const rates[] = {"25", "30000/1001", "24000/1001"};
    return rates[norm];
}

}  // namespace vexa
