#include "render/PointProgram.h"

#include "platform/Log.h"
#include "render/GpuObjects.h"
#include "render/PointCloudShaders.h"

namespace {

void SetMatrix(GLint location, const Eigen::Matrix4f& matrix)
{
    glUniformMatrix4fv(location, 1, GL_FALSE, matrix.data());
}

}  // namespace

GlProgram BuildPointProgram(const char* component, PointProgramUniforms& uniforms)
{
    GlProgram program = BuildProgram(kPointVertexShader, kPointFragmentShader);
    if (program.Name() == 0) {
        Log(LogLevel::Error, component, "failed to create shader program.\n");
        return program;
    }
    const GLuint name = program.Name();
    uniforms.model = glGetUniformLocation(name, "uModel");
    uniforms.view = glGetUniformLocation(name, "uView");
    uniforms.projection = glGetUniformLocation(name, "uProjection");
    uniforms.pointSize = glGetUniformLocation(name, "uPointSize");
    uniforms.roundPoints = glGetUniformLocation(name, "uRoundPoints");
    return program;
}

void UsePointProgram(const GlProgram& program, const PointProgramUniforms& uniforms, const Eigen::Matrix4f& view,
                     const Eigen::Matrix4f& projection, float pointSize, bool roundPoints)
{
    glUseProgram(program.Name());
    SetMatrix(uniforms.model, Eigen::Matrix4f::Identity());
    SetMatrix(uniforms.view, view);
    SetMatrix(uniforms.projection, projection);
    glUniform1f(uniforms.pointSize, pointSize);
    glUniform1i(uniforms.roundPoints, roundPoints ? 1 : 0);
}
