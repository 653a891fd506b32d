#include "settings/DecimalText.h"

#include <charconv>
#include <cstddef>
#include <system_error>
#include <limits>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWithWordNoCase(std::string_view text, std::string_view lowerWord)
{
    if (text.size() < lowerWord.size())
        return false;
    for (std::size_t i = 0; i < lowerWord.size(); ++i) {
        const char c = text[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != lowerWord[i])
            return false;
    }
    return true;
}

// Text with the leading white space and an optional sign removed; `negative` tells the sign.
std::string_view SkipSpaceAndSign(std::string_view text, bool& negative)
{
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return text.substr(i);
}

struct DecimalNumberSpan {
    std::size_t length = 0;        // 0: no number
    long long magnitudeExponent = 0;  // roughly log10 of the value; only its sign is used
    bool allZero = true;
};

// Finds digits [ '.' digits ] [ ('e'|'E') [sign] digits ] at the start of the text.
DecimalNumberSpan ScanDecimalNumber(std::string_view text)
{
    DecimalNumberSpan span;
    std::size_t i = 0;
    std::size_t digits = 0;
    long long integerDigits = 0;  // integer digits from the first non-zero one on
    while (i < text.size() && IsDigit(text[i])) {
        if (span.allZero && text[i] != '0') {
            span.allZero = false;
            integerDigits = 0;
        }
        if (!span.allZero)
            ++integerDigits;
        ++i;
        ++digits;
    }
    // The value is 0.d1d2... times ten to this power, d1 being the first non-zero digit.
    long long firstNonZero = integerDigits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        long long fractionZeros = 0;
        while (i < text.size() && IsDigit(text[i])) {
            if (span.allZero) {
                if (text[i] == '0')
                    ++fractionZeros;
                else {
                    span.allZero = false;
                    firstNonZero = -fractionZeros;
                }
            }
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return {};
    span.length = i;

    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        long long exponent = 0;
        const std::size_t exponentStart = j;
        while (j < text.size() && IsDigit(text[j])) {
            if (exponent < 1000000000LL)  // far beyond any double; keeps the sum from overflowing
                exponent = exponent * 10 + (text[j] - '0');
            ++j;
        }
        if (j > exponentStart) {
            span.length = j;
            firstNonZero += negativeExponent ? -exponent : exponent;
        }
    }
    span.magnitudeExponent = firstNonZero;
    return span;
}

double ParseSpecialWord(std::string_view text, bool& matched)
{
    matched = true;
    if (StartsWithWordNoCase(text, "inf"))
        return std::numeric_limits<double>::infinity();
    if (StartsWithWordNoCase(text, "nan"))
        return std::numeric_limits<double>::quiet_NaN();
    matched = false;
    return 0.0;
}

}  // namespace

double ParseDecimalPrefix(std::string_view text)
{
    bool negative = false;
    const std::string_view rest = SkipSpaceAndSign(text, negative);

    bool special = false;
    const double word = ParseSpecialWord(rest, special);
    if (special)
        return negative ? -word : word;

    const DecimalNumberSpan span = ScanDecimalNumber(rest);
    if (span.length == 0)
        return 0.0;
    double value = 0.0;
    const auto result = std::from_chars(rest.data(), rest.data() + span.length, value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = span.magnitudeExponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    else if (result.ec != std::errc())
        value = 0.0;
    return negative ? -value : value;
}

std::uint32_t ParseUnsignedDecimalPrefix(std::string_view text)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    bool negative = false;
    const std::string_view rest = SkipSpaceAndSign(text, negative);
    std::uint64_t value = 0;
    for (const char c : rest) {
        if (!IsDigit(c))
            break;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > kMax)
            return static_cast<std::uint32_t>(kMax);  // saturates whatever the sign
    }
    const auto magnitude = static_cast<std::uint32_t>(value);
    return negative ? static_cast<std::uint32_t>(0u - magnitude) : magnitude;
}

std::string FormatOneDecimal(float value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0.0");
}
