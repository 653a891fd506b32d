#pragma once

// GLSL of the axis gizmo: one program for the axis lines and cones, one for the letters,
// sharing the fragment stage.

inline constexpr const char* kGizmoLineVertexShader = R"(#version 450 core
layout(location = 0) in vec3 inPos;
layout(location = 1) in vec3 inColor;

uniform mat4 uMVP;

out vec3 vColor;

void main()
{
    gl_Position = uMVP * vec4(inPos, 1.0);
    vColor = inColor;
}
)";

// The offset is added after projection, in normalised device units, so that every letter
// stays upright and keeps its size on screen however the axes turn.
inline constexpr const char* kGizmoLabelVertexShader = R"(#version 450 core
layout(location = 0) in vec3 inAnchor;
layout(location = 1) in vec2 inOffset;
layout(location = 2) in vec3 inColor;

uniform mat4 uMVP;

out vec3 vColor;

void main()
{
    vec4 clip = uMVP * vec4(inAnchor, 1.0);
    clip.x += inOffset.x * clip.w;
    clip.y += inOffset.y * clip.w;
    gl_Position = clip;
    vColor = inColor;
}
)";

inline constexpr const char* kGizmoFragmentShader = R"(#version 450 core
in vec3 vColor;

out vec4 outColor;

void main()
{
    outColor = vec4(vColor, 1.0);
}
)";
