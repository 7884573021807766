#include "catalogue/extensions.h"

#include <utility>
#include <vector>

namespace vexa::catalogue {

namespace {

// The characters at 1-based positions L-4 to L-1 of a UTF-8 text of L
// characters; a shorter text gives what there is of them.
std::string FourBeforeLast(std::string_view text)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    const size_t count = starts.size();
    if (count < 2)
        return {};
    const size_t first = count >= 5 ? count - 5 : 0;
    const size_t last = count - 1;  // the final character is left out
    return std::string(text.substr(starts[first], starts[last] - starts[first]));
}

std::string Repair(std::string four,
                   std::initializer_list<std::pair<std::string_view, std::string_view>> fixes)
{
    for (const auto& [from, to] : fixes)
        if (four == from)
            return std::string(to);
    return four;
}

}  // namespace

std::string FormatExtension(std::string_view title)
{
    return Repair(FourBeforeLast(title),
                  {{"flac", ".flac"}, {"aiff", ".aiff"}, {"*.rm", ".rm"}, {"*.ra", ".ra"}});
}

std::string RenameExtension(std::string_view title)
{
    return Repair(FourBeforeLast(title), {{"lac)", ".alac"},
                                          {"flac", ".flac"},
                                          {"aiff", ".aiff"},
                                          {"mpeg", ".mpeg"},
                                          {"*.rm", ".rm"},
                                          {"*.ra", ".ra"}});
}

std::string ChangeNameExtension(std::string_view name, std::string_view ext)
{
    const size_t dot = name.rfind('.');
    std::string result(dot == std::string_view::npos ? name : name.substr(0, dot));
    result += ext;
    return result;
}

}  // namespace vexa::catalogue
