#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// An INI document held as its text, so that everything the program does not own (other
// sections and keys, comments, blank lines, the line-ending style, a UTF-8 byte-order
// mark) survives a rewrite untouched. It follows the classic private-profile rules:
// - "[name]" opens a section; the name is the trimmed text up to the first ']'.
// - "key=value" inside a section; key and value are trimmed of blanks, and a value wrapped
//   in matching single or double quotes reads without them.
// - Comment lines (';' or '#'), blank lines and lines without '=' are kept but never read.
// - Section and key names match regardless of ASCII case; the first match wins.
// Every lookup and update is one pass over the text.
class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string text) : m_text(std::move(text)) {}

    // The key's value, or nothing when the section or key is missing.
    std::optional<std::string> GetString(std::string_view section, std::string_view key) const;

    // The value's leading integer: optional blanks and sign, then decimal digits, saturated
    // to the int32 range; a value without leading digits reads as 0. A missing key or an
    // empty value gives the default.
    std::int32_t GetInt(std::string_view section, std::string_view key,
                        std::int32_t defaultValue) const;

    // Replaces the key's value in place; a missing key is added after the last key of its
    // section, a missing section at the end of the document. Returns false and changes
    // nothing when the names or the value cannot be written as one INI line (empty or
    // padded names, line breaks or NUL, '=' in a key, ']' in a section name).
    bool SetString(std::string_view section, std::string_view key, std::string_view value);

    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};
