#include "AllocationCounter.h"
#include "io/copc/CopcHierarchy.h"
#include "support/CopcBytes.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

namespace {

using copctest::CopcFile;
using copctest::Entry;

constexpr std::size_t kSmallConstant = std::size_t{1} << 20;

class HostileCopc : public ::testing::Test {
protected:
    // Reads the hierarchy, checking it stays within the file's size and a small constant in
    // memory and finishes promptly.
    ReadResult<CopcHierarchy> Read(const std::string& name, const std::string& bytes)
    {
        const auto path = dir.Write(name, bytes);
        const hostile::PeakAllocation peak;
        const auto start = std::chrono::steady_clock::now();
        auto result = ReadCopcHierarchy(path.string());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << name;
        EXPECT_LE(peak.Bytes(), bytes.size() + kSmallConstant) << name;
        if (!result) {
            EXPECT_EQ(result.Failure().reason.rfind("COPC: ", 0), 0u) << result.Failure().reason;
        }
        return result;
    }

    static bool Mentions(const CopcHierarchy& h, const std::string& words)
    {
        for (const std::string& reason : h.skipped)
            if (reason.find(words) != std::string::npos)
                return true;
        return false;
    }

    testsupport::ScratchDir dir;
};

TEST_F(HostileCopc, BadChildPagesAreSkippedAndTheRestIsRead)
{
    struct Case {
        const char* name;
        std::uint64_t offset;
        std::int32_t size;
        const char* reason;
    };
    CopcFile file = copctest::TwoPageFile();
    const std::uint64_t end = file.Bytes().size();
    const std::uint64_t root = file.PageOffset(0);
    const Case cases[] = {
        {"page-past-end", end, 256, "not whole entries inside"},
        {"page-straddles-end", end - 32, 64, "not whole entries inside"},
        {"page-at-itself", root, file.PageSize(0), "overlaps a page already read"},
        {"page-inside-root", root + 32, 32, "overlaps a page already read"},
        {"page-offset-max", ~std::uint64_t{0} - 16, 32, "not whole entries inside"},
        {"page-size-negative", file.PageOffset(1), -32, "not whole entries inside"},
        {"page-size-odd", file.PageOffset(1), 33, "not whole entries inside"},
        {"page-in-points", CopcFile::kFirstChunk, 64, "not whole entries inside"},
    };
    for (const Case& c : cases) {
        CopcFile bad = file;
        bad.pages[0].back().offset = c.offset;
        bad.pages[0].back().byteSize = c.size;
        auto result = Read(c.name, bad.Bytes());
        ASSERT_TRUE(result) << c.name << ": " << result.Failure().reason;
        EXPECT_EQ(result.Value().nodes.size(), 1u) << c.name;
        EXPECT_EQ(result.Value().skippedCount, 1u) << c.name;
        EXPECT_TRUE(Mentions(result.Value(), c.reason)) << c.name;
    }
}

TEST_F(HostileCopc, CyclesOfPagesEndAtTheFirstPageReadTwice)
{
    CopcFile file = copctest::TwoPageFile();
    // Page 1 points on to page 2, which points back at page 1 and at the root.
    file.pages[1].push_back({});
    file.pages.push_back({CopcFile::Node(2, 0, 0, 0, 20, 5), {}, {}});
    file.pages[0].back() = file.PageEntry(1, 0, 0, 0, 1);
    file.pages[1].back() = file.PageEntry(2, 0, 0, 0, 2);
    file.pages[2][1] = file.PageEntry(2, 1, 0, 0, 1);
    file.pages[2][2] = file.PageEntry(2, 1, 1, 0, 0);
    file.headerPointCount = 95;
    auto result = Read("cycle", file.Bytes());
    ASSERT_TRUE(result) << result.Failure().reason;
    EXPECT_EQ(result.Value().pageCount, 3u);
    EXPECT_EQ(result.Value().nodes.size(), 10u);
    EXPECT_EQ(result.Value().nodePoints, 95u);
    EXPECT_EQ(result.Value().skippedCount, 2u);
}

TEST_F(HostileCopc, ThousandsOfOverlappingPagesAreReadOnce)
{
    // Every entry of a large root page points at a page covering nearly the whole hierarchy:
    // following each would read it thousands of times.
    CopcFile file;
    file.headerPointCount = 10;
    file.pages[0].assign(4001, Entry{});
    file.pages[0][0] = CopcFile::Node(0, 0, 0, 0, 0, 10);
    file.pages.push_back(std::vector<Entry>(4000, Entry{9, 0, 0, 0, 0, 0, 0}));
    for (int i = 0; i < 4000; ++i) {
        Entry entry = file.PageEntry(1, i & 1, 0, 0, 1);
        entry.offset += 32 * static_cast<std::uint64_t>(i);
        entry.byteSize -= 32 * i;
        file.pages[0][1 + std::size_t(i)] = entry;
    }
    auto result = Read("overlapping-pages", file.Bytes());
    ASSERT_TRUE(result) << result.Failure().reason;
    EXPECT_LE(result.Value().pageCount, 2u);
    EXPECT_EQ(result.Value().nodes.size(), 1u);
    EXPECT_LE(result.Value().skipped.size(), kCopcKeptReasons);
    EXPECT_GT(result.Value().skippedCount, 3990u);
}

TEST_F(HostileCopc, NodesBeyondTheRulesAreSkipped)
{
    CopcFile file;
    file.headerPointCount = 100;
    auto& page = file.pages[0];
    page.push_back(CopcFile::Node(0, 0, 0, 0, 0, 40));
    // A chain down to level 40: only 32 levels are followed.
    for (int level = 1; level <= 40; ++level)
        page.push_back(CopcFile::Node(level, 0, 0, 0, std::size_t(level), 1));
    page.push_back(CopcFile::Node(1, 1, 0, 0, 50, 1000));      // more points than the header counts
    page.push_back(CopcFile::Node(1, 0, 1, 0, 51, 2147483647));
    page.push_back(CopcFile::Node(1, 2, 0, 0, 52, 1));         // outside level 1's cells
    page.push_back(CopcFile::Node(-1, 0, 0, 0, 53, 1));        // negative level
    page.push_back(CopcFile::Node(1, 0, 0, 0, 54, 1));         // listed twice
    page.push_back(CopcFile::Node(3, 7, 7, 7, 55, 1));         // no parent
    page.push_back(CopcFile::Node(1, 1, 1, 0, 1, 1));          // shares level 1's chunk
    page.push_back({1, 0, 0, 1, CopcFile::kFirstChunk + 4090, 64, 1});  // chunk past the point data
    page.push_back({1, 1, 0, 1, 10, 64, 1});                   // chunk inside the header
    page.push_back({1, 0, 1, 1, CopcFile::kFirstChunk, 0, 1});  // points in no bytes
    page.push_back({1, 1, 1, 1, CopcFile::kFirstChunk, 64, -2});
    page.push_back({2, 3, 3, 3, CopcFile::kFirstChunk + 64 * 60, 29, 1});  // a chunk shorter than a record
    auto result = Read("bad-nodes", file.Bytes());
    ASSERT_TRUE(result) << result.Failure().reason;
    const CopcHierarchy& h = result.Value();
    EXPECT_EQ(h.depth, kCopcMaxLevels);
    EXPECT_EQ(h.nodes.size(), std::size_t(kCopcMaxLevels));
    EXPECT_EQ(h.nodePoints, 40u + 31u);
    EXPECT_EQ(h.skippedCount, 21u);
    for (const char* words : {"levels read", "more than the header", "outside its level", "listed twice",
                              "no parent", "overlaps another", "not inside the point data", "negative",
                              "smaller than one point record"})
        EXPECT_TRUE(Mentions(h, words)) << words;
}

TEST_F(HostileCopc, BrokenHeadersInfoAndRootPagesFail)
{
    const std::string good = copctest::TwoPageFile().Bytes();
    const CopcFile file = copctest::TwoPageFile();
    struct Patch {
        const char* name;
        std::size_t at;
        std::string bytes;
        ReadError code;
    };
    const auto u64 = [](std::uint64_t v) { return std::string(reinterpret_cast<const char*>(&v), 8); };
    const auto u32 = [](std::uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    const auto f64 = [](double v) { return std::string(reinterpret_cast<const char*>(&v), 8); };
    const Patch patches[] = {
        {"not-copc", 377, "abcd", ReadError::NotRecognised},
        {"not-laz", 104, std::string(1, '\x06'), ReadError::NotRecognised},
        {"version-1-2", 25, std::string(1, '\x02'), ReadError::Malformed},
        {"format-3", 104, std::string(1, '\x83'), ReadError::Malformed},
        {"scale-zero", 131, f64(0), ReadError::Malformed},
        {"halfsize-nan", 429 + 24, f64(std::nan("")), ReadError::Malformed},
        {"halfsize-negative", 429 + 24, f64(-1), ReadError::Malformed},
        {"root-past-end", 429 + 40, u64(good.size()), ReadError::Malformed},
        {"root-size-zero", 429 + 48, u64(0), ReadError::Malformed},
        {"root-size-max", 429 + 48, u64(~std::uint64_t{0} & ~std::uint64_t{31}), ReadError::Malformed},
        {"root-in-points", 429 + 40, u64(CopcFile::kFirstChunk), ReadError::Malformed},
        {"no-evlrs", 243, u32(0), ReadError::Malformed},
        {"evlr-offset-past-end", 235, u64(good.size() + 1), ReadError::Malformed},
        {"evlr-length-max", file.EvlrOffset() + 20, u64(~std::uint64_t{0}), ReadError::Malformed},
        {"evlr-other-record", file.EvlrOffset() + 18, std::string("\x01\x00", 2), ReadError::Malformed},
        {"point-data-past-end", 96, u32(~0u), ReadError::Malformed},
    };
    for (const Patch& p : patches) {
        std::string bytes = good;
        bytes.replace(p.at, p.bytes.size(), p.bytes);
        auto result = Read(p.name, bytes);
        ASSERT_FALSE(result) << p.name;
        EXPECT_EQ(result.Failure().code, p.code) << p.name << ": " << result.Failure().reason;
    }
}

TEST_F(HostileCopc, EveryTruncationFailsOrReadsLess)
{
    const std::string bytes = copctest::TwoPageFile().Bytes();
    for (std::size_t size = 0; size < bytes.size(); size += 7) {
        auto result = Read("truncated", bytes.substr(0, size));
        if (result) {
            EXPECT_LT(result.Value().nodes.size(), 9u) << size;
        }
    }
}

}  // namespace
