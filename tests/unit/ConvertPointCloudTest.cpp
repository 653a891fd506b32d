#include "convert/ConvertPointCloud.h"
#include "convert/CrsWkt.h"
#include "io/las/ExtendedRecords.h"
#include "convert/PointRecordSource.h"
#include "io/core/LittleEndian.h"
#include "io/laz/LazReader.h"
#include "platform/ThreadPool.h"
#include "support/RecordCollector.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using testsupport::RecordCollector;
using testsupport::ScratchDir;
using testsupport::TestDataFile;

namespace {

std::vector<unsigned char> FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The compressed chunks of a LAZ file: from after the chunk table offset to the table.
std::vector<unsigned char> ChunkBytes(const std::vector<unsigned char>& laz)
{
    const auto pointData = LoadLE<std::uint32_t>(&laz[96]);
    const auto table = LoadLE<std::int64_t>(&laz[pointData]);
    return {laz.begin() + pointData + 8, laz.begin() + table};
}

RecordCollector Records(const std::filesystem::path& path)
{
    RecordCollector records;
    const ReadResult<PointRecordFormat> read = StreamPointRecords(path.string(), records);
    EXPECT_TRUE(read.Ok()) << path << ": " << (read.Ok() ? "" : read.Failure().reason);
    return records;
}

std::vector<std::string> Listing(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

ConvertOptions Options(PointCloudOutput output, ThreadPool* pool = nullptr)
{
    ConvertOptions options;
    options.output = output;
    options.pool = pool;
    return options;
}

}  // namespace

// Every reference pair: our LAZ of the .las holds the very chunks the reference compressor
// wrote, decodes to the .las records, and is the same file with or without threads; LAS out
// gives back the records, scale, offset and VLRs unchanged.
TEST(ConvertPointCloud, LasBecomesTheReferenceLazAndComesBackUnchanged)
{
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    ThreadPool pool(2);
    int pairs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataFile("laz-write"))) {
        if (entry.path().extension() != ".las")
            continue;
        const std::string name = entry.path().stem().string();
        const RecordCollector source = Records(entry.path());

        const std::filesystem::path laz = dir.File(name + ".laz");
        const WriteResult written = ConvertPointCloud(entry.path().string(), laz.string(), Options(PointCloudOutput::Laz));
        ASSERT_TRUE(written.Ok()) << name << ": " << written.Failure().reason;
        const std::vector<unsigned char> ours = FileBytes(laz);
        const std::vector<unsigned char> reference = FileBytes(entry.path().parent_path() / (name + ".laszip.laz"));
        EXPECT_TRUE(ChunkBytes(ours) == ChunkBytes(reference)) << name;
        EXPECT_LE(ours.size(), reference.size() * 101 / 100 + 64) << name;
        const RecordCollector decoded = Records(laz);
        EXPECT_TRUE(decoded.records == source.records) << name;

        const std::filesystem::path threaded = dir.File(name + ".threads.laz");
        ASSERT_TRUE(ConvertPointCloud(entry.path().string(), threaded.string(), Options(PointCloudOutput::Laz, &pool)).Ok());
        EXPECT_TRUE(FileBytes(threaded) == ours) << name;

        const std::filesystem::path las = dir.File(name + ".las");
        ASSERT_TRUE(ConvertPointCloud(laz.string(), las.string(), Options(PointCloudOutput::Las)).Ok()) << name;
        const RecordCollector back = Records(las);
        EXPECT_TRUE(back.records == source.records) << name;
        EXPECT_EQ(back.format.format, source.format.format) << name;
        EXPECT_EQ(back.format.scale, source.format.scale) << name;
        EXPECT_EQ(back.format.offset, source.format.offset) << name;
        ASSERT_EQ(back.format.vlrs.size(), source.format.vlrs.size()) << name;
        for (std::size_t i = 0; i < source.format.vlrs.size(); ++i)
            EXPECT_TRUE(back.format.vlrs[i].data == source.format.vlrs[i].data) << name << " VLR " << i;
        ++pairs;
    }
    EXPECT_GE(pairs, 30);
}

TEST(ConvertPointCloud, CopcBecomesLasWithEveryNode)
{
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    const std::filesystem::path copc = TestDataFile("laz/lone-star.copc.laz");
    const std::filesystem::path las = dir.File("lone-star.las");
    const WriteResult written = ConvertPointCloud(copc.string(), las.string(), Options(PointCloudOutput::Las));
    ASSERT_TRUE(written.Ok()) << written.Failure().reason;
    const RecordCollector source = Records(copc);
    const RecordCollector back = Records(las);
    EXPECT_EQ(back.count, source.count);
    EXPECT_TRUE(back.records == source.records);
    EXPECT_EQ(back.format.versionMinor, 4);
    const std::vector<unsigned char> header = FileBytes(las);
    EXPECT_EQ(LoadLE<std::uint64_t>(&header[247]), source.count);
}

// A COPC of a GeoTIFF-referenced LAS holds every source record, rewritten in the 1.4 format,
// and states the CRS as WKT; the warning channel stays quiet when nothing was lost.
TEST(ConvertPointCloud, LasBecomesCopcWithItsCrsAsWkt)
{
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    ThreadPool pool(2);
    const std::filesystem::path source = TestDataFile("las/autzen-utm.las");
    const std::filesystem::path copc = dir.File("autzen.copc.laz");
    ConvertOptions options = Options(PointCloudOutput::Copc, &pool);
    std::vector<std::string> warnings;
    options.warning = [&](const std::string& text) { warnings.push_back(text); };
    const WriteResult written = ConvertPointCloud(source.string(), copc.string(), options);
    ASSERT_TRUE(written.Ok()) << written.Failure().reason;
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(SniffPointCloudFile(copc.string()), PointCloudFileKind::Copc);

    const RecordCollector original = Records(source);
    const RecordCollector built = Records(copc);
    ASSERT_EQ(built.count, original.count);
    const std::optional<las::ExtendedMapping> mapping = las::PlanExtendedMapping(original.format.format, original.format.recordLength);
    ASSERT_TRUE(mapping);
    EXPECT_EQ(built.format.format, mapping->targetFormat);
    std::vector<unsigned char> mapped(original.count * mapping->targetLength);
    las::MapToExtended(*mapping, original.records.data(), original.count, mapped.data());
    const auto sorted = [](const std::vector<unsigned char>& bytes, std::size_t length) {
        std::vector<std::string> records;
        for (std::size_t at = 0; at < bytes.size(); at += length)
            records.emplace_back(reinterpret_cast<const char*>(bytes.data() + at), length);
        std::sort(records.begin(), records.end());
        return records;
    };
    EXPECT_TRUE(sorted(built.records, mapping->targetLength) == sorted(mapped, mapping->targetLength));
    EXPECT_TRUE(HasWktCrs(built.format.vlrs));
    EXPECT_EQ(built.format.globalEncoding & 0x10, 0x10);
}

// Whatever stops a conversion, the target's name holds what it held before (nothing, or the
// old file), no temporary file stays behind, and the source is untouched.
TEST(ConvertPointCloud, FailuresLeaveNothingBehind)
{
    ORRISK_REQUIRE_TESTDATA();
    ScratchDir dir;
    const std::filesystem::path source = dir.File("source.las");
    std::filesystem::copy_file(TestDataFile("laz-write/stress_f3.las"), source);
    const std::vector<unsigned char> sourceBytes = FileBytes(source);
    const std::filesystem::path old = dir.Write("old.laz", std::string("an older file"));
    const std::vector<std::string> before = Listing(dir.Path());

    const WriteResult self = ConvertPointCloud(source.string(), source.string(), Options(PointCloudOutput::Las));
    ASSERT_FALSE(self.Ok());
    EXPECT_EQ(self.Failure().code, WriteError::Refused);
    const WriteResult viaLink = ConvertPointCloud(source.string(), (dir.Path() / "." / "source.las").string(), Options(PointCloudOutput::Laz));
    ASSERT_FALSE(viaLink.Ok());
    EXPECT_EQ(viaLink.Failure().code, WriteError::Refused);

    const WriteResult noFolder = ConvertPointCloud(source.string(), dir.File("missing/out.laz").string(), Options(PointCloudOutput::Laz));
    ASSERT_FALSE(noFolder.Ok());
    EXPECT_EQ(noFolder.Failure().code, WriteError::CannotCreate);

    const WriteResult noSource = ConvertPointCloud(dir.File("none.las").string(), dir.File("out.laz").string(), Options(PointCloudOutput::Laz));
    ASSERT_FALSE(noSource.Ok());
    EXPECT_EQ(noSource.Failure().code, WriteError::SourceFailed);

    for (double stopAt : {0.0, 0.5, 1.0}) {
        for (PointCloudOutput output : {PointCloudOutput::Las, PointCloudOutput::Laz}) {
            ConvertOptions options = Options(output);
            // 0: the first report stops it; 1: only the last one does.
            options.progress = [stopAt](double fraction) { return stopAt > 0.0 && fraction < stopAt; };
            const WriteResult cancelled = ConvertPointCloud(source.string(), old.string(), options);
            ASSERT_FALSE(cancelled.Ok()) << stopAt;
            EXPECT_EQ(cancelled.Failure().code, WriteError::Cancelled) << stopAt;
        }
    }
    EXPECT_EQ(testsupport::ReadWholeFile(old), "an older file");

    // A file size limit stops the write part-way; the process survives it (SIGXFSZ ignored,
    // as the converter does) and cleans up. Run in a child so the limit stays there.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200000, 200000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const WriteResult full = ConvertPointCloud(source.string(), dir.File("big.las").string(), Options(PointCloudOutput::Las));
        _exit(full.Ok() ? 100 : static_cast<int>(full.Failure().code));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(WriteError::WriteFailed));

    EXPECT_EQ(Listing(dir.Path()), before);
    EXPECT_TRUE(FileBytes(source) == sourceBytes);
}

TEST(ConvertPointCloud, TheFormatFollowsTheTargetsName)
{
    EXPECT_EQ(OutputFromName("/data/x.copc.laz"), PointCloudOutput::Copc);
    EXPECT_EQ(OutputFromName("X.COPC.LAZ"), PointCloudOutput::Copc);
    EXPECT_EQ(OutputFromName("a.b/x.laz"), PointCloudOutput::Laz);
    EXPECT_EQ(OutputFromName("x.LAS"), PointCloudOutput::Las);
    EXPECT_EQ(OutputFromName("x.ply"), std::nullopt);
    EXPECT_EQ(OutputFromName("copc.laz/x"), std::nullopt);
}
