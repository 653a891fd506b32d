#pragma once

// GLSL 4.50 core sources of the Gaussian splat renderer.
//
// Splat program: one instanced triangle strip of 4 vertices per splat, instance k drawing
// splat drawOrder[k]. Storage blocks (std430): SplatBuf (binding 0, four vec4 per splat),
// OrderBuf (1), SHBuf (2, uShRestCount floats per splat, channel-major), ObjIdBuf (3).
// Uniforms: uView, uProj, uViewport, uFocal, uOrtho, uCamPos, uShDegree, uShRestCount,
// uSegEnabled, uSegBlend, uSegSeed.
//
// Pick program: one point of uPointSize pixels per splat centre (SplatBuf at binding 0),
// transformed by uViewProj. Only its depth matters; the caller masks colour writes.
namespace SplatShaders {

extern const char* const kSplatVertex;
extern const char* const kSplatFragment;
extern const char* const kPickVertex;
extern const char* const kPickFragment;

}  // namespace SplatShaders
