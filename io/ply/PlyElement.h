#pragma once

#include "io/ply/PlyProperty.h"
#include "platform/MemoryHints.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace orrisk::ply {

namespace detail {

// The stored types ValuesAs<T> accepts, in the order they are tried, and the name its
// error message gives the request. A request is met only by types whose every value it
// holds exactly: floating requests by floating types, signed by narrower-or-equal signed
// types, unsigned by narrower-or-equal unsigned types. (The 64-bit integer requests would
// try their own type first, but a PLY file cannot hold 64-bit integers.)
template <typename T>
struct ValuesAsRule;
template <> struct ValuesAsRule<double> { using Stored = std::tuple<double, float>; static constexpr const char* name = "double"; };
template <> struct ValuesAsRule<float> { using Stored = std::tuple<float>; static constexpr const char* name = "float"; };
template <> struct ValuesAsRule<std::int64_t> { using Stored = std::tuple<std::int32_t, std::int16_t, std::int8_t>; static constexpr const char* name = "unknown"; };
template <> struct ValuesAsRule<std::int32_t> { using Stored = std::tuple<std::int32_t, std::int16_t, std::int8_t>; static constexpr const char* name = "int"; };
template <> struct ValuesAsRule<std::int16_t> { using Stored = std::tuple<std::int16_t, std::int8_t>; static constexpr const char* name = "short"; };
template <> struct ValuesAsRule<std::int8_t> { using Stored = std::tuple<std::int8_t>; static constexpr const char* name = "char"; };
template <> struct ValuesAsRule<std::uint64_t> { using Stored = std::tuple<std::uint32_t, std::uint16_t, std::uint8_t>; static constexpr const char* name = "unknown"; };
template <> struct ValuesAsRule<std::uint32_t> { using Stored = std::tuple<std::uint32_t, std::uint16_t, std::uint8_t>; static constexpr const char* name = "uint"; };
template <> struct ValuesAsRule<std::uint16_t> { using Stored = std::tuple<std::uint16_t, std::uint8_t>; static constexpr const char* name = "ushort"; };
template <> struct ValuesAsRule<std::uint8_t> { using Stored = std::tuple<std::uint8_t>; static constexpr const char* name = "uchar"; };

}  // namespace detail

// One element of a PLY file: a name, the number of records the header declares, and its
// properties in header order.
struct PlyElement {
    PlyElement(std::string name, std::uint64_t recordCount) : name(std::move(name)), recordCount(recordCount) {}

    std::string name;
    std::uint64_t recordCount = 0;
    std::vector<std::unique_ptr<Property>> properties;

    // Lookups compare whole names, case-sensitively; with duplicate names the first wins.
    bool ContainsProperty(const std::string& propertyName) const;
    std::unique_ptr<Property>& PropertyNamed(const std::string& propertyName);
    const std::unique_ptr<Property>& PropertyNamed(const std::string& propertyName) const;

    // The values of a scalar property as T, one per record, converted from the stored type
    // when that type fits T without loss (see detail::ValuesAsRule). Throws
    // std::runtime_error when there is no such property or its type does not fit.
    template <typename T>
    std::vector<T> ValuesAs(const std::string& propertyName) const;
};

template <typename T>
std::vector<T> PlyElement::ValuesAs(const std::string& propertyName) const
{
    const Property& property = *PropertyNamed(propertyName);
    std::vector<T> result;
    bool converted = false;
    auto tryStored = [&]<typename Stored>(std::type_identity<Stored>) {
        if (const auto* typed = dynamic_cast<const TypedProperty<Stored>*>(&property)) {
            result.reserve(typed->values.size());
            PrefaultForWriting(result.data(), typed->values.size() * sizeof(T));
            result.assign(typed->values.begin(), typed->values.end());
            converted = true;
        }
        return converted;
    };
    std::apply([&](auto... stored) { (tryStored(std::type_identity<decltype(stored)>{}) || ...); },
               typename detail::ValuesAsRule<T>::Stored{});
    if (!converted)
        throw std::runtime_error("PLY parser: property " + propertyName + " cannot be coerced to requested type " +
                                 detail::ValuesAsRule<T>::name + ". Has type " + property.TypeName());
    return result;
}

}  // namespace orrisk::ply
