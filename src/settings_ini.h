// A line-based INI editor: reads values as the Windows profile functions do and changes them in
// place, keeping every other byte of the file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talpir::settings {

// Section and key names match without regard to ASCII case; of duplicates the first is the one
// read and changed. Lines starting with ; or # are comments.
class IniDocument {
public:
    // newLineEnd ends added lines when the content has no line end of its own to follow.
    IniDocument(std::string_view content, std::string_view newLineEnd);

    // The value with surrounding blanks and one pair of matching quotes removed; nullopt when
    // the section or the key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Changes an existing key in place (keeping its spelling), or appends the key at the end of
    // its section, or appends the section at the end of the file. A value is cut at a line
    // break, which would otherwise end it in the file.
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    std::string text() const;

private:
    struct Line {
        std::string body;
        std::string end;  // "\n", "\r\n" or empty on a last line without one
    };

    std::size_t findSection(std::string_view section) const;
    std::size_t sectionEnd(std::size_t header) const;
    std::size_t findKey(std::size_t header, std::string_view key) const;
    void insertLine(std::size_t at, std::string body);

    std::string m_bom;  // a UTF-8 byte-order mark at the start, kept as it was
    std::vector<Line> m_lines;
    std::string m_lineEnd;
};

}  // namespace talpir::settings
