#include "tests/gl/GlTestFixture.h"

#include "render/ShaderProgram.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::HeadlessGlTest;
using Rgba8 = HeadlessEglBackend::Rgba8;

// One point in the middle of the view, 5 pixels wide, at depth 0.5.
constexpr const char* kPointVertex = R"(#version 450 core
void main()
{
    gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
    gl_PointSize = 5.0;
}
)";
constexpr const char* kRedFragment = R"(#version 450 core
out vec4 outColor;
void main() { outColor = vec4(1.0, 0.0, 0.0, 1.0); }
)";
constexpr const char* kUndeclaredName = R"(#version 450 core
void main() { gl_Position = undeclaredPosition; }
)";
// Compiles, but the function has no body anywhere, so linking fails.
constexpr const char* kUnresolvedFunction = R"(#version 450 core
vec4 PositionFromElsewhere();
void main() { gl_Position = PositionFromElsewhere(); }
)";

constexpr const char* kCompileHeader = "[ShaderProgram] compile error:\n";
constexpr const char* kLinkHeader = "[ShaderProgram] link error:\n";

std::string DriverCompileLog(GLenum type, const char* source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<std::size_t>(length), '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    glDeleteShader(shader);
    return log.c_str();
}

bool IsProgram(GLuint name)
{
    return glIsProgram(name) == GL_TRUE;
}

// Routes one of libepoxy's parameter-query entry points through a wrapper that reports an
// empty info log, as some drivers do, while the scope lives. The entry point must already
// have been resolved (called once), or libepoxy would overwrite the wrapper.
using GetObjectParameter = void(EPOXY_CALLSPEC*)(GLuint, GLenum, GLint*);
GetObjectParameter s_realParameterQuery = nullptr;

void EPOXY_CALLSPEC QueryWithEmptyInfoLog(GLuint object, GLenum name, GLint* value)
{
    s_realParameterQuery(object, name, value);
    if (name == GL_INFO_LOG_LENGTH)
        *value = 0;
}

class EmptyInfoLogScope {
public:
    explicit EmptyInfoLogScope(GetObjectParameter& entryPoint) : m_entryPoint(entryPoint), m_saved(entryPoint)
    {
        s_realParameterQuery = entryPoint;
        entryPoint = QueryWithEmptyInfoLog;
    }
    ~EmptyInfoLogScope() { m_entryPoint = m_saved; }
    EmptyInfoLogScope(const EmptyInfoLogScope&) = delete;
    EmptyInfoLogScope& operator=(const EmptyInfoLogScope&) = delete;

private:
    GetObjectParameter& m_entryPoint;
    GetObjectParameter m_saved;
};

class ShaderProgramTest : public HeadlessGlTest {
protected:
    void TearDown() override
    {
        if (surface.MakeCurrent() && m_program != 0)
            glDeleteProgram(m_program);
        HeadlessGlTest::TearDown();
    }
    GLuint m_program = 0;
};

TEST_F(ShaderProgramTest, BuildLinksAProgramAndLeavesNoShadersBehind)
{
    ScopedLogCapture capture;
    ASSERT_TRUE(ShaderProgram::Build(m_program, kPointVertex, kRedFragment));
    ASSERT_NE(m_program, 0u);
    EXPECT_TRUE(IsProgram(m_program));
    GLint linked = GL_FALSE;
    GLint attached = -1;
    glGetProgramiv(m_program, GL_LINK_STATUS, &linked);
    glGetProgramiv(m_program, GL_ATTACHED_SHADERS, &attached);
    EXPECT_EQ(linked, GL_TRUE);
    EXPECT_EQ(attached, 0);
    EXPECT_EQ(capture.Text(), "");
}

TEST_F(ShaderProgramTest, BuiltProgramDrawsPointsOfProgramControlledSizeWithDepth)
{
    ASSERT_TRUE(ShaderProgram::Build(m_program, kPointVertex, kRedFragment));
    GLuint vertexArray = 0;
    glCreateVertexArrays(1, &vertexArray);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUseProgram(m_program);
    glBindVertexArray(vertexArray);
    glDrawArrays(GL_POINTS, 0, 1);
    glBindVertexArray(0);
    glUseProgram(0);
    glDeleteVertexArrays(1, &vertexArray);

    // The 64 x 48 view's centre is (32, 24); a 5-pixel point covers two pixels on each side,
    // which a point of the fixed size 1 would not.
    EXPECT_EQ(headless->ReadColor(32, 24), (Rgba8{255, 0, 0, 255}));
    EXPECT_EQ(headless->ReadColor(30, 22), (Rgba8{255, 0, 0, 255}));
    EXPECT_EQ(headless->ReadColor(26, 24), (Rgba8{0, 0, 0, 255}));
    ASSERT_TRUE(headless->ReadDepth(31, 23).has_value());
    EXPECT_NEAR(*headless->ReadDepth(31, 23), 0.5f, 1e-6f);
    EXPECT_EQ(headless->ReadDepth(26, 24), 1.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ShaderProgramTest, CompileErrorsAreLoggedWithTheDriversLog)
{
    const std::string driverLog = DriverCompileLog(GL_VERTEX_SHADER, kUndeclaredName);
    ASSERT_FALSE(driverLog.empty());

    ScopedLogCapture capture;
    EXPECT_EQ(ShaderProgram::CompileStage(GL_VERTEX_SHADER, kUndeclaredName), 0u);
    EXPECT_EQ(capture.Text(), kCompileHeader + driverLog);

    capture.Clear();
    EXPECT_FALSE(ShaderProgram::Build(m_program, kUndeclaredName, kRedFragment));
    EXPECT_EQ(m_program, 0u);
    EXPECT_EQ(capture.Text(), kCompileHeader + driverLog);

    // A broken fragment stage: one message, and the vertex shader does not linger.
    capture.Clear();
    EXPECT_FALSE(ShaderProgram::Build(m_program, kPointVertex, kUndeclaredName));
    EXPECT_EQ(m_program, 0u);
    EXPECT_THAT(capture.Text(), testing::StartsWith(kCompileHeader));
    EXPECT_GT(capture.Text().size(), std::string(kCompileHeader).size());
    EXPECT_EQ(capture.Text().find(kCompileHeader, 1), std::string::npos);
}

TEST_F(ShaderProgramTest, LinkErrorsAreLoggedWithTheDriversLog)
{
    ScopedLogCapture capture;
    EXPECT_FALSE(ShaderProgram::Build(m_program, kUnresolvedFunction, kRedFragment));
    EXPECT_EQ(m_program, 0u);
    const std::string text = capture.Text();
    ASSERT_THAT(text, testing::StartsWith(kLinkHeader));
    const std::string driverLog = text.substr(std::string(kLinkHeader).size());
    EXPECT_FALSE(driverLog.empty());
    EXPECT_THAT(driverLog, testing::HasSubstr("PositionFromElsewhere"));
}

TEST_F(ShaderProgramTest, RebuildingDeletesTheOldProgramAndAFailedRebuildLeavesZero)
{
    ASSERT_TRUE(ShaderProgram::Build(m_program, kPointVertex, kRedFragment));
    const GLuint first = m_program;
    ASSERT_TRUE(ShaderProgram::Build(m_program, kPointVertex, kRedFragment));
    const GLuint second = m_program;
    EXPECT_NE(second, 0u);
    EXPECT_FALSE(IsProgram(first));
    EXPECT_TRUE(IsProgram(second));

    ScopedLogCapture capture;
    EXPECT_FALSE(ShaderProgram::Build(m_program, kPointVertex, kUndeclaredName));
    EXPECT_EQ(m_program, 0u);
    EXPECT_FALSE(IsProgram(second));

    ASSERT_TRUE(ShaderProgram::Build(m_program, kPointVertex, kRedFragment));
    EXPECT_FALSE(ShaderProgram::Build(m_program, kUnresolvedFunction, kRedFragment));
    EXPECT_EQ(m_program, 0u);
}

TEST_F(ShaderProgramTest, EmptyDriverLogStillWritesTheHeaderLine)
{
    // Resolve both entry points before they are wrapped.
    ASSERT_TRUE(ShaderProgram::Build(m_program, kPointVertex, kRedFragment));

    ScopedLogCapture capture;
    {
        EmptyInfoLogScope emptyLog(epoxy_glGetShaderiv);
        EXPECT_EQ(ShaderProgram::CompileStage(GL_FRAGMENT_SHADER, kUndeclaredName), 0u);
    }
    EXPECT_EQ(capture.Text(), kCompileHeader);

    capture.Clear();
    {
        EmptyInfoLogScope emptyLog(epoxy_glGetProgramiv);
        EXPECT_FALSE(ShaderProgram::Build(m_program, kUnresolvedFunction, kRedFragment));
    }
    EXPECT_EQ(capture.Text(), kLinkHeader);
    EXPECT_EQ(m_program, 0u);
}

TEST_F(ShaderProgramTest, MissingSourceAndUnknownStageAreRefused)
{
    ScopedLogCapture capture;
    EXPECT_EQ(ShaderProgram::CompileStage(GL_VERTEX_SHADER, nullptr), 0u);
    EXPECT_FALSE(ShaderProgram::Build(m_program, kPointVertex, nullptr));
    EXPECT_EQ(ShaderProgram::CompileStage(GL_TEXTURE_2D, kPointVertex), 0u);
    glGetError();  // the unknown stage's GL_INVALID_ENUM
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "[ShaderProgram] compile error:");
    EXPECT_EQ(lines[2], "[ShaderProgram] compile error:");
    EXPECT_EQ(lines[4], "[ShaderProgram] compile error:");
    EXPECT_EQ(m_program, 0u);
}

}  // namespace
