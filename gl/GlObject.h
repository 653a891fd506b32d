#pragma once

#include <epoxy/gl.h>

#include <utility>

// Owns one GL object name and deletes it when it goes; the context that made the name must
// be current then. Kind supplies Create() and Delete(name).
template <class Kind>
class GlObject {
public:
    GlObject() = default;
    ~GlObject() { Reset(); }
    GlObject(GlObject&& other) noexcept : m_name(std::exchange(other.m_name, 0)) {}
    GlObject& operator=(GlObject&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_name = std::exchange(other.m_name, 0);
        }
        return *this;
    }
    GlObject(const GlObject&) = delete;
    GlObject& operator=(const GlObject&) = delete;

    static GlObject Create() { return GlObject(Kind::Create()); }
    // Takes over a name made elsewhere, such as a program from ShaderProgram::Build.
    static GlObject Adopt(GLuint name) { return GlObject(name); }

    GLuint Name() const { return m_name; }
    void Reset()
    {
        if (m_name != 0)
            Kind::Delete(m_name);
        m_name = 0;
    }
    // Drops the name without deleting it, for when its context could not be made current
    // (the name then dies with the context).
    void Abandon() { m_name = 0; }

private:
    explicit GlObject(GLuint name) : m_name(name) {}
    GLuint m_name = 0;
};

struct GlFramebufferKind {
    static GLuint Create()
    {
        GLuint name = 0;
        glCreateFramebuffers(1, &name);
        return name;
    }
    static void Delete(GLuint name) { glDeleteFramebuffers(1, &name); }
};

struct GlRenderbufferKind {
    static GLuint Create()
    {
        GLuint name = 0;
        glCreateRenderbuffers(1, &name);
        return name;
    }
    static void Delete(GLuint name) { glDeleteRenderbuffers(1, &name); }
};

using GlFramebuffer = GlObject<GlFramebufferKind>;
using GlRenderbuffer = GlObject<GlRenderbufferKind>;

struct GlBufferKind {
    static GLuint Create()
    {
        GLuint name = 0;
        glCreateBuffers(1, &name);
        return name;
    }
    static void Delete(GLuint name) { glDeleteBuffers(1, &name); }
};

struct GlVertexArrayKind {
    static GLuint Create()
    {
        GLuint name = 0;
        glCreateVertexArrays(1, &name);
        return name;
    }
    static void Delete(GLuint name) { glDeleteVertexArrays(1, &name); }
};

struct GlProgramKind {
    static GLuint Create() { return glCreateProgram(); }
    static void Delete(GLuint name) { glDeleteProgram(name); }
};

using GlBuffer = GlObject<GlBufferKind>;
using GlVertexArray = GlObject<GlVertexArrayKind>;
using GlProgram = GlObject<GlProgramKind>;
