#include "io/laz/ArithmeticDecoder.h"
#include "io/laz/LazVlr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using laz::Compressor;
using laz::ItemType;

struct ItemEntry {
    std::uint16_t type, size, version;
};

// The LASzip record's payload: compressor, coder, LASzip version, options, chunk size,
// the two EVLR fields, then the items.
std::vector<unsigned char> Payload(std::uint16_t compressor, std::uint32_t chunkSize, const std::vector<ItemEntry>& items,
                                   std::uint16_t coder = 0)
{
    std::vector<unsigned char> bytes(34 + 6 * items.size(), 0);
    auto put = [&](std::size_t at, auto value) { std::memcpy(bytes.data() + at, &value, sizeof value); };
    put(0, compressor);
    put(2, coder);
    bytes[4] = 3;
    bytes[5] = 4;
    put(12, chunkSize);
    put(16, std::int64_t{-1});
    put(24, std::int64_t{-1});
    put(32, static_cast<std::uint16_t>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        put(34 + 6 * i, items[i].type);
        put(36 + 6 * i, items[i].size);
        put(38 + 6 * i, items[i].version);
    }
    return bytes;
}

ReadResult<laz::LazLayout> Parse(const std::vector<unsigned char>& payload, std::uint8_t format, std::uint16_t recordLength)
{
    return laz::ParseLazVlr(payload.data(), payload.size(), format, recordLength);
}

const std::vector<ItemEntry> kFormat3V2 = {{6, 20, 2}, {7, 8, 2}, {8, 6, 2}};

}  // namespace

TEST(LazVlr, ReadsTheCompressorChunkSizeAndItemsOfEachFamily)
{
    ReadResult<laz::LazLayout> pointwise = Parse(Payload(2, 50000, kFormat3V2), 3, 34);
    ASSERT_TRUE(pointwise.Ok()) << pointwise.Failure().reason;
    EXPECT_EQ(pointwise.Value().compressor, Compressor::PointWiseChunked);
    EXPECT_EQ(pointwise.Value().chunkSize, 50000u);
    ASSERT_EQ(pointwise.Value().items.size(), 3u);
    EXPECT_EQ(pointwise.Value().items[2].type, ItemType::Rgb12);

    // Extra bytes after the core, wave packets of version 1 beside version 2 items, version 1
    // throughout, and the layered items with variable chunks.
    EXPECT_TRUE(Parse(Payload(2, 50000, {{6, 20, 2}, {7, 8, 2}, {8, 6, 2}, {0, 27, 2}}), 3, 61).Ok());
    EXPECT_TRUE(Parse(Payload(2, 50000, {{6, 20, 2}, {7, 8, 2}, {9, 29, 1}}), 4, 57).Ok());
    EXPECT_TRUE(Parse(Payload(1, 0, {{6, 20, 1}, {7, 8, 1}, {8, 6, 1}}), 3, 34).Ok());
    ReadResult<laz::LazLayout> layered = Parse(Payload(3, laz::kVariableChunks, {{10, 30, 3}, {12, 8, 3}, {13, 29, 3}, {14, 5, 3}}), 10, 72);
    ASSERT_TRUE(layered.Ok()) << layered.Failure().reason;
    EXPECT_EQ(layered.Value().chunkSize, laz::kVariableChunks);
}

TEST(LazVlr, RefusesLayoutsThatDisagreeWithTheRecordOrTheDecoder)
{
    const struct {
        const char* what;
        std::vector<unsigned char> payload;
        std::uint8_t format;
        std::uint16_t recordLength;
        ReadError code;
        std::string reason;
    } cases[] = {
        {"record longer", Payload(2, 50000, kFormat3V2), 3, 36, ReadError::Malformed,
         "LAZ: the items add up to 34 bytes, the record length is 36"},
        {"colour missing", Payload(2, 50000, {{6, 20, 2}, {7, 8, 2}}), 3, 28, ReadError::Malformed,
         "LAZ: the LASzip record lists too few items for point format 3"},
        {"out of order", Payload(2, 50000, {{6, 20, 2}, {8, 6, 2}, {7, 8, 2}}), 3, 34, ReadError::Malformed,
         "LAZ: item type 8 version 2 does not belong at place 1 of point format 3"},
        {"mixed versions", Payload(2, 50000, {{6, 20, 2}, {7, 8, 1}, {8, 6, 2}}), 3, 34, ReadError::Unsupported,
         "LAZ: item type 7 version 1 is not supported"},
        {"wave packet version 2", Payload(2, 50000, {{6, 20, 2}, {7, 8, 2}, {9, 29, 2}}), 4, 57, ReadError::Unsupported,
         "LAZ: item type 9 version 2 is not supported"},
        {"gps time 9 bytes", Payload(2, 50000, {{6, 20, 2}, {7, 9, 2}, {8, 6, 2}}), 3, 35, ReadError::Malformed,
         "LAZ: item type 7 version 2 claims 9 bytes"},
        {"no extra bytes", Payload(2, 50000, {{6, 20, 2}, {7, 8, 2}, {8, 6, 2}, {0, 0, 2}}), 3, 34, ReadError::Malformed,
         "LAZ: item type 0 version 2 claims 0 bytes"},
        {"layered point items", Payload(3, 50000, kFormat3V2), 3, 34, ReadError::Unsupported,
         "LAZ: point format 3 cannot use compressor 3"},
        {"point-wise layered format", Payload(2, 50000, {{10, 30, 3}}), 6, 30, ReadError::Unsupported,
         "LAZ: point format 6 cannot use compressor 2"},
        {"compressor 0", Payload(0, 50000, kFormat3V2), 3, 34, ReadError::Unsupported, "LAZ: unknown compressor 0"},
        {"coder 1", Payload(2, 50000, kFormat3V2, 1), 3, 34, ReadError::Unsupported, "LAZ: unknown entropy coder 1"},
        {"chunks of no points", Payload(2, 0, kFormat3V2), 3, 34, ReadError::Malformed, "LAZ: a chunk size of 0 points"},
        {"short record", std::vector<unsigned char>(20, 0), 3, 34, ReadError::Malformed,
         "LAZ: the LASzip record is 20 bytes, too short"},
    };
    for (const auto& c : cases) {
        const ReadResult<laz::LazLayout> parsed = Parse(c.payload, c.format, c.recordLength);
        ASSERT_FALSE(parsed.Ok()) << c.what;
        EXPECT_EQ(parsed.Failure().code, c.code) << c.what;
        EXPECT_EQ(parsed.Failure().reason, c.reason) << c.what;
    }

    // An item count beyond the record is caught before any item is read.
    std::vector<unsigned char> claimsMore = Payload(2, 50000, kFormat3V2);
    claimsMore[32] = 0x60;
    claimsMore[33] = 0xEA;  // 60000 items
    const ReadResult<laz::LazLayout> parsed = Parse(claimsMore, 3, 34);
    ASSERT_FALSE(parsed.Ok());
    EXPECT_EQ(parsed.Failure().reason, "LAZ: the LASzip record lists 60000 items but holds 3");
}

TEST(LazArithmeticDecoder, MarksStreamsThatEndEarlyOrCannotBeEncoded)
{
    const unsigned char none[1] = {0};
    laz::ArithmeticDecoder empty(none, none);
    EXPECT_TRUE(empty.Failed());

    // No encoder starts a stream with four 0xFF bytes: the interval would be empty.
    const unsigned char ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(laz::ArithmeticDecoder(ones, ones + 4).Failed());

    const unsigned char some[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    laz::ArithmeticDecoder decoder(some, some + 8);
    EXPECT_FALSE(decoder.Failed());
    EXPECT_EQ(decoder.Consumed(some), 4u);
    laz::SymbolModel model(256);
    for (int i = 0; i < 100; ++i)
        EXPECT_LT(decoder.DecodeSymbol(model), 256u);
    EXPECT_TRUE(decoder.Failed());  // a hundred bytes' worth of symbols from eight bytes
    EXPECT_EQ(decoder.Consumed(some), 8u);
}
