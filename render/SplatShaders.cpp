#include "render/SplatShaders.h"

namespace SplatShaders {

const char* const kSplatVertex = R"(#version 450 core

layout(std430, binding = 0) readonly buffer SplatBuf { vec4 splatData[]; };
layout(std430, binding = 1) readonly buffer OrderBuf { uint drawOrder[]; };
layout(std430, binding = 2) readonly buffer SHBuf { float shRest[]; };
layout(std430, binding = 3) readonly buffer ObjIdBuf { uint objectIds[]; };

uniform mat4 uView;
uniform mat4 uProj;
uniform vec2 uViewport;
uniform vec2 uFocal;
uniform int uOrtho;
uniform vec3 uCamPos;
uniform int uShDegree;
uniform int uShRestCount;
uniform int uSegEnabled;
uniform float uSegBlend;
uniform uint uSegSeed;

out vec4 vColor;
out vec2 vPos;

const float C0 = 0.28209479177387814;
const float C1 = 0.4886025119029199;
const float C2_0 = 1.0925484305920792;
const float C2_1 = 0.31539156525252005;
const float C2_2 = 0.5462742152960396;
const float C3_0 = 0.5900435899266435;
const float C3_1 = 2.890611442640554;
const float C3_2 = 0.4570457994644658;
const float C3_3 = 0.3731763325901154;
const float kEwaBlur = 0.50;
const float kMinOpacityScale = 0.65;

// Decided on the bits, so that no floating-point shortcut of the compiler can drop the test.
bool isFiniteValue(float v)
{
    return (floatBitsToUint(v) & 0x7F800000u) != 0x7F800000u;
}

// Puts the vertex outside the clip volume: the splat is not drawn.
void cull()
{
    vColor = vec4(0.0);
    vPos = vec2(10.0);
    gl_Position = vec4(0.0, 0.0, 2.0, 1.0);
}

float evalSHChannel(uint base, uint perCh, uint ch, vec3 dir)
{
    uint o = base + ch * perCh;
    float x = dir.x, y = dir.y, z = dir.z;
    float r = -C1 * y * shRest[o + 0u] + C1 * z * shRest[o + 1u] - C1 * x * shRest[o + 2u];
    if (uShDegree >= 2) {
        float xx = x * x, yy = y * y, zz = z * z;
        r += C2_0 * x * y * shRest[o + 3u]
           - C2_0 * y * z * shRest[o + 4u]
           + C2_1 * (2.0 * zz - xx - yy) * shRest[o + 5u]
           - C2_0 * x * z * shRest[o + 6u]
           + C2_2 * (xx - yy) * shRest[o + 7u];
        if (uShDegree >= 3) {
            r += -C3_0 * y * (3.0 * xx - yy) * shRest[o + 8u]
               + C3_1 * x * y * z * shRest[o + 9u]
               - C3_2 * y * (4.0 * zz - xx - yy) * shRest[o + 10u]
               + C3_3 * z * (2.0 * zz - 3.0 * xx - 3.0 * yy) * shRest[o + 11u]
               - C3_2 * x * (4.0 * zz - xx - yy) * shRest[o + 12u]
               + C3_1 * 0.5 * (xx - yy) * z * shRest[o + 13u]
               - C3_0 * x * (xx - 3.0 * yy) * shRest[o + 14u];
        }
    }
    return r;
}

// A stable, well-spread colour per segment id and seed (32-bit integer hash, then HSV).
vec3 segmentColor(uint objId, uint seed)
{
    uint h = (objId * 2654435761u) ^ (seed * 40503u);
    h ^= h >> 16;
    h *= 2246822519u;
    h ^= h >> 13;
    h *= 3266489917u;
    h ^= h >> 16;
    float hue = float(h & 0xFFFFu) / 65535.0;
    float sat = 0.55 + float((h >> 16) & 0xFFu) / 255.0 * 0.35;
    float val = 0.70 + float((h >> 24) & 0xFFu) / 255.0 * 0.30;
    vec3 k = mod(vec3(5.0, 3.0, 1.0) + hue * 6.0, 6.0);
    return val - val * sat * clamp(min(k, 4.0 - k), 0.0, 1.0);
}

void main()
{
    uint id = drawOrder[gl_InstanceID];
    vec4 d0 = splatData[id * 4u + 0u];
    vec4 d1 = splatData[id * 4u + 1u];
    vec4 d2 = splatData[id * 4u + 2u];
    vec4 d3 = splatData[id * 4u + 3u];
    vec3 center = d0.xyz;
    vec4 camT = uView * vec4(center, 1.0);

    // The camera looks along -Z.
    float centerDepth = -camT.z;
    if (!isFiniteValue(centerDepth) || centerDepth <= 1e-5) {
        cull();
        return;
    }
    vec4 clip = uProj * camT;

    mat3 sigma = mat3(d2.x, d2.y, d2.z,
                      d2.y, d3.x, d3.y,
                      d2.z, d3.y, d3.z);
    mat3 rview = mat3(uView);
    mat3 covCam = rview * sigma * transpose(rview);

    float projectionDepth = centerDepth;
    float nearPlane = 1e-4;
    float nearCrossWeight = 0.0;
    if (uOrtho == 0) {
        float p22 = uProj[2][2];
        float p32 = uProj[3][2];
        if (isFiniteValue(p22) && isFiniteValue(p32) && abs(p22 - 1.0) > 1e-8)
            nearPlane = max(abs(p32 / (p22 - 1.0)), 1e-4);
        float sigmaDepth = sqrt(max(covCam[2][2], 0.0));
        float supportDepth = 2.8284271247461903 * sigmaDepth;
        if (!isFiniteValue(supportDepth) || centerDepth <= nearPlane + max(0.02 * sigmaDepth, 1e-4)) {
            cull();
            return;
        }
        // A splat reaching through the near plane is projected as if a little farther away,
        // so that its footprint stays bounded.
        projectionDepth = max(centerDepth, nearPlane + max(0.35 * supportDepth, 2e-4));
        float nearSideDepth = centerDepth - supportDepth;
        float crossingWidth = max(0.25 * supportDepth, 4.0 * nearPlane);
        nearCrossWeight = 1.0 - smoothstep(nearPlane, nearPlane + crossingWidth, nearSideDepth);
    }

    // Screen-space covariance (pixels squared) through the projection's Jacobian.
    vec3 jx;
    vec3 jy;
    if (uOrtho == 1) {
        jx = vec3(uFocal.x, 0.0, 0.0);
        jy = vec3(0.0, uFocal.y, 0.0);
    } else {
        float invZ = 1.0 / max(projectionDepth, 1e-6);
        float tanHalfFovX = 1.0 / max(abs(uProj[0][0]), 1e-6);
        float tanHalfFovY = 1.0 / max(abs(uProj[1][1]), 1e-6);
        // Splats far outside the view would get stretched without bound.
        float xOverZ = clamp(camT.x * invZ, -1.3 * tanHalfFovX, 1.3 * tanHalfFovX);
        float yOverZ = clamp(camT.y * invZ, -1.3 * tanHalfFovY, 1.3 * tanHalfFovY);
        jx = vec3(uFocal.x * invZ, 0.0, uFocal.x * xOverZ * invZ);
        jy = vec3(0.0, uFocal.y * invZ, uFocal.y * yOverZ * invZ);
    }
    float c00 = dot(jx, covCam * jx);
    float c01 = dot(jx, covCam * jy);
    float c11 = dot(jy, covCam * jy);

    c00 = max(c00, 1e-8);
    c11 = max(c11, 1e-8);
    float maxC01 = 0.999 * sqrt(c00 * c11);
    c01 = clamp(c01, -maxC01, maxC01);
    float detOrig = max(c00 * c11 - c01 * c01, 1e-8);

    // Low-pass filter of about half a pixel; sub-pixel splats lose opacity in proportion
    // to how much the filter widened them.
    float a = c00 + kEwaBlur;
    float d = c11 + kEwaBlur;
    float b = c01;
    float detBlur = max(a * d - b * b, 1e-8);
    float opacityScale = clamp(sqrt(detOrig / detBlur), kMinOpacityScale, 1.0);

    float mid = 0.5 * (a + d);
    float rad = sqrt(max(0.25 * (a - d) * (a - d) + b * b, 0.0));
    float l1 = max(mid + rad, 0.1);
    float l2 = max(mid - rad, 0.1);

    // A splat that crosses the near plane and would cover the whole view is shrunk.
    float viewportMin = max(min(uViewport.x, uViewport.y), 1.0);
    float viewportMax = max(max(uViewport.x, uViewport.y), 1.0);
    float majorSupportRadiusPx = 2.0 * sqrt(2.0 * l1);
    float oversizeWeight = smoothstep(0.55 * viewportMin, 1.10 * viewportMax, majorSupportRadiusPx);
    float curtainGuard = smoothstep(0.05, 0.35, nearCrossWeight * oversizeWeight);

    vec2 dir;
    if (abs(b) > 1e-6)
        dir = normalize(vec2(b, l1 - a));
    else
        dir = a >= d ? vec2(1.0, 0.0) : vec2(0.0, 1.0);
    float maxAxisPx = mix(2.0 * viewportMax, 0.225 * viewportMin, curtainGuard);
    vec2 majorAxis = min(sqrt(2.0 * l1), maxAxisPx) * dir;
    vec2 minorAxis = min(sqrt(2.0 * l2), maxAxisPx) * vec2(-dir.y, dir.x);

    vec2 corner = vec2((gl_VertexID & 1) == 0 ? -2.0 : 2.0, (gl_VertexID & 2) == 0 ? -2.0 : 2.0);

    vec3 rgb = 0.5 + C0 * d1.rgb;
    if (uShDegree >= 1 && uShRestCount > 0) {
        uint perCh = uint(uShRestCount) / 3u;
        uint base = id * uint(uShRestCount);
        vec3 viewDir = normalize(center - uCamPos);
        rgb.r += evalSHChannel(base, perCh, 0u, viewDir);
        rgb.g += evalSHChannel(base, perCh, 1u, viewDir);
        rgb.b += evalSHChannel(base, perCh, 2u, viewDir);
    }
    rgb = max(rgb, vec3(0.0));

    if (uSegEnabled == 1) {
        uint objId = objectIds[id];
        if (objId != 0u)
            rgb = mix(rgb, segmentColor(objId, uSegSeed), uSegBlend);
    }

    vPos = corner;
    vColor = vec4(rgb, clamp(d0.w * opacityScale, 0.0, 1.0));

    vec3 ndc = clip.xyz / clip.w;
    vec2 offset = (corner.x * majorAxis + corner.y * minorAxis) * 2.0 / uViewport;
    gl_Position = vec4(ndc.xy + offset, ndc.z, 1.0);
}
)";

const char* const kSplatFragment = R"(#version 450 core

in vec4 vColor;
in vec2 vPos;
out vec4 outColor;

void main()
{
    // |vPos| = 2 lies at sqrt(8) standard deviations.
    float A = -dot(vPos, vPos);
    if (A < -4.0)
        discard;
    float alpha = exp(A) * vColor.a;
    if (alpha < 0.001)
        discard;
    // Premultiplied for the ONE, ONE_MINUS_SRC_ALPHA blend.
    outColor = vec4(vColor.rgb * alpha, alpha);
}
)";

const char* const kPickVertex = R"(#version 450 core

layout(std430, binding = 0) readonly buffer SplatBuf { vec4 splatData[]; };

uniform mat4 uViewProj;
uniform float uPointSize;

void main()
{
    vec3 center = splatData[gl_VertexID * 4].xyz;
    gl_Position = uViewProj * vec4(center, 1.0);
    gl_PointSize = uPointSize;
}
)";

const char* const kPickFragment = R"(#version 450 core

out vec4 outColor;

void main()
{
    outColor = vec4(0.0);
}
)";

}  // namespace SplatShaders
