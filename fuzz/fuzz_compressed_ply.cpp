// The splat format detection, and the CompressedPly reader on every input whatever the detection says.
#include "FuzzInputFile.h"
#include "SplatSceneChecks.h"
#include "io/splat/CompressedPlyReader.h"
#include "io/splat/SplatReader.h"
#include "platform/ThreadPool.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.compressed.ply");
    static ThreadPool pool(2);
    const std::string& path = file.Write(data, size);
    (void)DetectSplatFormat(path);
    CheckSplatResult(ReadCompressedSplatPly(path, ReadOptions{{}, size % 2 ? &pool : nullptr}));
    return 0;
}
