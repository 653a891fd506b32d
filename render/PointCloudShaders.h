#pragma once

// GLSL of the point program: every point is a GL point of uPointSize pixels, a full square
// or, with uRoundPoints, the disc inscribed in it.

inline constexpr const char* kPointVertexShader = R"(#version 450 core
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec4 inColor;

uniform mat4 uModel;
uniform mat4 uView;
uniform mat4 uProjection;
uniform float uPointSize;

out vec4 vColor;

void main()
{
    gl_Position = uProjection * uView * uModel * vec4(inPosition, 1.0);
    gl_PointSize = uPointSize;
    vColor = inColor;
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
