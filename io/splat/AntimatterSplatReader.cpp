#include "io/splat/AntimatterSplatReader.h"

#include "io/splat/SplatBytes.h"
#include "io/splat/SplatFinish.h"
#include "io/splat/SplatShared.h"

namespace {

constexpr const char* kFormat = ".splat";
constexpr std::size_t kRecordBytes = 32;

}  // namespace

ReadResult<GaussianData> ReadSplatFile(const std::string& path, const ReadOptions& options)
{
    ReadResult<Bytes> file = ReadFileBytes(path, kFormat);
    if (!file)
        return file.Failure();
    const Bytes& bytes = file.Value();
    if (bytes.empty())
        return Fail(ReadError::Malformed, ".splat: the file holds no splats");
    if (bytes.size() % kRecordBytes != 0)
        return Fail(ReadError::Truncated, ".splat: the file size " + std::to_string(bytes.size()) +
                                              " is not a multiple of the 32-byte record (" +
                                              std::to_string(bytes.size() % kRecordBytes) + " bytes left over)");
    if (!ReportProgress(options, 0.5))
        return CancelledFailure(kFormat);

    const std::size_t count = bytes.size() / kRecordBytes;
    GaussianData data;
    SizeSplatScene(data, count, 0);
    ForSplatRanges(options.pool, count, [&](std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            const std::uint8_t* record = bytes.data() + i * kRecordBytes;
            for (int a = 0; a < 3; ++a) {
                data.positions[i][a] = LoadF32(record + 4 * a);
                data.scales[i][a] = std::log(LoadF32(record + 12 + 4 * a));
                data.shDc[i][a] = (static_cast<float>(record[24 + a]) / 255.0f - 0.5f) / kSplatShC0;
            }
            data.opacities[i] = OpacityLogit(static_cast<float>(record[27]) / 255.0f);
            for (int c = 0; c < 4; ++c)
                data.rotations[i][c] = static_cast<float>(record[28 + c]) / 127.5f - 1.0f;
        }
    });
    FinishSplatScene(data, 0, options.pool);
    LogLoadedSplats("SplatReader", data);
    ReportProgress(options, 1.0);
    return data;
}
