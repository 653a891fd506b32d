#pragma once

#include "gl/GlObject.h"

#include <cstddef>
#include <initializer_list>
#include <span>
#include <vector>

// Making the GL objects that renderers own. Every call needs the view's context current.

// A float vertex attribute: `components` floats at `offset` bytes into each vertex.
struct FloatAttribute {
    GLuint location;
    GLint components;
    GLuint offset;
};

// ShaderProgram::Build into an owned program; empty (name 0) when the build failed, which
// ShaderProgram has logged.
GlProgram BuildProgram(const char* vertexSource, const char* fragmentSource);

// A buffer holding a copy of `bytes` for drawing (static-draw usage). Empty when there are no
// bytes or the driver could not give the buffer that much storage.
GlBuffer CreateStaticBuffer(std::span<const std::byte> bytes);

template <class Vertex, class Allocator>
GlBuffer CreateStaticBuffer(const std::vector<Vertex, Allocator>& vertices)
{
    return CreateStaticBuffer(std::as_bytes(std::span(vertices)));
}

// Makes `vertexArray` read `attributes` from `buffer` through binding point `binding`, one
// vertex every `stride` bytes, and enables them.
void AttachFloatAttributes(const GlVertexArray& vertexArray, GLuint binding, const GlBuffer& buffer, GLsizei stride,
                           std::initializer_list<FloatAttribute> attributes);
