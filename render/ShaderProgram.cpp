#include "render/ShaderProgram.h"

#include "platform/Log.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using GetObjectParameter = void(EPOXY_CALLSPEC*)(GLuint, GLenum, GLint*);
using GetObjectInfoLog = void(EPOXY_CALLSPEC*)(GLuint, GLsizei, GLsizei*, GLchar*);

// The driver's log of a shader or program, read into a zero-filled buffer of at least one
// byte so that an empty log still reads as an empty string.
std::string ReadInfoLog(GLuint object, GetObjectParameter getParameter, GetObjectInfoLog getInfoLog)
{
    GLint length = 0;
    getParameter(object, GL_INFO_LOG_LENGTH, &length);
    std::vector<GLchar> buffer(static_cast<std::size_t>(std::max(length, 1)), '\0');
    getInfoLog(object, static_cast<GLsizei>(buffer.size()), nullptr, buffer.data());
    buffer.back() = '\0';
    return std::string(buffer.data());
}

void LogFailure(const char* header, const std::string& driverLog)
{
    Log(LogLevel::Error, "ShaderProgram", std::string(header) + driverLog);
}

// True when the object's compile or link status is set; otherwise logs the header and the
// driver's log.
bool StatusOk(GLuint object, GLenum status, GetObjectParameter getParameter, GetObjectInfoLog getInfoLog,
              const char* failureHeader)
{
    GLint value = GL_FALSE;
    getParameter(object, status, &value);
    if (value == GL_TRUE)
        return true;
    LogFailure(failureHeader, ReadInfoLog(object, getParameter, getInfoLog));
    return false;
}

}  // namespace

namespace ShaderProgram {

bool Build(GLuint& slot, const char* vertexSource, const char* fragmentSource)
{
    if (slot != 0) {
        glDeleteProgram(slot);
        slot = 0;
    }
    const GLuint vertexShader = CompileStage(GL_VERTEX_SHADER, vertexSource);
    if (vertexShader == 0)
        return false;
    const GLuint fragmentShader = CompileStage(GL_FRAGMENT_SHADER, fragmentSource);
    if (fragmentShader == 0) {
        glDeleteShader(vertexShader);
        return false;
    }

    const GLuint program = glCreateProgram();
    slot = program;
    glAttachShader(program, vertexShader);
    glAttachShader(program, fragmentShader);
    glLinkProgram(program);
    glDetachShader(program, vertexShader);
    glDetachShader(program, fragmentShader);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);

    if (StatusOk(program, GL_LINK_STATUS, glGetProgramiv, glGetProgramInfoLog, "link error:\n"))
        return true;
    glDeleteProgram(program);
    slot = 0;
    return false;
}

GLuint CompileStage(GLenum type, const char* source)
{
    if (!source) {
        LogFailure("compile error:\n", "no source text\n");
        return 0;
    }
    const GLuint shader = glCreateShader(type);
    if (shader == 0) {
        LogFailure("compile error:\n", "cannot create a shader of type " + std::to_string(type) + "\n");
        return 0;
    }
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);

    if (StatusOk(shader, GL_COMPILE_STATUS, glGetShaderiv, glGetShaderInfoLog, "compile error:\n"))
        return shader;
    glDeleteShader(shader);
    return 0;
}

}  // namespace ShaderProgram
