#pragma once

#include "gl/GlObject.h"
#include "gl/GlTexture.h"
#include "scene/PointColoring.h"

#include <Eigen/Core>

struct PointCloudData;

// Vertex attribute locations of the point program beyond position (0) and colour (1).
inline constexpr GLuint kIntensityLocation = 2;
inline constexpr GLuint kClassificationLocation = 3;
inline constexpr GLuint kReturnNumberLocation = 4;

// What the point program needs to colour a cloud by its attributes: one small buffer per
// attribute the cloud has (2 bytes a point for intensity, 1 for class and return), the
// stretches of the intensity and height ramps, and a palette texture. Uploaded once with the
// cloud; choosing a mode afterwards only sets uniforms.
class PointColorBuffers {
public:
    // Uniform locations in the point program.
    struct Uniforms {
        GLint colorMode = -1;
        GLint intensityStretch = -1;
        GLint heightStretch = -1;
        GLint upAxis = -1;
        GLint palette = -1;
    };
    static Uniforms FindUniforms(GLuint program);

    // Replaces the buffers with the cloud's and attaches them to `vao`; false when the
    // driver could not allocate them (then nothing is attached and the cloud draws as RGB).
    bool Upload(const PointCloudData& cloud, const GlVertexArray& vao);
    // Release drops the cloud's buffers; ReleasePalette also the palette texture.
    void Release();
    void ReleasePalette();

    // The mode the cloud uploaded last can show: `chosen`, or RGB when its attribute is absent.
    ColorMode Effective(ColorMode chosen) const;
    // Sets the uniforms and binds the palette for drawing in `chosen` with `program` in use.
    void Apply(const Uniforms& uniforms, ColorMode chosen) const;

    GLuint IntensityBuffer() const { return m_intensity.Name(); }
    GLuint ClassificationBuffer() const { return m_classification.Name(); }
    GLuint ReturnNumberBuffer() const { return m_returnNumber.Name(); }

private:
    bool EnsurePalette();

    GlBuffer m_intensity;
    GlBuffer m_classification;
    GlBuffer m_returnNumber;
    GlTexture2D m_palette;
    LinearStretch m_intensityStretch;
    LinearStretch m_heightStretch;
    int m_upAxis = 2;
};
