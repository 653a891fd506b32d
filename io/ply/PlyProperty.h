#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

namespace orrisk::ply {

class PlyLineTokens;

// One property of a PLY element: one value, or one list of values, per record. The
// concrete classes are TypedProperty<T> and TypedListProperty<T> for the eight PLY value
// types. Reading slots append one record; the writing slots exist for symmetry and
// for tools that write files.
class Property {
public:
    explicit Property(std::string name) : name(std::move(name)) {}
    virtual ~Property() = default;
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;

    virtual void ReserveRecords(std::size_t recordCount) = 0;
    // Takes this property's value(s) of one ASCII record from the record's tokens, starting
    // with token `cursor`, and advances cursor; throws when the record has too few tokens.
    virtual void ParseAsciiTokens(PlyLineTokens& tokens, std::size_t& cursor) = 0;
    // Read one record from a binary body; throw when the stream ends first.
    virtual void ReadLittleEndian(std::istream& stream) = 0;
    virtual void ReadBigEndian(std::istream& stream) = 0;
    virtual void WriteHeaderLine(std::ostream& stream) const = 0;
    // Writes the record's value (a list as its count followed by its entries), space
    // separated and without a trailing separator.
    virtual void WriteAsciiValue(std::ostream& stream, std::size_t record) const = 0;
    virtual void WriteLittleEndianValue(std::ostream& stream, std::size_t record) const = 0;
    virtual void WriteBigEndianValue(std::ostream& stream, std::size_t record) const = 0;
    virtual std::size_t RecordCount() const = 0;
    // The canonical PLY name of the value type ("uchar", "float", ...).
    virtual std::string TypeName() const = 0;

    std::string name;
};

template <typename T>
inline constexpr std::string_view kPlyTypeName = "";
template <> inline constexpr std::string_view kPlyTypeName<std::int8_t> = "char";
template <> inline constexpr std::string_view kPlyTypeName<std::uint8_t> = "uchar";
template <> inline constexpr std::string_view kPlyTypeName<std::int16_t> = "short";
template <> inline constexpr std::string_view kPlyTypeName<std::uint16_t> = "ushort";
template <> inline constexpr std::string_view kPlyTypeName<std::int32_t> = "int";
template <> inline constexpr std::string_view kPlyTypeName<std::uint32_t> = "uint";
template <> inline constexpr std::string_view kPlyTypeName<float> = "float";
template <> inline constexpr std::string_view kPlyTypeName<double> = "double";

// The value types a PLY file can hold.
using PlyValueTypes =
    std::tuple<std::int8_t, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t, std::uint32_t, float, double>;

// One value per record.
template <typename T>
class TypedProperty final : public Property {
public:
    using ValueType = T;
    static constexpr bool isList = false;

    explicit TypedProperty(std::string name) : Property(std::move(name)) {}

    void ReserveRecords(std::size_t recordCount) override;
    void ParseAsciiTokens(PlyLineTokens& tokens, std::size_t& cursor) override;
    void ReadLittleEndian(std::istream& stream) override;
    void ReadBigEndian(std::istream& stream) override;
    void WriteHeaderLine(std::ostream& stream) const override;
    void WriteAsciiValue(std::ostream& stream, std::size_t record) const override;
    void WriteLittleEndianValue(std::ostream& stream, std::size_t record) const override;
    void WriteBigEndianValue(std::ostream& stream, std::size_t record) const override;
    std::size_t RecordCount() const override { return values.size(); }
    std::string TypeName() const override { return std::string(kPlyTypeName<T>); }

    std::vector<T> values;

private:
    void ReadBinary(std::istream& stream, bool swap);
    void WriteBinary(std::ostream& stream, std::size_t record, bool swap) const;
};

// A list of values per record, stored flat: record i holds
// flatValues[listStarts[i] .. listStarts[i + 1]).
template <typename T>
class TypedListProperty final : public Property {
public:
    using ValueType = T;
    static constexpr bool isList = true;

    // countWidth: bytes of each record's entry count in binary bodies (1, 2 or 4).
    TypedListProperty(std::string name, int countWidth) : Property(std::move(name)), countWidth(countWidth) {}

    void ReserveRecords(std::size_t recordCount) override;
    void ParseAsciiTokens(PlyLineTokens& tokens, std::size_t& cursor) override;
    void ReadLittleEndian(std::istream& stream) override;
    void ReadBigEndian(std::istream& stream) override;
    void WriteHeaderLine(std::ostream& stream) const override;
    void WriteAsciiValue(std::ostream& stream, std::size_t record) const override;
    void WriteLittleEndianValue(std::ostream& stream, std::size_t record) const override;
    void WriteBigEndianValue(std::ostream& stream, std::size_t record) const override;
    std::size_t RecordCount() const override { return listStarts.size() - 1; }
    std::string TypeName() const override { return std::string(kPlyTypeName<T>); }

    std::vector<T> flatValues;
    std::vector<std::uint64_t> listStarts{0};
    int countWidth;

private:
    void ReadBinary(std::istream& stream, bool swap);
    void WriteBinary(std::ostream& stream, std::size_t record, bool swap) const;
};

#define ORRISK_PLY_DECLARE_PROPERTIES(T)           \
    extern template class TypedProperty<T>;        \
    extern template class TypedListProperty<T>;
ORRISK_PLY_DECLARE_PROPERTIES(std::int8_t)
ORRISK_PLY_DECLARE_PROPERTIES(std::uint8_t)
ORRISK_PLY_DECLARE_PROPERTIES(std::int16_t)
ORRISK_PLY_DECLARE_PROPERTIES(std::uint16_t)
ORRISK_PLY_DECLARE_PROPERTIES(std::int32_t)
ORRISK_PLY_DECLARE_PROPERTIES(std::uint32_t)
ORRISK_PLY_DECLARE_PROPERTIES(float)
ORRISK_PLY_DECLARE_PROPERTIES(double)
#undef ORRISK_PLY_DECLARE_PROPERTIES

// A new property of the class the header names: typeName is a PLY value type name or
// alias, countTypeName (lists only) the integer type of the entry count. Throws
// std::runtime_error for a name that is not a PLY type.
std::unique_ptr<Property> MakeProperty(const std::string& name, const std::string& typeName, bool isList,
                                       const std::string& countTypeName);

// Calls visitor(typed) with the property seen as its concrete class, a (const)
// TypedProperty<T>& or TypedListProperty<T>&; the class's isList and ValueType tell which.
template <typename PropertyT, typename Visitor>
void VisitProperty(PropertyT& property, Visitor&& visitor)
{
    static_assert(std::is_same_v<std::remove_const_t<PropertyT>, Property>);
    auto tryType = [&]<typename T>(std::type_identity<T>) {
        using Scalar = std::conditional_t<std::is_const_v<PropertyT>, const TypedProperty<T>, TypedProperty<T>>;
        using List = std::conditional_t<std::is_const_v<PropertyT>, const TypedListProperty<T>, TypedListProperty<T>>;
        if (auto* scalar = dynamic_cast<Scalar*>(&property)) {
            visitor(*scalar);
            return true;
        }
        if (auto* list = dynamic_cast<List*>(&property)) {
            visitor(*list);
            return true;
        }
        return false;
    };
    std::apply([&](auto... types) { (tryType(std::type_identity<decltype(types)>{}) || ...); }, PlyValueTypes{});
}

}  // namespace orrisk::ply
