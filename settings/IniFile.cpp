#include "settings/IniFile.h"

#include <cstring>
#include <limits>

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Where the lines begin: after a UTF-8 byte-order mark, which is kept but is no content.
std::size_t ContentStart(std::string_view text)
{
    return text.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool NamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;   // end of the content, before "\n" or "\r\n"
    std::size_t next = 0;  // start of the following line
};

// Walks the lines of a text without copying it.
class LineCursor {
public:
    explicit LineCursor(std::string_view text)
        : m_text(text), m_pos(ContentStart(text))
    {
    }

    bool Next(Line& line)
    {
        if (m_pos >= m_text.size())
            return false;
        const char* start = m_text.data() + m_pos;
        const auto* newline = static_cast<const char*>(std::memchr(start, '\n', m_text.size() - m_pos));
        line.begin = m_pos;
        line.end = newline ? static_cast<std::size_t>(newline - m_text.data()) : m_text.size();
        line.next = newline ? line.end + 1 : m_text.size();
        if (line.end > line.begin && m_text[line.end - 1] == '\r')
            --line.end;
        m_pos = line.next;
        return true;
    }

private:
    std::string_view m_text;
    std::size_t m_pos;
};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;        // section or key name
    std::size_t valueBegin = 0;   // key lines: the trimmed value, as offsets into the text
    std::size_t valueEnd = 0;
};

ParsedLine ParseLine(std::string_view text, const Line& line)
{
    ParsedLine parsed;
    const std::string_view content = text.substr(line.begin, line.end - line.begin);
    const std::string_view body = Trim(content);
    if (body.empty() || body.front() == ';' || body.front() == '#')
        return parsed;
    if (body.front() == '[') {
        const std::size_t close = body.find(']');
        if (close != std::string_view::npos) {
            parsed.kind = LineKind::Section;
            parsed.name = Trim(body.substr(1, close - 1));
        }
        return parsed;
    }
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos)
        return parsed;
    parsed.name = Trim(content.substr(0, equals));
    if (parsed.name.empty())
        return parsed;
    parsed.kind = LineKind::Key;
    const std::string_view value = Trim(content.substr(equals + 1));
    parsed.valueBegin = static_cast<std::size_t>(value.data() - text.data());
    parsed.valueEnd = parsed.valueBegin + value.size();
    // An empty value spans the blanks after '=', so a new value goes right after the '='.
    if (value.empty()) {
        parsed.valueBegin = line.begin + equals + 1;
        parsed.valueEnd = line.end;
    }
    return parsed;
}

struct Location {
    bool sectionFound = false;
    bool keyFound = false;
    std::size_t insertAt = 0;  // start of the line after the section's header or last key
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
};

Location Locate(std::string_view text, std::string_view section, std::string_view key)
{
    Location location;
    LineCursor cursor(text);
    Line line;
    while (cursor.Next(line)) {
        const ParsedLine parsed = ParseLine(text, line);
        if (parsed.kind == LineKind::Section) {
            if (location.sectionFound)
                break;  // the section ended without the key
            if (NamesEqual(parsed.name, section)) {
                location.sectionFound = true;
                location.insertAt = line.next;
            }
        } else if (parsed.kind == LineKind::Key && location.sectionFound) {
            location.insertAt = line.next;
            if (NamesEqual(parsed.name, key)) {
                location.keyFound = true;
                location.valueBegin = parsed.valueBegin;
                location.valueEnd = parsed.valueEnd;
                break;
            }
        }
    }
    return location;
}

// Line ending of new lines: the one the document already uses, else "\n".
std::string_view NewlineOf(std::string_view text)
{
    const std::size_t newline = text.find('\n');
    return (newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r') ? "\r\n" : "\n";
}

bool HasLineBreakOrNul(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool IsWritableName(std::string_view name)
{
    return !name.empty() && !HasLineBreakOrNul(name) && Trim(name).size() == name.size();
}

bool LastLineHasContent(std::string_view text)
{
    std::string_view rest = text.substr(ContentStart(text));
    if (!rest.empty() && rest.back() == '\n')
        rest.remove_suffix(1);
    if (!rest.empty() && rest.back() == '\r')
        rest.remove_suffix(1);
    const std::size_t lastBreak = rest.rfind('\n');
    return !Trim(lastBreak == std::string_view::npos ? rest : rest.substr(lastBreak + 1)).empty();
}

std::int32_t ParseLeadingInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude <= kLimit)
            magnitude = magnitude * 10 + (text[i] - '0');
    }
    if (negative)
        return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::min()
                                   : static_cast<std::int32_t>(-magnitude);
    return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::max()
                               : static_cast<std::int32_t>(magnitude);
}

}  // namespace

std::optional<std::string> IniFile::GetString(std::string_view section, std::string_view key) const
{
    const Location location = Locate(m_text, section, key);
    if (!location.keyFound)
        return std::nullopt;
    std::string_view value(m_text.data() + location.valueBegin, location.valueEnd - location.valueBegin);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::int32_t IniFile::GetInt(std::string_view section, std::string_view key, std::int32_t defaultValue) const
{
    const std::optional<std::string> value = GetString(section, key);
    if (!value || value->empty())
        return defaultValue;
    return ParseLeadingInt(*value);
}

bool IniFile::SetString(std::string_view section, std::string_view key, std::string_view value)
{
    if (!IsWritableName(section) || section.find(']') != std::string_view::npos)
        return false;
    if (!IsWritableName(key) || key.find('=') != std::string_view::npos ||
        key.front() == '[' || key.front() == ';' || key.front() == '#')
        return false;
    if (HasLineBreakOrNul(value))
        return false;

    const Location location = Locate(m_text, section, key);
    if (location.keyFound) {
        m_text.replace(location.valueBegin, location.valueEnd - location.valueBegin, value);
        return true;
    }

    const std::string_view newline = NewlineOf(m_text);
    std::string addition;
    if (location.sectionFound) {
        // The header or last key may be the final line without its line break.
        if (location.insertAt == m_text.size() && m_text.size() > ContentStart(m_text) && m_text.back() != '\n')
            addition += newline;
        addition.append(key).append("=").append(value).append(newline);
        m_text.insert(location.insertAt, addition);
        return true;
    }

    if (m_text.size() > ContentStart(m_text)) {
        if (m_text.back() != '\n')
            addition += newline;
        if (LastLineHasContent(m_text))
            addition += newline;  // a blank line between the previous content and the new section
    }
    addition.append("[").append(section).append("]").append(newline);
    addition.append(key).append("=").append(value).append(newline);
    m_text += addition;
    return true;
}
