#include "io/ply/PlyAsciiNumber.h"

#include <charconv>
#include <limits>
#include <type_traits>

namespace orrisk::ply {
namespace {

bool IsStreamSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view SkipLeadingSpace(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsStreamSpace(text[i]))
        ++i;
    return text.substr(i);
}

template <typename T>
T ParseInteger(std::string_view token)
{
    std::string_view text = SkipLeadingSpace(token);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::uint64_t magnitude = 0;
    bool anyDigit = false;
    bool overflow = false;
    for (char c : text) {
        if (!IsDigit(c))
            break;
        anyDigit = true;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (!anyDigit)
        return 0;

    if constexpr (std::is_signed_v<T>) {
        const auto maxMagnitude = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
        if (negative)
            return overflow || magnitude > maxMagnitude + 1 ? std::numeric_limits<T>::min()
                                                            : static_cast<T>(-static_cast<std::int64_t>(magnitude));
        return overflow || magnitude > maxMagnitude ? std::numeric_limits<T>::max() : static_cast<T>(magnitude);
    } else {
        if (overflow || magnitude > std::numeric_limits<T>::max())
            return std::numeric_limits<T>::max();
        return negative ? static_cast<T>(0 - magnitude) : static_cast<T>(magnitude);
    }
}

// Length of the number prefix that stream extraction would collect from `text` (which
// starts after the sign): digits, one decimal point before any exponent, and an exponent
// with an optional sign once a digit has been seen.
std::size_t RealPrefixLength(std::string_view text)
{
    bool mantissa = false;
    bool point = false;
    bool exponent = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (IsDigit(c)) {
            mantissa = true;
        } else if (c == '.' && !point && !exponent) {
            point = true;
        } else if ((c == 'e' || c == 'E') && !exponent && mantissa) {
            exponent = true;
            if (i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-'))
                ++i;
        } else {
            break;
        }
        ++i;
    }
    return i;
}

// Whether a decimal text that does not fit the type lies above its range (rather than
// below it): the position of its leading digit relative to the decimal point, plus the
// exponent, is positive.
bool IsBeyondLargest(std::string_view digits)
{
    std::int64_t magnitude = 0;  // decimal exponent of the leading significant digit, plus one
    bool seenNonZero = false;
    bool afterPoint = false;
    std::size_t i = 0;
    for (; i < digits.size() && digits[i] != 'e' && digits[i] != 'E'; ++i) {
        if (digits[i] == '.') {
            afterPoint = true;
        } else if (digits[i] != '0' || seenNonZero) {
            seenNonZero = true;
            if (!afterPoint)
                ++magnitude;
        } else if (afterPoint) {
            --magnitude;
        }
    }
    std::int64_t exponent = 0;
    bool negativeExponent = false;
    if (i < digits.size()) {
        ++i;
        if (i < digits.size() && (digits[i] == '+' || digits[i] == '-'))
            negativeExponent = digits[i++] == '-';
        for (; i < digits.size(); ++i)
            if (exponent < 1'000'000'000)
                exponent = exponent * 10 + (digits[i] - '0');
    }
    return magnitude + (negativeExponent ? -exponent : exponent) > 0;
}

template <typename T>
T ParseReal(std::string_view token)
{
    std::string_view text = SkipLeadingSpace(token);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::string_view number = text.substr(0, RealPrefixLength(text));
    T value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::invalid_argument || end != number.data() + number.size())
        return 0;
    if (error == std::errc::result_out_of_range)
        value = IsBeyondLargest(number) ? std::numeric_limits<T>::max() : T(0);
    return negative ? -value : value;
}

}  // namespace

template <typename T>
T ParsePlyNumber(std::string_view token)
{
    if constexpr (std::is_floating_point_v<T>)
        return ParseReal<T>(token);
    else
        return ParseInteger<T>(token);
}

template std::int16_t ParsePlyNumber<std::int16_t>(std::string_view);
template std::int32_t ParsePlyNumber<std::int32_t>(std::string_view);
template std::uint16_t ParsePlyNumber<std::uint16_t>(std::string_view);
template std::uint32_t ParsePlyNumber<std::uint32_t>(std::string_view);
template std::uint64_t ParsePlyNumber<std::uint64_t>(std::string_view);
template float ParsePlyNumber<float>(std::string_view);
template double ParsePlyNumber<double>(std::string_view);

}  // namespace orrisk::ply
