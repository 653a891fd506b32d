#pragma once

#include "gl/GlObject.h"

#include <Eigen/Core>

// The point shader program both point renderers draw with (in-memory clouds and clouds streamed
// node by node): its uniforms, how it is built, and what every frame sets on it.
struct PointProgramUniforms {
    GLint model = -1;
    GLint view = -1;
    GLint projection = -1;
    GLint pointSize = -1;
    GLint roundPoints = -1;
};

// Builds the program and finds its uniforms; an empty program, with a log line under
// `component`, when it cannot be built.
GlProgram BuildPointProgram(const char* component, PointProgramUniforms& uniforms);

// Uses the program and sets the frame's matrices and point style on it.
void UsePointProgram(const GlProgram& program, const PointProgramUniforms& uniforms, const Eigen::Matrix4f& view,
                     const Eigen::Matrix4f& projection, float pointSize, bool roundPoints);
