#include <malloc.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "GLTestFixture.h"
#include "render/Shader.h"

namespace {

// SDL's log drops one final line feed, so that is how these texts arrive.
std::string Logged(std::string text)
{
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

const char* const kVertex =
    "#version 330 core\n"
    "layout(location = 0) in vec3 aPosition;\n"
    "uniform mat4 uModelMatrix;\n"
    "void main() { gl_Position = uModelMatrix * vec4(aPosition, 1.0); }\n";
const char* const kFragment =
    "#version 330 core\n"
    "uniform vec4 uDiffuse;\n"
    "out vec4 fragColor;\n"
    "void main() { fragColor = uDiffuse; }\n";
const char* const kGeometry =
    "#version 330 core\n"
    "layout(lines) in;\n"
    "layout(line_strip, max_vertices = 2) out;\n"
    "void main() {\n"
    "  gl_Position = gl_in[0].gl_Position; EmitVertex();\n"
    "  gl_Position = gl_in[1].gl_Position; EmitVertex();\n"
    "  EndPrimitive();\n"
    "}\n";

// Shader and program names share one namespace; small names are what the
// driver hands out first, so counting them shows whether anything leaked.
int LiveShaderObjects()
{
    int count = 0;
    for (GLuint name = 1; name < 4096; ++name)
        count += (glIsShader(name) || glIsProgram(name)) ? 1 : 0;
    return count;
}

size_t HeapInUse()
{
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

class ShaderTest : public GLTest {
protected:
    std::string Write(const std::string& name, const std::string& text)
    {
        EXPECT_TRUE(layout.WriteFile("shaders/" + name, text));
        return "../res/shaders/" + name;
    }
};

}  // namespace

TEST_F(ShaderTest, NullPathsAreRejectedBeforeAnythingIsRead)
{
    const std::string vertex = Write("ok.vert", kVertex);
    const std::string fragment = Write("ok.frag", kFragment);
    const char* cases[][2] = {{vertex.c_str(), nullptr}, {nullptr, fragment.c_str()}, {nullptr, nullptr}};
    for (auto& paths : cases) {
        LogCapture log;
        Shader shader;
        EXPECT_FALSE(shader.Load(paths[0], paths[1], nullptr));
        ASSERT_EQ(log.Lines().size(), 1u);
        EXPECT_EQ(log.Lines()[0].message, "Invalid vertex or fragment source!");
        EXPECT_EQ(log.Lines()[0].category, SDL_LOG_CATEGORY_VIDEO);
        EXPECT_EQ(log.Lines()[0].priority, SDL_LOG_PRIORITY_ERROR);
        EXPECT_EQ(shader.vertexPath, nullptr);
        EXPECT_EQ(shader.program, kNoGLName);
    }
}

TEST_F(ShaderTest, MissingVertexFileStopsBeforeTheFragmentFileIsOpened)
{
    const std::string fragment = Write("watched.frag", kFragment);
    const std::string vertex = Write("ok.vert", kVertex);

    const int watcher = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watcher, 0);
    ASSERT_GE(inotify_add_watch(watcher, layout.Path("shaders/watched.frag").c_str(), IN_OPEN), 0);
    char events[4096];

    {
        LogCapture log;
        Shader shader;
        EXPECT_FALSE(shader.Load("../res/shaders/missing.vert", fragment.c_str(), nullptr));
        EXPECT_EQ(log.Messages(), std::vector<std::string>{Logged("Failed to read vertex shader source!\n")});
        // The paths are kept even though the build failed.
        EXPECT_STREQ(shader.vertexPath, "../res/shaders/missing.vert");
        EXPECT_EQ(shader.program, kNoGLName);
        EXPECT_LT(read(watcher, events, sizeof(events)), 0) << "the fragment file was opened";
    }

    // The watch does see a load that gets as far as the fragment file.
    Shader built;
    EXPECT_TRUE(built.Load(vertex.c_str(), fragment.c_str(), nullptr));
    EXPECT_GT(read(watcher, events, sizeof(events)), 0);
    built.Destroy();
    close(watcher);
}

struct CompileCase {
    const char* name;
    const char* vertex;
    const char* fragment;
    const char* geometry;
    GLenum failingStage;
    const char* prefix;
};

void PrintTo(const CompileCase& c, std::ostream* out) { *out << c.name; }

class ShaderCompileTest : public ShaderTest, public ::testing::WithParamInterface<CompileCase> {};

TEST_P(ShaderCompileTest, QuotesTheDriverLogAndReleasesEverything)
{
    const CompileCase& c = GetParam();
    const std::string vertex = Write("case.vert", c.vertex);
    const std::string fragment = Write("case.frag", c.fragment);
    const std::string geometry = c.geometry ? Write("case.geom", c.geometry) : std::string();
    const char* failing = c.failingStage == GL_VERTEX_SHADER     ? c.vertex
                          : c.failingStage == GL_FRAGMENT_SHADER ? c.fragment
                                                                 : c.geometry;

    // What the driver says about the broken stage on its own.
    GLuint probe = glCreateShader(c.failingStage);
    const GLint length = static_cast<GLint>(strlen(failing));
    glShaderSource(probe, 1, &failing, &length);
    glCompileShader(probe);
    GLint logLength = 0;
    glGetShaderiv(probe, GL_INFO_LOG_LENGTH, &logLength);
    std::string driverLog(static_cast<size_t>(logLength) + 1, '\0');
    glGetShaderInfoLog(probe, logLength + 1, nullptr, &driverLog[0]);
    driverLog.resize(strlen(driverLog.c_str()));
    glDeleteShader(probe);
    ASSERT_FALSE(driverLog.empty());

    const int before = LiveShaderObjects();
    LogCapture log;
    Shader shader;
    EXPECT_FALSE(shader.Load(vertex.c_str(), fragment.c_str(), c.geometry ? geometry.c_str() : nullptr));
    EXPECT_EQ(log.Messages(), std::vector<std::string>{std::string(c.prefix) + driverLog + "'"});
    EXPECT_EQ(log.Lines()[0].category, SDL_LOG_CATEGORY_VIDEO);
    EXPECT_EQ(shader.vertexShader, kNoGLName);
    EXPECT_EQ(shader.fragmentShader, kNoGLName);
    EXPECT_EQ(shader.program, kNoGLName);
    EXPECT_EQ(LiveShaderObjects(), before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

INSTANTIATE_TEST_SUITE_P(
    Stages, ShaderCompileTest,
    ::testing::Values(
        CompileCase{"EmptyVertex", "", kFragment, nullptr, GL_VERTEX_SHADER,
                    "Failed to compile vertex shader: '"},
        CompileCase{"BrokenFragment", kVertex, "#version 330 core\nvoid main() { nonsense; }\n", nullptr,
                    GL_FRAGMENT_SHADER, "Failed to compile fragment shader: '"},
        CompileCase{"BrokenGeometry", kVertex, kFragment, "#version 330 core\nvoid main() { 1 = 2; }\n",
                    GL_GEOMETRY_SHADER, "Failed to compile geometry shader: '"}),
    [](const ::testing::TestParamInfo<CompileCase>& info) { return std::string(info.param.name); });

TEST_F(ShaderTest, LinkFailureQuotesTheProgramLogAndReleasesEverything)
{
    const std::string vertex = Write("ok.vert", kVertex);
    // Compiles on its own, but the function it calls is defined nowhere.
    const std::string fragment = Write("unresolved.frag",
                                       "#version 330 core\n"
                                       "vec4 neverDefined();\n"
                                       "out vec4 fragColor;\n"
                                       "void main() { fragColor = neverDefined(); }\n");
    const int before = LiveShaderObjects();
    LogCapture log;
    Shader shader;
    EXPECT_FALSE(shader.Load(vertex.c_str(), fragment.c_str(), nullptr));
    ASSERT_EQ(log.Lines().size(), 1u);
    const std::string& message = log.Lines()[0].message;
    const std::string prefix = "Failed to link shader program: '";
    EXPECT_EQ(message.compare(0, prefix.size(), prefix), 0) << message;
    EXPECT_GT(message.size(), prefix.size() + 2) << "no driver log in the message";
    EXPECT_EQ(message.back(), '\'');
    EXPECT_NE(message.find("neverDefined"), std::string::npos) << message;
    EXPECT_EQ(shader.program, kNoGLName);
    EXPECT_EQ(LiveShaderObjects(), before);
}

TEST_F(ShaderTest, FailedBuildsReleaseTheirSourceBuffers)
{
    // Sources far larger than anything the driver keeps, so a leaked copy shows.
    const size_t size = 8u << 20;
    std::string big(size, ' ');
    big.replace(0, strlen(kVertex), kVertex);
    const std::string vertex = Write("big.vert", big);
    std::string broken = "#version 330 core\n" + std::string(1u << 20, ' ') + "void main() { oops }\n";
    const std::string brokenPath = Write("broken.frag", broken);

    Shader warmUp;
    warmUp.Load(vertex.c_str(), brokenPath.c_str(), nullptr);
    const size_t before = HeapInUse();
    for (int i = 0; i < 4; ++i) {
        LogCapture log;
        Shader unread;
        EXPECT_FALSE(unread.Load(vertex.c_str(), "../res/shaders/none.frag", nullptr));
        Shader uncompiled;
        EXPECT_FALSE(uncompiled.Load(vertex.c_str(), brokenPath.c_str(), nullptr));
    }
    const size_t after = HeapInUse();
    EXPECT_LT(after, before + size) << "grew by " << (after - before) << " bytes";
}

TEST_F(ShaderTest, BuildsWithAGeometryStageAndDestroysOnlyWhatExists)
{
    const std::string vertex = Write("ok.vert", kVertex);
    const std::string fragment = Write("ok.frag", kFragment);
    const std::string geometry = Write("ok.geom", kGeometry);

    Shader plain;
    ASSERT_TRUE(plain.Load(vertex.c_str(), fragment.c_str(), nullptr));
    EXPECT_EQ(plain.geometryShader, kNoGLName);
    EXPECT_TRUE(glIsProgram(plain.program));

    Shader withGeometry;
    ASSERT_TRUE(withGeometry.Load(vertex.c_str(), fragment.c_str(), geometry.c_str()));
    EXPECT_TRUE(glIsShader(withGeometry.geometryShader));
    GLuint attached[4] = {0, 0, 0, 0};
    GLsizei count = 0;
    glGetAttachedShaders(withGeometry.program, 4, &count, attached);
    EXPECT_EQ(count, 3);

    Shader neverBuilt;
    const GLuint plainProgram = plain.program;
    const GLuint geometryShader = withGeometry.geometryShader;
    glGetError();
    plain.Destroy();
    withGeometry.Destroy();
    neverBuilt.Destroy();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_FALSE(glIsProgram(plainProgram));
    EXPECT_FALSE(glIsShader(geometryShader));
}

TEST_F(ShaderTest, UniformLookups)
{
    Shader neverBuilt;
    {
        LogCapture log;
        EXPECT_EQ(neverBuilt.GetUniformLocation("uDiffuse"), -1);
        EXPECT_EQ(log.Messages(), std::vector<std::string>{Logged(
                                      "Tried to get a uniform location from a shader that is not compiled!\n")});
    }

    const std::string vertex = Write("ok.vert", kVertex);
    const std::string fragment = Write("ok.frag", kFragment);
    Shader failed;
    failed.Load(vertex.c_str(), "../res/shaders/none.frag", nullptr);
    {
        LogCapture log;
        EXPECT_EQ(failed.GetUniformLocation("uDiffuse"), -1);
        EXPECT_EQ(log.Count(Logged("Tried to get a uniform location from a shader that is not compiled!\n")), 1);
    }

    Shader shader;
    ASSERT_TRUE(shader.Load(vertex.c_str(), fragment.c_str(), nullptr));
    LogCapture log;
    EXPECT_GE(shader.GetUniformLocation("uDiffuse"), 0);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(shader.GetUniformLocation("uUnused"), -1);
    EXPECT_EQ(shader.GetUniformLocation("uUnused"), -1);
    const std::string expected = "Got Invalid Uniform Location For Uniform 'uUnused' From Shader With ID '" +
                                 std::to_string(shader.program) + "'!";
    EXPECT_EQ(log.Count(expected), 2);
    EXPECT_EQ(log.Lines().size(), 2u);
    shader.Destroy();
}

// ---- The shipped programs ----------------------------------------------------------

struct ShippedProgram {
    const char* vertex;
    const char* fragment;
    std::vector<std::pair<const char*, GLenum>> uniforms;
};

TEST_F(ShaderTest, EveryShippedProgramBuildsWithAllItsUniformsActive)
{
    const std::vector<std::pair<const char*, GLenum>> wireframe = {
        {"uProjectionMatrix", GL_FLOAT_MAT4}, {"uViewMatrix", GL_FLOAT_MAT4},
        {"uModelMatrix", GL_FLOAT_MAT4}, {"uDiffuse", GL_FLOAT_VEC4}};
    std::vector<std::pair<const char*, GLenum>> grid = wireframe;
    grid.insert(grid.end(), {{"uNoiseTexSampler", GL_SAMPLER_2D}, {"uNoiseBias", GL_FLOAT_VEC4},
                             {"uNoiseMagnitude", GL_FLOAT}, {"uNoiseScroll", GL_FLOAT_VEC2},
                             {"uCenterGravity", GL_FLOAT}});
    const std::vector<std::pair<const char*, GLenum>> resolve = {
        {"uTexSampler", GL_SAMPLER_2D_MULTISAMPLE}, {"uSampleCount", GL_INT}, {"uResolution", GL_FLOAT_VEC2}};

    const ShippedProgram programs[] = {
        {"FullscreenQuad.vert", "CopyTex.frag", {{"uTexSampler", GL_SAMPLER_2D}}},
        {"FullscreenQuad.vert", "HighPass.frag", {{"uTexSampler", GL_SAMPLER_2D}, {"uHighPassCutoff", GL_FLOAT}}},
        {"FullscreenQuad.vert", "Blur.frag",
         {{"uTexSampler", GL_SAMPLER_2D}, {"uTexelSize", GL_FLOAT_VEC2}, {"uBlurDirection", GL_FLOAT_VEC2},
          {"uBlurMagnitude", GL_FLOAT}}},
        {"FullscreenQuad.vert", "Mix.frag",
         {{"uTexSampler", GL_SAMPLER_2D}, {"uTexSampler2", GL_SAMPLER_2D}, {"uFade", GL_FLOAT},
          {"uBloomDry", GL_FLOAT}, {"uBloomWet", GL_FLOAT}, {"uExposure", GL_FLOAT}, {"uFlash", GL_FLOAT},
          {"uVignette", GL_FLOAT}, {"uColorCorrection", GL_FLOAT_VEC4}}},
        {"FullscreenQuad.vert", "ResolveFBO.frag", resolve},
        {"FullscreenQuad.vert", "ResolveDepth.frag", resolve},
        {"Wireframe.vert", "Wireframe.frag", wireframe},
        {"WireframeGrid.vert", "Wireframe.frag", grid},
    };

    for (const ShippedProgram& p : programs) {
        SCOPED_TRACE(std::string(p.vertex) + " + " + p.fragment);
        const std::string vertex = std::string("../res/shaders/") + p.vertex;
        const std::string fragment = std::string("../res/shaders/") + p.fragment;
        LogCapture log;
        Shader shader;
        ASSERT_TRUE(shader.Load(vertex.c_str(), fragment.c_str(), nullptr));
        for (const auto& [name, type] : p.uniforms) {
            const GLint location = shader.GetUniformLocation(name);
            EXPECT_GE(location, 0) << name;
            GLuint index = GL_INVALID_INDEX;
            glGetUniformIndices(shader.program, 1, &name, &index);
            ASSERT_NE(index, GL_INVALID_INDEX) << name;
            GLint actualType = 0;
            glGetActiveUniformsiv(shader.program, 1, &index, GL_UNIFORM_TYPE, &actualType);
            EXPECT_EQ(static_cast<GLenum>(actualType), type) << name;
        }
        // Nothing beyond the listed uniforms is expected to be set by anyone.
        GLint active = 0;
        glGetProgramiv(shader.program, GL_ACTIVE_UNIFORMS, &active);
        EXPECT_EQ(active, static_cast<GLint>(p.uniforms.size()));
        GLint attributes = 0;
        glGetProgramiv(shader.program, GL_ACTIVE_ATTRIBUTES, &attributes);
        EXPECT_EQ(attributes, 1);
        EXPECT_EQ(glGetAttribLocation(shader.program, "aPosition"), 0);
        EXPECT_TRUE(log.Errors().empty());
        shader.Destroy();
    }
}
