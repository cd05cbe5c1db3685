// A line-based INI editor that keeps everything it does not change byte for byte.
#include "settings_ini.h"

#include <algorithm>

namespace talpir::settings {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t kNone = std::string_view::npos;

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == kNone) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

// The name of a "[name]" line.
std::optional<std::string_view> sectionName(std::string_view body) {
    const std::string_view line = trim(body);
    const std::size_t close = line.find(']');
    if (line.empty() || line.front() != '[' || close == kNone) {
        return std::nullopt;
    }
    return trim(line.substr(1, close - 1));
}

bool isComment(std::string_view line) {
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

// The key of a "key=value" line.
std::optional<std::string_view> keyName(std::string_view body) {
    const std::string_view line = trim(body);
    const std::size_t equals = line.find('=');
    if (isComment(line) || sectionName(line) || equals == kNone) {
        return std::nullopt;
    }
    const std::string_view key = trim(line.substr(0, equals));
    if (key.empty()) {
        return std::nullopt;
    }
    return key;
}

// Where the value of a key line begins: after the = and the blanks that follow it.
std::size_t valueStart(std::string_view body) {
    const std::size_t afterEquals = body.find('=') + 1;
    const std::size_t start = body.find_first_not_of(kBlanks, afterEquals);
    return start == kNone ? body.size() : start;
}

std::string_view unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

}  // namespace

IniDocument::IniDocument(std::string_view content, std::string_view newLineEnd) {
    if (content.starts_with(kUtf8Bom)) {
        m_bom = kUtf8Bom;
        content.remove_prefix(kUtf8Bom.size());
    }
    while (!content.empty()) {
        const std::size_t newline = content.find('\n');
        if (newline == kNone) {
            m_lines.push_back({std::string(content), {}});
            break;
        }
        const bool crlf = newline > 0 && content[newline - 1] == '\r';
        const std::size_t bodyLength = crlf ? newline - 1 : newline;
        m_lines.push_back({std::string(content.substr(0, bodyLength)),
                           std::string(content.substr(bodyLength, newline + 1 - bodyLength))});
        content.remove_prefix(newline + 1);
    }
    const bool followFile = !m_lines.empty() && !m_lines.front().end.empty();
    m_lineEnd = followFile ? m_lines.front().end : std::string(newLineEnd);
}

std::optional<std::string> IniDocument::value(std::string_view section,
                                              std::string_view key) const {
    const std::size_t header = findSection(section);
    const std::size_t line = header == kNone ? kNone : findKey(header, key);
    if (line == kNone) {
        return std::nullopt;
    }
    const std::string_view body = m_lines[line].body;
    return std::string(unquoted(trim(body.substr(body.find('=') + 1))));
}

void IniDocument::setValue(std::string_view section, std::string_view key, std::string_view value) {
    value = value.substr(0, value.find_first_of("\r\n"));
    const std::size_t header = findSection(section);
    if (header == kNone) {
        insertLine(m_lines.size(), "[" + std::string(section) + "]");
        insertLine(m_lines.size(), std::string(key) + "=" + std::string(value));
        return;
    }
    const std::size_t line = findKey(header, key);
    if (line != kNone) {
        std::string& body = m_lines[line].body;
        body = body.substr(0, valueStart(body)) + std::string(value);
        return;
    }
    // After the section's last key, so comments and blank lines before the next section stay
    // with that section.
    std::size_t at = header + 1;
    const std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (keyName(m_lines[i].body)) {
            at = i + 1;
        }
    }
    insertLine(at, std::string(key) + "=" + std::string(value));
}

std::string IniDocument::text() const {
    std::string out = m_bom;
    for (const Line& line : m_lines) {
        out += line.body;
        out += line.end;
    }
    return out;
}

std::size_t IniDocument::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = sectionName(m_lines[i].body);
        if (name && sameName(*name, section)) {
            return i;
        }
    }
    return kNone;
}

std::size_t IniDocument::sectionEnd(std::size_t header) const {
    for (std::size_t i = header + 1; i < m_lines.size(); ++i) {
        if (sectionName(m_lines[i].body)) {
            return i;
        }
    }
    return m_lines.size();
}

std::size_t IniDocument::findKey(std::size_t header, std::string_view key) const {
    const std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const auto name = keyName(m_lines[i].body);
        if (name && sameName(*name, key)) {
            return i;
        }
    }
    return kNone;
}

void IniDocument::insertLine(std::size_t at, std::string body) {
    if (at > 0 && m_lines[at - 1].end.empty()) {
        m_lines[at - 1].end = m_lineEnd;  // the file's last line had no line end
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), {std::move(body), m_lineEnd});
}

}  // namespace talpir::settings
