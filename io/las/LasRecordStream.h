#pragma once

#include "io/core/PointRecords.h"
#include "io/core/ReadOnlyFile.h"
#include "io/core/ReadResult.h"
#include "io/las/LasRecords.h"

#include <cstdint>
#include <string>

namespace las {

// What a LAS or LAZ file says about its records: the header's identity fields and every
// VLR and EVLR, read whole, except those that only describe how the points are stored (the
// LASzip record, COPC's info and hierarchy). Bounded by the file: a record reaching past the
// point data (a VLR) or the file's end (an EVLR) fails the read.
ReadResult<PointRecordFormat> ReadRecordFormat(const ReadOnlyFile& file, std::uint64_t fileSize, const HeaderImage& image);

}  // namespace las

// Streams the records of an uncompressed LAS file, in file order, a block at a time.
// Compressed files are not recognised here (LAZ has its own stream).
ReadResult<PointRecordFormat> StreamLasRecords(const std::string& path, PointRecordSink& sink, const ReadOptions& options = {});
