#pragma once
// Settings file of sections and key=value lines.
//
// Every read looks at the file as it is on disk and every write reaches the
// disk before it returns, so two objects on the same file (the main window
// and the options dialog) always agree. Sections and keys match without
// regard to ASCII case; lines this class does not understand are kept as they
// are. Text is UTF-8.
#include <string>
#include <vector>

namespace vexa::platform {

class IniFile {
public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    bool Exists() const;

    // The value of key in section, blanks around it removed; defaultValue
    // when the file, the section or the key is missing or the value is empty.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;

    // Sets key in section (adding either when missing) and writes the file.
    // Returns false when the file cannot be written; the old file is left
    // untouched in that case.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

private:
    // The file's lines without line ends and without a leading UTF-8
    // byte-order mark, which hadBom tells of.
    std::vector<std::string> ReadLines(bool* hadBom = nullptr) const;
    std::string path_;
};

}  // namespace vexa::platform
