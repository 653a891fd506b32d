#pragma once

#include "gl/GlObject.h"

// Owned texture names; the target is fixed when the name is made.
template <GLenum Target>
struct GlTextureKind {
    static GLuint Create()
    {
        GLuint name = 0;
        glCreateTextures(Target, 1, &name);
        return name;
    }
    static void Delete(GLuint name) { glDeleteTextures(1, &name); }
};

using GlTexture2D = GlObject<GlTextureKind<GL_TEXTURE_2D>>;
