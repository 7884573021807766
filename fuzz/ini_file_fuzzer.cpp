// "option.ini" as found on disk, whatever it holds: reading any key gives a
// value or the default, and a write is read back as written while every
// other key keeps the value it had.
#include "fuzz_support.h"

#include "platform/ini_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace vexa;

namespace {

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool Blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && Blank(s[b]))
        ++b;
    while (e > b && Blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// (section, key) pairs the text seems to hold, plus the settings the
// application reads; reading a pair that is not there is a test as well.
std::vector<std::pair<std::string, std::string>> Candidates(const std::string& text)
{
    std::vector<std::pair<std::string, std::string>> keys = {
        {"OutPath", "OutPath"}, {"Skin", "SetSkin"}, {"Options", "Thread_Count"}, {"Options", "Overwrite_File"}};
    std::string section;
    size_t start = 0;
    while (start < text.size() && keys.size() < 64) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trim(text.substr(start, end - start));
        if (line.size() > 1 && line.front() == '[' && line.back() == ']')
            section = Trim(line.substr(1, line.size() - 2));
        else if (const size_t eq = line.find('='); eq != std::string::npos && eq > 0)
            keys.emplace_back(section, Trim(line.substr(0, eq)));
        start = end + 1;
    }
    return keys;
}

[[noreturn]] void Fail(const char* what, const std::string& section, const std::string& key,
                       const std::string& expected, const std::string& got)
{
    std::fprintf(stderr, "%s: [%s] %s: expected \"%s\", got \"%s\"\n", what, section.c_str(), key.c_str(),
                 expected.c_str(), got.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    platform::IniFile ini(fuzz::WriteScratch(data, size, ".ini"));
    const auto keys = Candidates(text);
    std::vector<std::string> before;
    for (const auto& [section, key] : keys)
        before.push_back(ini.ReadString(section, key, "Error"));

    // One setting the application writes, into a section and under a key
    // that may already be there in another case.
    const auto& [section, key] = keys[size % keys.size()];
    if (section.empty() || key.empty() || section.find_first_of("[]\r\n") != std::string::npos ||
        key.find_first_of("=[]\r\n") != std::string::npos || key.front() == ';' || key.front() == '#')
        return 0;
    const std::string value = "D:/输出 " + std::to_string(size);
    if (!ini.WriteString(section, key, value))
        return 0;
    const std::string got = ini.ReadString(section, key, "Error");
    if (got != value)
        Fail("written value not read back", section, key, value, got);
    for (size_t i = 0; i < keys.size(); ++i) {
        if (SameText(keys[i].first, section) && SameText(keys[i].second, key))
            continue;
        const std::string now = ini.ReadString(keys[i].first, keys[i].second, "Error");
        if (now != before[i])
            Fail("another key changed by a write", keys[i].first, keys[i].second, before[i], now);
    }
    return 0;
}
