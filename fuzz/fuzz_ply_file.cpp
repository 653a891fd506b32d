// The PLY reader on a whole file: header and body in every encoding. Errors must come out as
// std::runtime_error (or bad_alloc for a size the machine cannot hold), nothing else.
#include "FuzzInputFile.h"
#include "io/ply/PlyFile.h"

#include <new>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("input.ply");
    try {
        const orrisk::ply::PlyFile ply(file.Write(data, size));
        for (const orrisk::ply::PlyElement& element : ply.elements)
            for (const auto& property : element.properties)
                if (property->RecordCount() != element.recordCount)
                    std::abort();  // a body read in full holds every declared record
    } catch (const std::runtime_error&) {
    }
    return 0;
}
