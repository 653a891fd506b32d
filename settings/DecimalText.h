#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Number conversions for text typed by users (settings file values, dialog fields).
// Both read the longest numeric prefix and ignore whatever follows, so "2,5" reads as 2
// and "12abc" as 12. They never depend on the user's locale: the decimal point is '.'.

// Skips leading white space, then reads the longest prefix that forms a decimal number:
// optional sign, digits with an optional '.' and fraction, optional exponent. The words
// "inf", "infinity" and "nan" (any case, "nan" optionally followed by "(chars)") give
// infinity and not-a-number. Magnitudes beyond double range give infinity, those below it
// zero. Text without such a prefix gives 0.
double ParseDecimalPrefix(std::string_view text);

// Skips leading white space, takes an optional sign and the decimal digits that follow.
// No digits gives 0; a magnitude above 4294967295 gives 4294967295; a minus sign negates
// the value modulo 2^32, so "-1" gives 4294967295.
std::uint32_t ParseUnsignedDecimalPrefix(std::string_view text);

// The value with exactly one decimal, rounded as printf's "%.1f" rounds, always with '.'
// ("2.0", "7.5"); "0.0" for a value too large to write.
std::string FormatOneDecimal(float value);
