#pragma once

#include "io/laz/ArithmeticEncoder.h"
#include "io/laz/LayeredEncoders.h"
#include "io/laz/LazVlr.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace laz {

// Compresses chunks of one layout, the inverse of DecodeChunk: the first record stored raw,
// then the others arithmetic-coded (into one stream for the point-wise formats, one per layer
// for the layered ones, whose chunks also state their count and layer sizes). The coders'
// buffers are kept from one chunk to the next.
class ChunkEncoder {
public:
    // The layout must be one LayoutForFormat makes for recordLength (Encodable says so).
    ChunkEncoder(const LazLayout& layout, std::uint16_t recordLength);
    ~ChunkEncoder();

    static bool Encodable(const LazLayout& layout, std::uint16_t recordLength);

    // Appends the chunk of count (at least 1) records to out.
    void Encode(const unsigned char* records, std::uint32_t count, std::vector<unsigned char>& out);

private:
    struct LayeredItems;

    void EncodePointwise(const unsigned char* records, std::uint32_t count, std::vector<unsigned char>& out);
    void EncodeLayered(const unsigned char* records, std::uint32_t count, std::vector<unsigned char>& out);

    LazLayout m_layout;
    std::uint16_t m_recordLength;
    ArithmeticEncoder m_stream;  // the point-wise formats' one stream
    std::unique_ptr<LayeredItems> m_layered;
    std::vector<std::uint32_t> m_layerSizes;
    std::vector<const unsigned char*> m_layerBytes;
};

}  // namespace laz
