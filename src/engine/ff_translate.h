#pragma once
// Encoders and encoder options of the earlier library generation that the
// presets and format tables still name, mapped onto what the current
// libraries offer. One table, so every mapping is visible in one place.
#include <string>
#include <utility>
#include <vector>

namespace vexa {

enum TTranslationKind {
    tkEncoder,    // an encoder name
    tkOption,     // an option name; the value is kept
    tkFlag,       // one +/- token of a flags option becomes an option of its own
    tkPartition,  // one +/- token of "partitions" becomes a list item
};

struct TTranslation {
    TTranslationKind Kind;
    const char* Option;   // tkFlag, tkPartition: the option that carries the token
    const char* Legacy;   // encoder, option name or token of the earlier generation
    const char* Current;  // what takes its place
    const char* On;       // tkFlag: the value for "+token"
    const char* Off;      // tkFlag: the value for "-token"
};

const std::vector<TTranslation>& TranslationTable();

using TOptionPairs = std::vector<std::pair<std::string, std::string>>;

// The option lines that stand for name=value today; a line that needs no
// translation comes back unchanged as the only pair.
TOptionPairs TranslateLibraryOption(const std::string& name, const std::string& value);
// "libfaac" -> "aac"; other names unchanged.
std::string TranslateEncoderName(const std::string& name);

}  // namespace vexa
