#include "render/EyeDomeLighting.h"

#include "platform/Log.h"
#include "render/GpuObjects.h"

#include <string>

namespace {

constexpr const char* kEdlVertexShader = R"(#version 450 core
void main()
{
    // One triangle that covers the viewport.
    vec2 corner = vec2((gl_VertexID << 1) & 2, gl_VertexID & 2);
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";

constexpr const char* kEdlFragmentShader = R"(#version 450 core
uniform sampler2D uColor;
uniform sampler2D uDepth;
uniform ivec2 uViewportOrigin;
uniform float uStrength;
uniform float uRadius;
uniform vec2 uDepthTerms;  // the projection's (2,2) and (2,3)
uniform bool uOrthographic;

out vec4 outColor;

float LogDistance(float windowDepth)
{
    float ndc = windowDepth * 2.0 - 1.0;
    float distance = uOrthographic ? (uDepthTerms.y - ndc) / uDepthTerms.x : uDepthTerms.y / (ndc + uDepthTerms.x);
    return log2(max(distance, 1e-6));
}

void main()
{
    ivec2 pixel = ivec2(gl_FragCoord.xy) - uViewportOrigin;
    float depth = texelFetch(uDepth, pixel, 0).r;
    if (depth >= 1.0)
        discard;
    float here = LogDistance(depth);
    ivec2 last = textureSize(uDepth, 0) - 1;
    float response = 0.0;
    for (int i = 0; i < 8; ++i) {
        float angle = float(i) * 0.78539816;
        ivec2 at = clamp(pixel + ivec2(round(vec2(cos(angle), sin(angle)) * uRadius)), ivec2(0), last);
        float neighbour = texelFetch(uDepth, at, 0).r;
        if (neighbour < 1.0)
            response += max(0.0, here - LogDistance(neighbour));
    }
    float shade = exp(-response / 8.0 * 300.0 * uStrength);
    vec4 color = texelFetch(uColor, pixel, 0);
    outColor = vec4(color.rgb * shade, color.a);
    gl_FragDepth = depth;
}
)";

}  // namespace

bool EyeDomeLighting::EnsureProgram()
{
    if (m_program.Name() != 0)
        return true;
    m_program = BuildProgram(kEdlVertexShader, kEdlFragmentShader);
    if (m_program.Name() == 0) {
        Log(LogLevel::Error, "EyeDomeLighting", "failed to create shader program.\n");
        return false;
    }
    m_emptyVao = GlVertexArray::Create();
    return true;
}

bool EyeDomeLighting::EnsureTargets(int width, int height)
{
    if (m_framebuffer.Name() != 0 && width == m_width && height == m_height)
        return true;
    GlTexture2D color = GlTexture2D::Create();
    GlTexture2D depth = GlTexture2D::Create();
    glTextureStorage2D(color.Name(), 1, GL_RGBA8, width, height);
    glTextureStorage2D(depth.Name(), 1, GL_DEPTH_COMPONENT32F, width, height);
    GlFramebuffer framebuffer = GlFramebuffer::Create();
    glNamedFramebufferTexture(framebuffer.Name(), GL_COLOR_ATTACHMENT0, color.Name(), 0);
    glNamedFramebufferTexture(framebuffer.Name(), GL_DEPTH_ATTACHMENT, depth.Name(), 0);
    if (glCheckNamedFramebufferStatus(framebuffer.Name(), GL_DRAW_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        Log(LogLevel::Error, "EyeDomeLighting", "cannot make " + std::to_string(width) + " x " + std::to_string(height)
                                                    + " targets; drawing without eye-dome lighting.\n");
        return false;
    }
    m_framebuffer = std::move(framebuffer);
    m_color = std::move(color);
    m_depth = std::move(depth);
    m_width = width;
    m_height = height;
    return true;
}

bool EyeDomeLighting::Begin()
{
    glGetIntegerv(GL_VIEWPORT, m_viewport.data());
    const int width = m_viewport[2];
    const int height = m_viewport[3];
    if (width <= 0 || height <= 0 || !EnsureProgram() || !EnsureTargets(width, height))
        return false;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &m_previousFramebuffer);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, m_clearColor.data());
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_framebuffer.Name());
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(m_clearColor[0], m_clearColor[1], m_clearColor[2], m_clearColor[3]);
    return true;
}

void EyeDomeLighting::End(const Eigen::Matrix4f& projection, float strength, float radius)
{
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(m_previousFramebuffer));
    glViewport(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
    const GLuint program = m_program.Name();
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "uColor"), 0);
    glUniform1i(glGetUniformLocation(program, "uDepth"), 1);
    glUniform2i(glGetUniformLocation(program, "uViewportOrigin"), m_viewport[0], m_viewport[1]);
    glUniform1f(glGetUniformLocation(program, "uStrength"), strength);
    glUniform1f(glGetUniformLocation(program, "uRadius"), radius);
    glUniform2f(glGetUniformLocation(program, "uDepthTerms"), projection(2, 2), projection(2, 3));
    const bool orthographic = projection(3, 2) == 0.0f;
    glUniform1i(glGetUniformLocation(program, "uOrthographic"), orthographic ? 1 : 0);
    glBindTextureUnit(0, m_color.Name());
    glBindTextureUnit(1, m_depth.Name());
    glBindVertexArray(m_emptyVao.Name());
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glBindTextureUnit(0, 0);
    glBindTextureUnit(1, 0);
    glUseProgram(0);
}

void EyeDomeLighting::Release()
{
    m_framebuffer.Reset();
    m_color.Reset();
    m_depth.Reset();
    m_width = 0;
    m_height = 0;
    m_program.Reset();
    m_emptyVao.Reset();
}
