#pragma once

#include <epoxy/gl.h>

namespace testsupport {

// While an instance lives, shader compiles from the `firstFailing`-th on (counting from 1)
// report failure, so that the callers' handling of a driver that rejects their shaders can be
// seen. Works by routing libepoxy's glGetShaderiv entry point through a wrapper; needs a
// current context. Instances do not nest.
class ShaderCompileFailure {
public:
    explicit ShaderCompileFailure(int firstFailing)
    {
        // Resolve the entry point first, or libepoxy would later replace the wrapper.
        const GLuint shader = glCreateShader(GL_VERTEX_SHADER);
        GLint type = 0;
        glGetShaderiv(shader, GL_SHADER_TYPE, &type);
        glDeleteShader(shader);

        s_real = epoxy_glGetShaderiv;
        s_compilesLeft = firstFailing - 1;
        epoxy_glGetShaderiv = Query;
    }
    ~ShaderCompileFailure() { epoxy_glGetShaderiv = s_real; }
    ShaderCompileFailure(const ShaderCompileFailure&) = delete;
    ShaderCompileFailure& operator=(const ShaderCompileFailure&) = delete;

private:
    using GetShaderParameter = void(EPOXY_CALLSPEC*)(GLuint, GLenum, GLint*);

    static void EPOXY_CALLSPEC Query(GLuint shader, GLenum name, GLint* value)
    {
        s_real(shader, name, value);
        if (name != GL_COMPILE_STATUS)
            return;
        if (s_compilesLeft > 0)
            --s_compilesLeft;
        else
            *value = GL_FALSE;
    }

    static inline GetShaderParameter s_real = nullptr;
    static inline int s_compilesLeft = 0;
};

}  // namespace testsupport
