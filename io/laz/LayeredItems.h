#pragma once

#include "io/laz/ArithmeticDecoder.h"
#include "io/laz/FieldMask.h"
#include "io/laz/GpsTimeDecoder.h"
#include "io/laz/IntegerDecompressor.h"
#include "io/laz/PerContextValue.h"
#include "io/laz/Point14Fields.h"
#include "io/laz/PointwiseItems.h"
#include "io/laz/RgbDecoder.h"
#include "io/laz/StreamingMedian.h"
#include "io/laz/WavePacketDecoder.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// Item decoders of the layered formats (version 3 of each item). A chunk stores each group of
// fields in a layer of its own with its own arithmetic stream. Every item keeps one model set
// per scanner-channel context (0 to 3), made when the context first appears in the chunk. The
// point item picks the context of the others, and not quite as its own: the record on which
// the scanner channel changes uses the new channel's context, every other record context 0
// (the first record of a chunk sets the first record's channel). The reference encoder does
// it so, hence every file.
namespace laz {

struct Layer {
    const unsigned char* data = nullptr;
    std::uint32_t size = 0;
};

// A layer's stream, open when its bytes are wanted and present; otherwise its fields keep
// their last value.
struct LayerStream {
    ArithmeticDecoder decoder;
    bool open = false;

    void Open(const Layer& layer, bool wanted)
    {
        open = wanted && layer.size > 0;
        if (open)
            decoder.Start(layer.data, layer.data + layer.size);
    }
    bool Failed() const { return open && decoder.Failed(); }
};

// The 30-byte core of formats 6 to 10.
class Point14Decoder {
public:
    static constexpr std::size_t kSize = 30;
    static constexpr std::size_t kLayers = 9;

    void Start(const unsigned char* first, const Layer* layers, FieldMask fields);
    void Decode(unsigned char* out);
    // The context the other items of the record just decoded use, per the rule above.
    std::uint32_t ItemContext() const { return m_itemContext; }
    bool Failed() const;

private:
    using Point = Point14Fields;

    struct Context {
        explicit Context(const Point& first);

        Point last;
        std::array<std::uint16_t, 8> lastIntensity{};
        std::array<StreamingMedian5, 12> xDiffs{};
        std::array<StreamingMedian5, 12> yDiffs{};
        std::array<std::int32_t, 8> lastZ{};

        std::array<SymbolModel, 8> changedValues{SymbolModel(128), SymbolModel(128), SymbolModel(128), SymbolModel(128),
                                                 SymbolModel(128), SymbolModel(128), SymbolModel(128), SymbolModel(128)};
        SymbolModel channelStep{3};
        LazyModels<16> returnCounts{16};
        LazyModels<16> returnNumbers{16};
        SymbolModel returnNumberSameTime{13};
        IntegerDecompressor dx{32, 2};
        IntegerDecompressor dy{32, 22};
        IntegerDecompressor dz{32, 20};
        LazyModels<64> classifications{256};
        LazyModels<64> flags{64};
        LazyModels<64> userData{256};
        IntegerDecompressor intensities{16, 4};
        IntegerDecompressor scanAngles{16, 2};
        IntegerDecompressor pointSources{16};
        GpsTimeDecoder gpsTimes{GpsTimeDecoder::Codes::Layered};
    };

    // 0 returns and x, y (always read), 1 z, 2 classification, 3 flags, 4 intensity,
    // 5 scan angle, 6 user data, 7 point source, 8 GPS time.
    std::array<LayerStream, kLayers> m_layers;
    std::array<std::unique_ptr<Context>, 4> m_contexts;
    std::uint32_t m_channel = 0;
    std::uint32_t m_itemContext = 0;
    bool m_gpsSequenceBroken = false;
};

class Rgb14Decoder {
public:
    explicit Rgb14Decoder(bool withNir) : m_withNir(withNir) {}
    std::size_t Size() const { return m_withNir ? 8 : 6; }
    std::size_t Layers() const { return m_withNir ? 2 : 1; }

    void Start(const unsigned char* first, const Layer* layers, FieldMask fields, std::uint32_t context);
    void Decode(unsigned char* out, std::uint32_t context);
    bool Failed() const { return m_rgbStream.Failed() || m_nirStream.Failed(); }

private:
    struct Colour {
        RgbDecoder::Rgb rgb{};
        std::uint16_t nir = 0;
    };
    struct Models {
        RgbDecoder rgb;
        NirDecoder nir;
    };
    bool m_withNir;
    LayerStream m_rgbStream, m_nirStream;
    PerContextValue<Colour, Models> m_values;
};

class Bytes14Decoder {
public:
    explicit Bytes14Decoder(std::size_t count) : m_count(count), m_streams(count) {}
    std::size_t Size() const { return m_count; }
    std::size_t Layers() const { return m_count; }

    void Start(const unsigned char* first, const Layer* layers, FieldMask fields, std::uint32_t context);
    void Decode(unsigned char* out, std::uint32_t context);
    bool Failed() const;

private:
    struct Models {
        std::vector<SymbolModel> perByte;
    };
    std::size_t m_count;
    std::vector<LayerStream> m_streams;
    PerContextValue<std::vector<std::uint8_t>, Models> m_values;
};

class WavePacket14Decoder {
public:
    static constexpr std::size_t kSize = 29;
    static constexpr std::size_t kLayers = 1;

    void Start(const unsigned char* first, const Layer* layers, FieldMask fields, std::uint32_t context);
    void Decode(unsigned char* out, std::uint32_t context);
    bool Failed() const { return m_stream.Failed(); }

private:
    LayerStream m_stream;
    PerContextValue<WavePacketDecoder::Packet, WavePacketDecoder> m_values;
};

}  // namespace laz
