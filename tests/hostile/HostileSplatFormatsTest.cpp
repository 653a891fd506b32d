#include "HostileFixture.h"
#include "support/SplatFormatBytes.h"
#include "support/ZipBytes.h"
#include "support/DocumentRecords.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

using hostile::HostileDocument;
using hostile::kSplatFailed;
using testsupport::SpzHeaderFields;

using HostileSplatFormats = HostileDocument;

// The attribute blocks of `count` SH-0 splats in SPZ version 3.
std::vector<std::string> ZeroBlocks(std::size_t count)
{
    return {std::string(9 * count, '\0'), std::string(count, '\0'), std::string(3 * count, '\0'),
            std::string(3 * count, '\0'), std::string(4 * count, '\0')};
}

TEST_F(HostileSplatFormats, SpzCountsBeyondTheDataFailBeforeAllocating)
{
    SpzHeaderFields huge{3, 0xffffffffu, 3, 12, 0};
    ExpectOrdinaryFailure(dir.Write("v3_count_max.spz", testsupport::SpzGzipFile(huge, ZeroBlocks(100))), kSplatFailed);

    // A gzip bomb: 64 MiB of zeros behind a header that claims enough splats to want them all.
    SpzHeaderFields bomb{3, 3'000'000, 3, 12, 0};
    std::string payload = testsupport::SpzHeaderBytes(bomb) + std::string(std::size_t{64} << 20, '\0');
    ExpectOrdinaryFailure(dir.Write("v3_bomb.spz", testsupport::Gzip(payload)), kSplatFailed);

    // Behind an honest count, whatever follows is never inflated.
    SpzHeaderFields small{3, 1000, 0, 12, 0};
    std::string padded = testsupport::SpzHeaderBytes(small);
    for (const std::string& block : ZeroBlocks(1000))
        padded += block;
    padded += std::string(std::size_t{64} << 20, '\0');
    const auto paddedPath = dir.Write("v3_trailing_zeros.spz", testsupport::Gzip(padded));
    const hostile::Cost cost = Open(paddedPath);
    EXPECT_TRUE(cost.result);
    EXPECT_EQ(testsupport::SplatsOf(document).positions.size(), 1000u);
    EXPECT_LE(cost.peakBytes, FileSize(paddedPath) + hostile::kSmallConstant);

    // Version 4 declares each stream's size: sizes that agree with a huge count still need the
    // compressed bytes to hold them.
    SpzHeaderFields v4{4, 0xffffffffu, 0, 12, 0};
    const std::uint64_t n = v4.count;
    ExpectOrdinaryFailure(
        dir.Write("v4_count_max.spz", testsupport::SpzV4File(v4, ZeroBlocks(10), "", {9 * n, n, 3 * n, 3 * n, 4 * n})),
        kSplatFailed);
    SpzHeaderFields v4Bomb{4, 2'000'000, 0, 12, 0};
    ExpectOrdinaryFailure(dir.Write("v4_bomb.spz", testsupport::SpzV4File(v4Bomb, ZeroBlocks(2'000'000))), kSplatFailed);
}

TEST_F(HostileSplatFormats, SpzTablesAndVersionsOutsideTheRulesFail)
{
    SpzHeaderFields header{4, 10, 0, 12, 0};
    std::string tableAtEnd = testsupport::SpzV4File(header, ZeroBlocks(10));
    tableAtEnd[16] = '\xff';
    tableAtEnd[17] = '\xff';
    tableAtEnd[18] = '\xff';
    tableAtEnd[19] = '\xff';
    ExpectOrdinaryFailure(dir.Write("v4_table_offset_max.spz", tableAtEnd), kSplatFailed);
    std::string cut = testsupport::SpzV4File(header, ZeroBlocks(10));
    cut.resize(cut.size() - 5);
    ExpectOrdinaryFailure(dir.Write("v4_cut.spz", cut), kSplatFailed);
    for (std::uint32_t version : {0u, 5u, 0xffffffffu}) {
        SpzHeaderFields odd{version, 10, 0, 12, 0};
        ExpectOrdinaryFailure(dir.Write("v" + std::to_string(version) + ".spz", testsupport::SpzGzipFile(odd, ZeroBlocks(10))),
                              kSplatFailed);
    }
    ExpectOrdinaryFailure(dir.Write("gzip_garbage.spz", std::string("\x1f\x8b\x08\x00garbage", 11)), kSplatFailed);
}

TEST_F(HostileSplatFormats, SplatFilesWithPartialRecordsFail)
{
    ExpectOrdinaryFailure(dir.Write("empty.splat", std::string()), kSplatFailed);
    ExpectOrdinaryFailure(dir.Write("one_byte_short.splat", std::string(32 * 4 - 1, '\0')), kSplatFailed);
}

TEST_F(HostileSplatFormats, CompressedPlyWithCountsThatDisagreeFails)
{
    const std::string chunk =
        "element chunk 1\n"
        "property float min_x\nproperty float min_y\nproperty float min_z\n"
        "property float max_x\nproperty float max_y\nproperty float max_z\n"
        "property float min_scale_x\nproperty float min_scale_y\nproperty float min_scale_z\n"
        "property float max_scale_x\nproperty float max_scale_y\nproperty float max_scale_z\n";
    const std::string vertex = "property uint packed_position\nproperty uint packed_rotation\n"
                               "property uint packed_scale\nproperty uint packed_color\n";
    auto file = [&](const std::string& counts, std::size_t bodyBytes) {
        return "ply\nformat binary_little_endian 1.0\n" + chunk + counts + vertex + "end_header\n" +
               std::string(bodyBytes, '\0');
    };
    // 300 splats need two chunks; 2^32 splats need a body the file does not have.
    ExpectOrdinaryFailure(dir.Write("chunks_short.compressed.ply", file("element vertex 300\n", 48 + 300 * 16)),
                          kSplatFailed);
    std::string huge = file("element vertex 4294967295\n", 48 + 16);
    huge.replace(huge.find("element chunk 1"), 15, "element chunk 16777216");
    ExpectOrdinaryFailure(dir.Write("count_max.compressed.ply", huge), kSplatFailed);
    ExpectOrdinaryFailure(dir.Write("no_splats.compressed.ply", file("element vertex 0\n", 48)), kSplatFailed);
    std::string sh = file("element vertex 10\n", 48 + 160);
    sh.replace(sh.find("end_header"), 10, "element sh 11\nproperty uchar f_rest_0\nend_header");
    ExpectOrdinaryFailure(dir.Write("sh_count.compressed.ply", sh + std::string(11, '\0')), kSplatFailed);
}

class HostileSog : public HostileDocument {
protected:
    // The files of the SH-3 SOG folder from the corpus, by name.
    std::vector<std::pair<std::string, std::string>> Files()
    {
        std::vector<std::pair<std::string, std::string>> files;
        for (const auto& entry : std::filesystem::directory_iterator(testsupport::TestDataFile("splat-formats/sh3_5k_sog")))
            files.emplace_back(entry.path().filename().string(), testsupport::ReadWholeFile(entry.path()));
        return files;
    }
    std::string& Contents(std::vector<std::pair<std::string, std::string>>& files, const std::string& name)
    {
        for (auto& file : files)
            if (file.first == name)
                return file.second;
        throw std::runtime_error("no " + name);
    }
    static void Replace(std::string& text, const std::string& from, const std::string& to)
    {
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
};

TEST_F(HostileSog, MissingEntriesAndCountsTheImagesCannotHoldFail)
{
    ORRISK_REQUIRE_TESTDATA();
    auto withoutQuats = Files();
    std::erase_if(withoutQuats, [](const auto& file) { return file.first == "quats.webp"; });
    ExpectOrdinaryFailure(dir.Write("no_quats.sog", testsupport::StoredZip(withoutQuats)), kSplatFailed);

    for (const char* count : {"\"count\":5185", "\"count\":4294967295", "\"count\":-1", "\"count\":\"many\""}) {
        auto files = Files();
        Replace(Contents(files, "meta.json"), "\"count\":5000", count);
        ExpectOrdinaryFailure(dir.Write(std::string("count_") + std::to_string(std::hash<std::string>{}(count)) + ".sog",
                                        testsupport::StoredZip(files)),
                              kSplatFailed);
    }
    auto version1 = Files();
    Replace(Contents(version1, "meta.json"), "\"version\":2", "\"version\":1");
    ExpectOrdinaryFailure(dir.Write("version1.sog", testsupport::StoredZip(version1)), kSplatFailed);
    auto paletteShort = Files();
    Replace(Contents(paletteShort, "meta.json"), "\"count\":4096", "\"count\":100");
    ExpectOrdinaryFailure(dir.Write("palette_short.sog", testsupport::StoredZip(paletteShort)), kSplatFailed);
    auto notWebp = Files();
    Contents(notWebp, "scales.webp") = "RIFF....WEBPVP8L not really";
    ExpectOrdinaryFailure(dir.Write("not_webp.sog", testsupport::StoredZip(notWebp)), kSplatFailed);
    auto escape = Files();
    Replace(Contents(escape, "meta.json"), "\"quats.webp\"", "\"../quats.webp\"");
    ExpectOrdinaryFailure(dir.Write("escaping_name.sog", testsupport::StoredZip(escape)), kSplatFailed);
}

TEST_F(HostileSog, ZipEntriesClaimingMoreThanTheirBytesFail)
{
    ORRISK_REQUIRE_TESTDATA();
    std::string zip = testsupport::StoredZip(Files());
    // Mark every entry deflated with a size of nearly 4 GiB in the central directory.
    for (std::size_t at = zip.find("PK\x01\x02"); at != std::string::npos; at = zip.find("PK\x01\x02", at + 4)) {
        zip[at + 10] = 8;
        for (int b = 0; b < 4; ++b)
            zip[at + 24 + b] = '\xfe';
    }
    ExpectOrdinaryFailure(dir.Write("oversized.sog", zip), kSplatFailed);
    std::string cut = testsupport::StoredZip(Files());
    cut.resize(cut.size() / 2);
    ExpectOrdinaryFailure(dir.Write("cut.sog", cut), kSplatFailed);
    std::string corrupt = testsupport::StoredZip(Files());
    corrupt[corrupt.size() / 3] ^= 0x5a;
    ExpectOrdinaryFailure(dir.Write("crc.sog", corrupt), kSplatFailed);
}

}  // namespace
