#pragma once

// GLSL of the point program: every point is a GL point of uPointSize pixels, a full square
// or, with uRoundPoints, the disc inscribed in it. uColorMode picks what the colour shows
// (the numbers of ColorMode): the file's colour, intensity as grey, the class palette, the
// elevation ramp or the return number palette. The palette texture's rows are the 256
// classes, the return numbers and the ramp at 256 steps.

inline constexpr const char* kPointVertexShader = R"(#version 450 core
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec4 inColor;
layout(location = 2) in float inIntensity;
layout(location = 3) in float inClassification;
layout(location = 4) in float inReturnNumber;

uniform mat4 uModel;
uniform mat4 uView;
uniform mat4 uProjection;
uniform float uPointSize;
uniform int uColorMode;
uniform vec2 uIntensityStretch;  // scale, offset
uniform vec2 uHeightStretch;
uniform int uUpAxis;
uniform sampler2D uPalette;

out vec4 vColor;

vec4 PaletteEntry(float index, int row)
{
    return vec4(texelFetch(uPalette, ivec2(int(index), row), 0).rgb, 1.0);
}

void main()
{
    gl_Position = uProjection * uView * uModel * vec4(inPosition, 1.0);
    gl_PointSize = uPointSize;
    if (uColorMode == 1) {
        float grey = clamp(inIntensity * uIntensityStretch.x + uIntensityStretch.y, 0.0, 1.0);
        vColor = vec4(grey, grey, grey, 1.0);
    } else if (uColorMode == 2) {
        vColor = PaletteEntry(clamp(inClassification, 0.0, 255.0), 0);
    } else if (uColorMode == 3) {
        float t = clamp(inPosition[uUpAxis] * uHeightStretch.x + uHeightStretch.y, 0.0, 1.0);
        vColor = PaletteEntry(floor(t * 255.0 + 0.5), 2);
    } else if (uColorMode == 4) {
        vColor = PaletteEntry(clamp(inReturnNumber, 0.0, 15.0), 1);
    } else {
        vColor = inColor;
    }
}
)";

inline constexpr const char* kPointFragmentShader = R"(#version 450 core
in vec4 vColor;

uniform bool uRoundPoints;

out vec4 outColor;

void main()
{
    if (uRoundPoints) {
        vec2 p = gl_PointCoord * 2.0 - 1.0;
        if (dot(p, p) > 1.0)
            discard;
    }
    outColor = vColor;
}
)";
