#include "gl/FramebufferReadback.h"

#include <cstddef>
#include <limits>

namespace {

template <class T>
std::vector<T> ReadRectangle(GLuint framebuffer, int x, int y, int width, int height, GLenum format,
                             GLenum type, std::size_t valuesPerPixel, T fill)
{
    if (width <= 0 || height <= 0)
        return {};
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * valuesPerPixel;
    if (count > std::numeric_limits<GLsizei>::max() / sizeof(T))
        return {};
    std::vector<T> pixels(count, fill);

    GLint previous = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    // The bounded read never writes past the buffer, whatever the pack state says.
    glReadnPixels(x, y, width, height, format, type, static_cast<GLsizei>(pixels.size() * sizeof(T)),
                  pixels.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previous));
    return pixels;
}

}  // namespace

std::vector<std::uint8_t> ReadFramebufferColor(GLuint framebuffer, int x, int y, int width, int height)
{
    return ReadRectangle<std::uint8_t>(framebuffer, x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, 4, 0);
}

std::vector<float> ReadFramebufferDepth(GLuint framebuffer, int x, int y, int width, int height)
{
    return ReadRectangle<float>(framebuffer, x, y, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, 1, 1.0f);
}
