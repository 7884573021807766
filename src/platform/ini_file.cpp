#include "platform/ini_file.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vexa::platform {
namespace {

constexpr const char* kBom = "\xEF\xBB\xBF";

std::string Trim(const std::string& s)
{
    const char* blanks = " \t\r\n";
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x < 128) x = static_cast<unsigned char>(std::tolower(x));
        if (y < 128) y = static_cast<unsigned char>(std::tolower(y));
        if (x != y)
            return false;
    }
    return true;
}

// "[name]" gives name; anything else gives false.
bool SectionName(const std::string& line, std::string& name)
{
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    const size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// "key=value" gives both; comments and lines without '=' give false.
bool KeyValue(const std::string& line, std::string& key, std::string& value)
{
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#')
        return false;
    const size_t eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(t.substr(0, eq));
    value = Trim(t.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return !key.empty();
}

}  // namespace

bool IniFile::Exists() const
{
    struct stat st{};
    return ::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> IniFile::ReadLines(bool* hadBom) const
{
    if (hadBom)
        *hadBom = false;
    std::vector<std::string> lines;
    std::ifstream in(path_, std::ios::binary);
    if (!in)
        return lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    if (!lines.empty() && lines.front().rfind(kBom, 0) == 0) {
        lines.front().erase(0, 3);
        if (hadBom)
            *hadBom = true;
    }
    return lines;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const
{
    bool inSection = false;
    std::string name, k, v;
    for (const std::string& line : ReadLines()) {
        if (SectionName(line, name)) {
            inSection = SameName(name, section);
            continue;
        }
        if (inSection && KeyValue(line, k, v) && SameName(k, key))
            return v.empty() ? defaultValue : v;
    }
    return defaultValue;
}

bool IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    bool hadBom = false;
    std::vector<std::string> lines = ReadLines(&hadBom);
    const std::string entry = key + "=" + value;

    // Find the first matching section and, inside it, the key.
    size_t sectionAt = std::string::npos, lastEntry = std::string::npos;
    bool done = false;
    std::string name, k, v;
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        if (SectionName(lines[i], name)) {
            if (sectionAt != std::string::npos)
                break;  // left the section without finding the key
            if (SameName(name, section)) {
                sectionAt = i;
                lastEntry = i;
            }
            continue;
        }
        if (sectionAt == std::string::npos)
            continue;
        if (!Trim(lines[i]).empty())
            lastEntry = i;
        if (KeyValue(lines[i], k, v) && SameName(k, key)) {
            lines[i] = entry;
            done = true;
        }
    }
    if (!done) {
        if (sectionAt != std::string::npos) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastEntry) + 1, entry);
        } else {
            if (!lines.empty() && !Trim(lines.back()).empty())
                lines.emplace_back();
            lines.push_back("[" + section + "]");
            lines.push_back(entry);
        }
    }

    // Write beside the file and rename over it, so a failed write never
    // leaves the user's settings truncated.
    // A byte-order mark stays: without it, what follows (another mark, a
    // section name) would read differently afterwards.
    std::ostringstream text;
    if (hadBom)
        text << kBom;
    for (const std::string& line : lines)
        text << line << "\n";
    const std::string body = text.str();
    const std::string temp = path_ + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(body.data(), 1, body.size(), f) == body.size();
    const bool flushed = std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
    if (std::fclose(f) != 0 || !written || !flushed || std::rename(temp.c_str(), path_.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace vexa::platform
