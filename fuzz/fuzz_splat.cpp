// The splat format detection, and the AntimatterSplat reader on every input whatever the detection says.
#include "FuzzInputFile.h"
#include "SplatSceneChecks.h"
#include "io/splat/AntimatterSplatReader.h"
#include "io/splat/SplatReader.h"
#include "platform/ThreadPool.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.splat");
    static ThreadPool pool(2);
    const std::string& path = file.Write(data, size);
    (void)DetectSplatFormat(path);
    CheckSplatResult(ReadSplatFile(path, ReadOptions{{}, size % 2 ? &pool : nullptr}));
    return 0;
}
