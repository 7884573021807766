#pragma once
// Extensions derived from a format title and file-name extension swaps.
#include <string>
#include <string_view>

namespace vexa::catalogue {

// The extension a format's title names: the four characters before its last
// one, with the few longer or shorter extensions of the catalogue repaired.
// For "AVI - 音频视频交错格式(*.avi)" that is ".avi".
std::string FormatExtension(std::string_view title);

// The extension a renamed output file gets from the format shown in the
// picker; like FormatExtension with a few more repairs.
std::string RenameExtension(std::string_view title);

// The name with the text from its last dot on replaced by ext; a name
// without a dot gets ext appended.
std::string ChangeNameExtension(std::string_view name, std::string_view ext);

}  // namespace vexa::catalogue
