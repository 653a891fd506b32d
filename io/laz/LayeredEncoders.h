#pragma once

#include "io/laz/ArithmeticEncoder.h"
#include "io/laz/GpsTimeEncoder.h"
#include "io/laz/IntegerCompressor.h"
#include "io/laz/PerContextValue.h"
#include "io/laz/Point14Fields.h"
#include "io/laz/RgbEncoder.h"
#include "io/laz/StreamingMedian.h"
#include "io/laz/WavePacketEncoder.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// Item encoders of the layered formats (version 3 of each item), the inverses of the decoders
// in LayeredItems.h, with the same contexts: one model set per scanner channel, and the items
// after the point in context 0 except on the record where the channel changes.
namespace laz {

// One layer's stream. A layer whose field never changed in the chunk is left out (stored
// with size 0): its decoder keeps the first record's value.
struct LayerEncoder {
    ArithmeticEncoder encoder;
    bool changed = false;

    void Start()
    {
        encoder.Start();
        changed = false;
    }
    // Finishes the stream; the bytes the chunk stores for it (none when nothing changed).
    std::size_t Finish(bool alwaysKept = false)
    {
        encoder.Finish();
        return alwaysKept || changed ? encoder.Size() : 0;
    }
};

// The 30-byte core of formats 6 to 10.
class Point14Encoder {
public:
    static constexpr std::size_t kSize = 30;
    static constexpr std::size_t kLayers = 9;

    void Start(const unsigned char* first);
    void Encode(const unsigned char* item);
    // The context the other items of the record just coded use, as Point14Decoder gives it.
    std::uint32_t ItemContext() const { return m_itemContext; }
    // Finishes the layers; adds each one's stored size and bytes, in chunk order.
    void FinishLayers(std::vector<std::uint32_t>& sizes, std::vector<const unsigned char*>& bytes);

private:
    using Point = Point14Fields;

    struct Context {
        explicit Context(const Point& first);

        Point last;
        std::array<std::uint16_t, 8> lastIntensity{};
        std::array<StreamingMedian5, 12> xDiffs{};
        std::array<StreamingMedian5, 12> yDiffs{};
        std::array<std::int32_t, 8> lastZ{};

        std::array<SymbolModel, 8> changedValues{SymbolModel(128, false), SymbolModel(128, false), SymbolModel(128, false),
                                                 SymbolModel(128, false), SymbolModel(128, false), SymbolModel(128, false),
                                                 SymbolModel(128, false), SymbolModel(128, false)};
        SymbolModel channelStep{3, false};
        LazyModels<16> returnCounts{16, false};
        LazyModels<16> returnNumbers{16, false};
        SymbolModel returnNumberSameTime{13, false};
        IntegerCompressor dx{32, 2};
        IntegerCompressor dy{32, 22};
        IntegerCompressor dz{32, 20};
        LazyModels<64> classifications{256, false};
        LazyModels<64> flags{64, false};
        LazyModels<64> userData{256, false};
        IntegerCompressor intensities{16, 4};
        IntegerCompressor scanAngles{16, 2};
        IntegerCompressor pointSources{16};
        GpsTimeEncoder gpsTimes{GpsTimeEncoder::Codes::Layered};
    };

    // 0 returns and x, y, 1 z (both always kept), 2 classification, 3 flags, 4 intensity,
    // 5 scan angle, 6 user data, 7 point source, 8 GPS time.
    std::array<LayerEncoder, kLayers> m_layers;
    std::array<std::unique_ptr<Context>, 4> m_contexts;
    std::uint32_t m_channel = 0;
    std::uint32_t m_itemContext = 0;
};

class Rgb14Encoder {
public:
    explicit Rgb14Encoder(bool withNir) : m_withNir(withNir) {}
    std::size_t Size() const { return m_withNir ? 8 : 6; }

    void Start(const unsigned char* first, std::uint32_t context);
    void Encode(const unsigned char* item, std::uint32_t context);
    void FinishLayers(std::vector<std::uint32_t>& sizes, std::vector<const unsigned char*>& bytes);

private:
    struct Colour {
        RgbEncoder::Rgb rgb{};
        std::uint16_t nir = 0;
    };
    struct Models {
        RgbEncoder rgb;
        NirEncoder nir;
    };
    static Colour Load(const unsigned char* item, bool withNir);

    bool m_withNir;
    LayerEncoder m_rgbLayer, m_nirLayer;
    PerContextValue<Colour, Models> m_values;
};

class Bytes14Encoder {
public:
    explicit Bytes14Encoder(std::size_t count) : m_count(count), m_layers(count) {}
    std::size_t Size() const { return m_count; }

    void Start(const unsigned char* first, std::uint32_t context);
    void Encode(const unsigned char* item, std::uint32_t context);
    void FinishLayers(std::vector<std::uint32_t>& sizes, std::vector<const unsigned char*>& bytes);

private:
    struct Models {
        std::vector<SymbolModel> perByte;
    };
    std::size_t m_count;
    std::vector<LayerEncoder> m_layers;
    PerContextValue<std::vector<std::uint8_t>, Models> m_values;
};

class WavePacket14Encoder {
public:
    static constexpr std::size_t kSize = WavePacketEncoder::kSize;

    void Start(const unsigned char* first, std::uint32_t context);
    void Encode(const unsigned char* item, std::uint32_t context);
    void FinishLayers(std::vector<std::uint32_t>& sizes, std::vector<const unsigned char*>& bytes);

private:
    using Packet = std::array<unsigned char, kSize>;
    LayerEncoder m_layer;
    PerContextValue<Packet, WavePacketEncoder> m_values;
};

}  // namespace laz
