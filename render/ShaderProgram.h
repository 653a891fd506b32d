#pragma once

#include <epoxy/gl.h>

// Turns GLSL sources into linked programs. A program slot is a GL program name owned by the
// renderer or gizmo that holds it; 0 means no program. Every call needs the view's context
// current. Failures are logged as "[ShaderProgram] compile error:\n" or
// "[ShaderProgram] link error:\n" followed by the driver's info log.
namespace ShaderProgram {

// Compiles both NUL-terminated sources, links them and stores the program in `slot`. A
// program the slot held before is deleted first, also when the new build fails; after a
// failure the slot is 0.
bool Build(GLuint& slot, const char* vertexSource, const char* fragmentSource);

// Compiles one stage (GL_VERTEX_SHADER, GL_FRAGMENT_SHADER, ...); the shader name, or 0 on
// failure.
GLuint CompileStage(GLenum type, const char* source);

}  // namespace ShaderProgram
