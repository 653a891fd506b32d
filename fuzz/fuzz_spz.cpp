// The splat format detection, and the Spz reader on every input whatever the detection says.
#include "FuzzInputFile.h"
#include "SplatSceneChecks.h"
#include "io/splat/SplatReader.h"
#include "io/splat/SpzReader.h"
#include "platform/ThreadPool.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.spz");
    static ThreadPool pool(2);
    const std::string& path = file.Write(data, size);
    (void)DetectSplatFormat(path);
    CheckSplatResult(ReadSpz(path, ReadOptions{{}, size % 2 ? &pool : nullptr}));
    return 0;
}
