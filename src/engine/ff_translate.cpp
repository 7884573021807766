#include "engine/ff_translate.h"

#include <cstring>

namespace vexa {

const std::vector<TTranslation>& TranslationTable()
{
    static const std::vector<TTranslation> table = {
        {tkEncoder, "", "libfaac", "aac", "", ""},
        {tkOption, "", "directpred", "direct-pred", "", ""},
        {tkOption, "", "cqp", "qp", "", ""},
        {tkFlag, "flags2", "mixed_refs", "mixed-refs", "1", "0"},
        {tkFlag, "flags2", "wpred", "weightb", "1", "0"},
        {tkFlag, "flags2", "dct8x8", "8x8dct", "1", "0"},
        {tkFlag, "flags2", "fastpskip", "fast-pskip", "1", "0"},
        {tkFlag, "flags2", "bpyramid", "b-pyramid", "normal", "none"},
        {tkFlag, "flags2", "mbtree", "mbtree", "1", "0"},
        {tkFlag, "flags", "scan_offset", "scan_offset", "1", "0"},
        {tkPartition, "partitions", "parti8x8", "i8x8", "", ""},
        {tkPartition, "partitions", "parti4x4", "i4x4", "", ""},
        {tkPartition, "partitions", "partp8x8", "p8x8", "", ""},
        {tkPartition, "partitions", "partp4x4", "p4x4", "", ""},
        {tkPartition, "partitions", "partb8x8", "b8x8", "", ""},
    };
    return table;
}

namespace {

const TTranslation* FindRow(TTranslationKind kind, const std::string& option, const std::string& legacy)
{
    for (const TTranslation& t : TranslationTable())
        if (t.Kind == kind && option == t.Option && legacy == t.Legacy)
            return &t;
    return nullptr;
}

struct TToken {
    char sign;  // '+', '-' or 0 when the token has none
    std::string name;
};

std::vector<TToken> SplitFlags(const std::string& value)
{
    std::vector<TToken> tokens;
    size_t i = 0;
    while (i < value.size()) {
        TToken t{0, {}};
        if (value[i] == '+' || value[i] == '-')
            t.sign = value[i++];
        const size_t end = value.find_first_of("+-", i);
        t.name = value.substr(i, end == std::string::npos ? std::string::npos : end - i);
        i = end == std::string::npos ? value.size() : end;
        if (!t.name.empty() || t.sign)
            tokens.push_back(t);
    }
    return tokens;
}

}  // namespace

TOptionPairs TranslateLibraryOption(const std::string& name, const std::string& value)
{
    for (const TTranslation& t : TranslationTable())
        if (t.Kind == tkOption && name == t.Legacy)
            return {{t.Current, value}};

    if (name == "partitions") {
        // Only the signed legacy form is rewritten; a list is already current.
        const std::vector<TToken> tokens = SplitFlags(value);
        std::string list;
        for (const TToken& tok : tokens) {
            const TTranslation* row = FindRow(tkPartition, name, tok.name);
            if (!row || !tok.sign)
                return {{name, value}};
            if (tok.sign == '+')
                list += (list.empty() ? "" : ",") + std::string(row->Current);
        }
        return {{name, list.empty() ? "none" : list}};
    }

    bool anyLegacy = false;
    for (const TTranslation& t : TranslationTable())
        if (t.Kind == tkFlag && name == t.Option)
            anyLegacy = true;
    if (!anyLegacy)
        return {{name, value}};

    TOptionPairs moved;
    std::string rest;
    for (const TToken& tok : SplitFlags(value)) {
        if (const TTranslation* row = FindRow(tkFlag, name, tok.name)) {
            moved.emplace_back(row->Current, tok.sign == '-' ? row->Off : row->On);
        } else {
            if (tok.sign)
                rest += tok.sign;
            rest += tok.name;
        }
    }
    if (moved.empty())
        return {{name, value}};
    TOptionPairs out;
    if (!rest.empty())
        out.emplace_back(name, rest);
    out.insert(out.end(), moved.begin(), moved.end());
    return out;
}

std::string TranslateEncoderName(const std::string& name)
{
    for (const TTranslation& t : TranslationTable())
        if (t.Kind == tkEncoder && name == t.Legacy)
            return t.Current;
    return name;
}

}  // namespace vexa
