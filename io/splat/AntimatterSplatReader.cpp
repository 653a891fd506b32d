#include "io/splat/AntimatterSplatReader.h"

#include "io/core/LittleEndian.h"
#include "io/core/ReadOnlyFile.h"
#include "io/splat/SplatActivation.h"
#include "io/splat/SplatBytes.h"
#include "io/splat/SplatFinish.h"
#include "io/splat/SplatShared.h"
#include "platform/ThreadPool.h"

#include <cmath>
#include <optional>

namespace {

constexpr const char* kFormat = ".splat";
constexpr std::size_t kRecordBytes = 32;

}  // namespace

ReadResult<GaussianData> ReadSplatFile(const std::string& path, const ReadOptions& options)
{
    const std::optional<std::uint64_t> size = ReadOnlyFile(path).RegularFileSize();
    if (!size)
        return Fail(ReadError::CannotOpen, ".splat: cannot open " + path + " as a regular file");
    if (*size == 0)
        return Fail(ReadError::Malformed, ".splat: the file holds no splats");
    if (*size % kRecordBytes != 0)
        return Fail(ReadError::Truncated, ".splat: the file size " + std::to_string(*size) +
                                              " is not a multiple of the 32-byte record (" +
                                              std::to_string(*size % kRecordBytes) + " bytes left over)");
    const std::size_t count = static_cast<std::size_t>(*size / kRecordBytes);

    // The file is read on one thread while the scene is sized on another.
    std::optional<ReadResult<Bytes>> file;
    GaussianData data;
    ParallelFor(options.pool, 2, [&](std::size_t lane) {
        if (lane == 0)
            file = ReadFileBytes(path, kFormat);
        else
            SizeSplatAttributes(data, count);
    });
    if (!*file)
        return file->Failure();
    const Bytes& bytes = file->Value();
    if (bytes.size() != *size)
        return Fail(ReadError::Truncated, ".splat: the file changed size while it was read");
    if (!ReportProgress(options, 0.5))
        return CancelledFailure(kFormat);

    const auto opacity = OpacityOfAlphaByte();
    DecodeSplatScene(data, 0, options.pool, [&](std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            const std::uint8_t* record = bytes.data() + i * kRecordBytes;
            for (int a = 0; a < 3; ++a) {
                data.positions[i][a] = LoadLE<float>(record + 4 * a);
                data.scales[i][a] = SplatScaleFromLog(std::log(LoadLE<float>(record + 12 + 4 * a)));
                data.shDc[i][a] = (static_cast<float>(record[24 + a]) / 255.0f - 0.5f) / kSplatShC0;
            }
            data.opacities[i] = opacity[record[27]];
            Eigen::Vector4f& q = data.rotations[i];
            for (int c = 0; c < 4; ++c)
                q[c] = static_cast<float>(record[28 + c]) / 127.5f - 1.0f;
            NormaliseSplatRotation(q);
        }
    });
    ReportProgress(options, 1.0);
    return SplatsRead("SplatReader", std::move(data));
}
