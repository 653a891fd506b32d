#include "io/ply/PlyProperty.h"

#include "io/ply/PlyAsciiNumber.h"
#include "io/ply/PlyByteOrder.h"
#include "io/ply/PlyError.h"
#include "io/ply/PlyText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <istream>
#include <ostream>
#include <stdexcept>

namespace orrisk::ply {
namespace {

constexpr bool kLittleEndianMachine = std::endian::native == std::endian::little;

// Binary list entries are read in pieces of this many, so a corrupt count can make the
// list grow only as far as the file really holds data.
constexpr std::uint64_t kListReadPiece = 1 << 16;

template <typename T>
T ValueFromToken(std::string_view token)
{
    if constexpr (sizeof(T) == 1)
        return static_cast<T>(ParsePlyNumber<std::int32_t>(token));  // keeps the low 8 bits
    else
        return ParsePlyNumber<T>(token);
}

std::string_view TokenAt(PlyLineTokens& tokens, std::size_t cursor, const std::string& name)
{
    const std::optional<std::string_view> token = tokens.At(cursor);
    if (!token)
        throw std::runtime_error("PLY parser: too few values in an ASCII record for property " + name);
    return *token;
}

void ReadExactly(std::istream& stream, void* destination, std::size_t bytes, const std::string& name)
{
    stream.read(static_cast<char*>(destination), static_cast<std::streamsize>(bytes));
    if (static_cast<std::size_t>(stream.gcount()) != bytes)
        throw PropertyReadPastEnd(name);
}

void WriteBytes(std::ostream& stream, const void* bytes, std::size_t size)
{
    stream.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

// The count is unsigned whatever its declared signedness.
std::uint64_t ReadListCount(std::istream& stream, int width, bool bigEndian, const std::string& name)
{
    std::array<std::uint8_t, 4> bytes{};
    ReadExactly(stream, bytes.data(), static_cast<std::size_t>(width), name);
    std::uint64_t count = 0;
    for (int i = 0; i < width; ++i)
        count |= std::uint64_t{bytes[static_cast<std::size_t>(bigEndian ? width - 1 - i : i)]} << (8 * i);
    return count;
}

void WriteListCount(std::ostream& stream, std::uint64_t count, int width, bool bigEndian)
{
    std::array<std::uint8_t, 4> bytes{};
    for (int i = 0; i < width; ++i)
        bytes[static_cast<std::size_t>(bigEndian ? width - 1 - i : i)] = static_cast<std::uint8_t>(count >> (8 * i));
    WriteBytes(stream, bytes.data(), static_cast<std::size_t>(width));
}

std::string_view CountTypeName(int width)
{
    return width == 1 ? "uchar" : width == 2 ? "ushort" : "uint";
}

template <typename T>
void WriteAsciiNumber(std::ostream& stream, T value)
{
    if constexpr (sizeof(T) == 1) {
        stream << static_cast<int>(value);
    } else {
        std::array<char, 32> text{};
        const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
        stream.write(text.data(), result.ptr - text.data());
    }
}

template <typename T>
void WriteBinaryNumber(std::ostream& stream, T value, bool swap)
{
    if (swap)
        value = ByteSwapped(value);
    WriteBytes(stream, &value, sizeof(T));
}

// Calls f(std::type_identity<T>) for the value type a PLY type name or alias stands for;
// false when the name is not one.
template <typename F>
bool WithValueTypeNamed(std::string_view name, F&& f)
{
    if (name == "uchar" || name == "uint8")
        f(std::type_identity<std::uint8_t>{});
    else if (name == "ushort" || name == "uint16")
        f(std::type_identity<std::uint16_t>{});
    else if (name == "uint" || name == "uint32")
        f(std::type_identity<std::uint32_t>{});
    else if (name == "char" || name == "int8")
        f(std::type_identity<std::int8_t>{});
    else if (name == "short" || name == "int16")
        f(std::type_identity<std::int16_t>{});
    else if (name == "int" || name == "int32")
        f(std::type_identity<std::int32_t>{});
    else if (name == "float" || name == "float32")
        f(std::type_identity<float>{});
    else if (name == "double" || name == "float64")
        f(std::type_identity<double>{});
    else
        return false;
    return true;
}

int ListCountWidth(std::string_view name)
{
    if (name == "uchar" || name == "uint8" || name == "char" || name == "int8")
        return 1;
    if (name == "ushort" || name == "uint16" || name == "short" || name == "int16")
        return 2;
    if (name == "uint" || name == "uint32" || name == "int" || name == "int32")
        return 4;
    return 0;
}

}  // namespace

// ---- TypedProperty ----

template <typename T>
void TypedProperty<T>::ReserveRecords(std::size_t recordCount)
{
    values.reserve(recordCount);
}

template <typename T>
void TypedProperty<T>::ParseAsciiTokens(PlyLineTokens& tokens, std::size_t& cursor)
{
    values.push_back(ValueFromToken<T>(TokenAt(tokens, cursor, name)));
    ++cursor;
}

template <typename T>
void TypedProperty<T>::ReadBinary(std::istream& stream, bool swap)
{
    T value{};
    ReadExactly(stream, &value, sizeof(T), name);
    values.push_back(swap ? ByteSwapped(value) : value);
}

template <typename T>
void TypedProperty<T>::ReadLittleEndian(std::istream& stream)
{
    ReadBinary(stream, !kLittleEndianMachine);
}

template <typename T>
void TypedProperty<T>::ReadBigEndian(std::istream& stream)
{
    ReadBinary(stream, kLittleEndianMachine);
}

template <typename T>
void TypedProperty<T>::WriteHeaderLine(std::ostream& stream) const
{
    stream << "property " << kPlyTypeName<T> << ' ' << name << '\n';
}

template <typename T>
void TypedProperty<T>::WriteAsciiValue(std::ostream& stream, std::size_t record) const
{
    WriteAsciiNumber(stream, values.at(record));
}

template <typename T>
void TypedProperty<T>::WriteBinary(std::ostream& stream, std::size_t record, bool swap) const
{
    WriteBinaryNumber(stream, values.at(record), swap);
}

template <typename T>
void TypedProperty<T>::WriteLittleEndianValue(std::ostream& stream, std::size_t record) const
{
    WriteBinary(stream, record, !kLittleEndianMachine);
}

template <typename T>
void TypedProperty<T>::WriteBigEndianValue(std::ostream& stream, std::size_t record) const
{
    WriteBinary(stream, record, kLittleEndianMachine);
}

// ---- TypedListProperty ----

template <typename T>
void TypedListProperty<T>::ReserveRecords(std::size_t recordCount)
{
    // Meshes are mostly triangles.
    flatValues.reserve(3 * recordCount);
    listStarts.reserve(recordCount + 1);
}

template <typename T>
void TypedListProperty<T>::ParseAsciiTokens(PlyLineTokens& tokens, std::size_t& cursor)
{
    const std::uint64_t count = ParsePlyNumber<std::uint64_t>(TokenAt(tokens, cursor, name));
    ++cursor;
    // Values are taken one by one, so a count beyond the line grows the list only as far as
    // the line really holds values.
    for (std::uint64_t i = 0; i < count; ++i, ++cursor)
        flatValues.push_back(ValueFromToken<T>(TokenAt(tokens, cursor, name)));
    listStarts.push_back(flatValues.size());
}

template <typename T>
void TypedListProperty<T>::ReadBinary(std::istream& stream, bool swap)
{
    const bool bigEndianFile = kLittleEndianMachine == swap;
    const std::uint64_t count = ReadListCount(stream, countWidth, bigEndianFile, name);
    for (std::uint64_t done = 0; done < count;) {
        const auto piece = static_cast<std::size_t>(std::min(count - done, kListReadPiece));
        const std::size_t first = flatValues.size();
        flatValues.resize(first + piece);
        ReadExactly(stream, flatValues.data() + first, piece * sizeof(T), name);
        if (swap)
            std::for_each(flatValues.begin() + static_cast<std::ptrdiff_t>(first), flatValues.end(),
                          [](T& value) { value = ByteSwapped(value); });
        done += piece;
    }
    listStarts.push_back(flatValues.size());
}

template <typename T>
void TypedListProperty<T>::ReadLittleEndian(std::istream& stream)
{
    ReadBinary(stream, !kLittleEndianMachine);
}

template <typename T>
void TypedListProperty<T>::ReadBigEndian(std::istream& stream)
{
    ReadBinary(stream, kLittleEndianMachine);
}

template <typename T>
void TypedListProperty<T>::WriteHeaderLine(std::ostream& stream) const
{
    stream << "property list " << CountTypeName(countWidth) << ' ' << kPlyTypeName<T> << ' ' << name << '\n';
}

template <typename T>
void TypedListProperty<T>::WriteAsciiValue(std::ostream& stream, std::size_t record) const
{
    const std::uint64_t begin = listStarts.at(record);
    const std::uint64_t end = listStarts.at(record + 1);
    stream << (end - begin);
    for (std::uint64_t i = begin; i < end; ++i) {
        stream << ' ';
        WriteAsciiNumber(stream, flatValues[i]);
    }
}

template <typename T>
void TypedListProperty<T>::WriteBinary(std::ostream& stream, std::size_t record, bool swap) const
{
    const std::uint64_t begin = listStarts.at(record);
    const std::uint64_t end = listStarts.at(record + 1);
    WriteListCount(stream, end - begin, countWidth, kLittleEndianMachine == swap);
    for (std::uint64_t i = begin; i < end; ++i)
        WriteBinaryNumber(stream, flatValues[i], swap);
}

template <typename T>
void TypedListProperty<T>::WriteLittleEndianValue(std::ostream& stream, std::size_t record) const
{
    WriteBinary(stream, record, !kLittleEndianMachine);
}

template <typename T>
void TypedListProperty<T>::WriteBigEndianValue(std::ostream& stream, std::size_t record) const
{
    WriteBinary(stream, record, kLittleEndianMachine);
}

#define ORRISK_PLY_DEFINE_PROPERTIES(T) \
    template class TypedProperty<T>;    \
    template class TypedListProperty<T>;
ORRISK_PLY_DEFINE_PROPERTIES(std::int8_t)
ORRISK_PLY_DEFINE_PROPERTIES(std::uint8_t)
ORRISK_PLY_DEFINE_PROPERTIES(std::int16_t)
ORRISK_PLY_DEFINE_PROPERTIES(std::uint16_t)
ORRISK_PLY_DEFINE_PROPERTIES(std::int32_t)
ORRISK_PLY_DEFINE_PROPERTIES(std::uint32_t)
ORRISK_PLY_DEFINE_PROPERTIES(float)
ORRISK_PLY_DEFINE_PROPERTIES(double)
#undef ORRISK_PLY_DEFINE_PROPERTIES

std::unique_ptr<Property> MakeProperty(const std::string& name, const std::string& typeName, bool isList,
                                       const std::string& countTypeName)
{
    int countWidth = 0;
    if (isList) {
        countWidth = ListCountWidth(countTypeName);
        if (countWidth == 0)
            throw std::runtime_error("Unrecognized list count type: " + countTypeName);
    }
    std::unique_ptr<Property> property;
    const bool known = WithValueTypeNamed(typeName, [&]<typename T>(std::type_identity<T>) {
        if (isList)
            property = std::make_unique<TypedListProperty<T>>(name, countWidth);
        else
            property = std::make_unique<TypedProperty<T>>(name);
    });
    if (!known)
        throw std::runtime_error("Data type: " + typeName + " cannot be mapped to .ply format");
    return property;
}

}  // namespace orrisk::ply
