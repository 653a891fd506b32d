#pragma once

#include "io/core/PointRecords.h"
#include "io/core/ReadResult.h"
#include "io/las/LasRecords.h"
#include "io/laz/FieldMask.h"
#include "io/laz/LazVlr.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct PointCloudData;

// A LAZ file as its header and LASzip record describe it.
struct LazFileInfo {
    las::LasHeader header;
    laz::LazLayout layout;
    std::size_t chunkCount = 0;
    bool sequential = false;  // the chunk table was missing or damaged: chunks were walked one by one
};

// The header and layout of a LAZ file, checked as for decoding, without decoding anything.
ReadResult<LazFileInfo> ReadLazInfo(const std::string& path);

// Receives the decoded records of one chunk: count records of header.recordLength bytes,
// the first being point number firstPoint of the file. With a pool in the options it is
// called on several threads at once, for different chunks, in no particular order; without
// one, in file order on the calling thread.
using LazRecordSink = std::function<void(std::uint64_t firstPoint, const unsigned char* records, std::size_t count)>;

// Decodes every point record of a LAZ file (a LAS file whose point data LASzip compressed),
// decoding only the fields asked for where the format allows. Memory: one compressed and
// one decompressed chunk per thread.
ReadResult<LazFileInfo> DecodeLazRecords(const std::string& path, laz::FieldMask fields, const LazRecordSink& sink,
                                         const ReadOptions& options = {});

// Streams every record of a LAZ file (a COPC file: of every node) in file order, with what
// the file says about them. Chunks are decoded a few at a time, in parallel on the pool when
// there is one, so memory stays at a few chunks per thread whatever the file's size.
ReadResult<PointRecordFormat> StreamLazRecords(const std::string& path, PointRecordSink& sink, const ReadOptions& options = {});

// Loads a LAZ file to exactly the positions and colours ReadLas gives for the same records
// uncompressed.
ReadResult<PointCloudData> ReadLaz(const std::string& path, const ReadOptions& options = {});

// True for a LAS file whose format byte has the compression bit set and which carries the
// LASzip record: its point data is LAZ whatever the file's name.
bool IsLaszipCompressedLas(const std::string& path);
