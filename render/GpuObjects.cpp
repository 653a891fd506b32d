#include "render/GpuObjects.h"

#include "render/ShaderProgram.h"

GlProgram BuildProgram(const char* vertexSource, const char* fragmentSource)
{
    GLuint slot = 0;
    ShaderProgram::Build(slot, vertexSource, fragmentSource);
    return GlProgram::Adopt(slot);
}

GlBuffer CreateStaticBuffer(std::span<const std::byte> bytes)
{
    if (bytes.empty())
        return {};
    const auto requested = static_cast<GLsizeiptr>(bytes.size());
    GlBuffer buffer = GlBuffer::Create();
    glNamedBufferData(buffer.Name(), requested, bytes.data(), GL_STATIC_DRAW);
    // A store the driver could not allocate is left empty (with GL_OUT_OF_MEMORY raised);
    // drawing from it would read past its end.
    GLint64 allocated = 0;
    glGetNamedBufferParameteri64v(buffer.Name(), GL_BUFFER_SIZE, &allocated);
    if (allocated != requested)
        return {};
    return buffer;
}

void AttachFloatAttributes(const GlVertexArray& vertexArray, GLuint binding, const GlBuffer& buffer, GLsizei stride,
                           std::initializer_list<FloatAttribute> attributes)
{
    const GLuint vao = vertexArray.Name();
    glVertexArrayVertexBuffer(vao, binding, buffer.Name(), 0, stride);
    for (const FloatAttribute& attribute : attributes) {
        glVertexArrayAttribFormat(vao, attribute.location, attribute.components, GL_FLOAT, GL_FALSE, attribute.offset);
        glVertexArrayAttribBinding(vao, attribute.location, binding);
        glEnableVertexArrayAttrib(vao, attribute.location);
    }
}
