#pragma once

#include <cstdint>
#include <string_view>

namespace orrisk::ply {

// Numbers in ASCII bodies and header counts are read the way `stream >> value` reads them
// in the classic "C" locale, independent of the process locale: leading white space is
// skipped, characters after a valid number prefix are ignored, a token without a number
// gives 0, and a value outside the type's range saturates (integers to the type's limits,
// overflowing reals to the largest finite value, underflowing reals to zero). Signed
// integers saturate; unsigned ones wrap a leading '-' modulo 2^N as strtoul does.
//
// T is one of std::int16_t, std::int32_t, std::uint16_t, std::uint32_t, std::uint64_t,
// float and double.
template <typename T>
T ParsePlyNumber(std::string_view token);

extern template std::int16_t ParsePlyNumber<std::int16_t>(std::string_view);
extern template std::int32_t ParsePlyNumber<std::int32_t>(std::string_view);
extern template std::uint16_t ParsePlyNumber<std::uint16_t>(std::string_view);
extern template std::uint32_t ParsePlyNumber<std::uint32_t>(std::string_view);
extern template std::uint64_t ParsePlyNumber<std::uint64_t>(std::string_view);
extern template float ParsePlyNumber<float>(std::string_view);
extern template double ParsePlyNumber<double>(std::string_view);

}  // namespace orrisk::ply
