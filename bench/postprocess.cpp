// Cost of one post-processing frame at 1600 x 900 with a 4-sample scene, bloom
// on and off, against the same number of plain full-screen copies as a floor
// (3 draws without bloom, 11 with), and each pass of the chain alone. Every
// iteration ends in glFinish so the time includes the GPU work, not just its
// submission.
//
// The floor's copies are the bench's own: one texelFetch each, nothing else.
// Each reads the one before it, in two buffers taken in turn, because a driver
// may drop a draw that the next one covers entirely: llvmpipe does, and
// eleven copies into one buffer cost about as much as one.
//
// With OSTREL_FRAME_PNG=<path> in the environment the bloom-on case also
// writes the last frame it drew to that PNG.

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "render/Math.h"
#include "render/PostProcessor.h"
#include "support/TestSupport.h"

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 900;
constexpr int kSamples = 4;

const char* const kLineVertex =
    "#version 330 core\n"
    "layout(location = 0) in vec3 aPosition;\n"
    "uniform mat4 uProjectionMatrix;\n"
    "uniform mat4 uViewMatrix;\n"
    "uniform mat4 uModelMatrix;\n"
    "void main() { gl_Position = uProjectionMatrix * uViewMatrix * uModelMatrix * vec4(aPosition, 1.0); }\n";

const char* const kPlainCopy =
    "#version 330 core\n"
    "uniform sampler2D uTexSampler;\n"
    "out vec4 fragColor;\n"
    "void main() { fragColor = texelFetch(uTexSampler, ivec2(gl_FragCoord.xy), 0); }\n";

// Everything one benchmark needs: its own track files, context and chain.
struct Bench {
    TempLayout layout;
    std::unique_ptr<TestEngine> engine;
    PostProcessor post;
    FrameBuffer scene;
    Shader lines;
    Shader plain;
    GLuint vertexArray = 0;
    GLuint vertexBuffer = 0;

    bool Start(bool bloom)
    {
        layout.ClearTracks();
        WriteConstantTrack(layout, "FX.EnableBloom", bloom ? 1.0f : 0.0f);
        WriteConstantTrack(layout, "FX.BloomDry", 1.0f);
        WriteConstantTrack(layout, "FX.BloomWet", 1.2f);
        WriteConstantTrack(layout, "FX.Exposure", 1.0f);
        WriteConstantTrack(layout, "FX.Fade", 1.0f);
        WriteConstantTrack(layout, "FX.HighPassCutoff", 0.4f);
        WriteConstantTrack(layout, "FX.BlurMagnitude", 1.5f);
        WriteConstantTrack(layout, "FX.Vignette", 0.4f);

        // Repeated context creation in one process occasionally needs a second try.
        for (int attempt = 0; attempt < 5 && engine == nullptr; ++attempt) {
            engine = std::make_unique<TestEngine>();
            if (!engine->Init(kWidth, kHeight, kSamples))
                engine.reset();
        }
        if (engine == nullptr)
            return false;

        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glFrontFace(GL_CCW);
        if (!scene.Create(kWidth, kHeight, 1, true, GL_RGBA16F, kSamples) || !post.Init())
            return false;
        if (!layout.WriteFile("shaders/Lines.vert", kLineVertex) || !layout.WriteFile("shaders/Plain.frag", kPlainCopy))
            return false;
        return lines.Load("../res/shaders/Lines.vert", "../res/shaders/Wireframe.frag", nullptr) &&
               plain.Load("../res/shaders/FullscreenQuad.vert", "../res/shaders/Plain.frag", nullptr);
    }

    // A lattice on the floor and a tilted cube above it, the kind of picture
    // the chain sees in the production.
    void DrawScene()
    {
        std::vector<float> v;
        auto line = [&v](Vec3 a, Vec3 b) { v.insert(v.end(), {a.x, a.y, a.z, b.x, b.y, b.z}); };
        for (int i = 0; i <= 64; ++i) {
            const float p = -256.0f + 8.0f * static_cast<float>(i);
            line(Vec3(p, 0, -256), Vec3(p, 0, 256));
            line(Vec3(-256, 0, p), Vec3(256, 0, p));
        }
        const size_t gridVertices = v.size() / 3;
        for (int axis = 0; axis < 3; ++axis) {
            for (int corner = 0; corner < 4; ++corner) {
                float c[3];
                c[(axis + 1) % 3] = (corner & 1) ? 1.0f : -1.0f;
                c[(axis + 2) % 3] = (corner & 2) ? 1.0f : -1.0f;
                Vec3 a, b;
                c[axis] = -1.0f;
                a = Vec3(c[0], c[1], c[2]);
                c[axis] = 1.0f;
                b = Vec3(c[0], c[1], c[2]);
                line(a, b);
            }
        }
        const size_t cubeVertices = v.size() / 3 - gridVertices;

        glGenVertexArrays(1, &vertexArray);
        glBindVertexArray(vertexArray);
        glGenBuffers(1, &vertexBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(float)), v.data(), GL_STATIC_DRAW);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
        glEnableVertexAttribArray(0);

        const Mat4 projection = perspective(1.0471976f, 1600.0f / 900.0f, 1.0f, 1000.0f);
        const Mat4 view = lookAt(Vec3(0.0f, 45.0f, 150.0f), Vec3(0.0f, 15.0f, 0.0f), Vec3(0.0f, 1.0f, 0.0f));
        Mat4 cube = translate(Mat4(), Vec3(0.0f, 30.0f, 20.0f));
        cube = rotate(cube, 35.0f, Vec3(1.0f, 1.0f, 0.0f));
        cube = scale(cube, Vec3(18.0f, 18.0f, 18.0f));

        glViewport(0, 0, kWidth, kHeight);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        scene.Bind(true);
        glUseProgram(lines.program);
        glUniformMatrix4fv(lines.GetUniformLocation("uProjectionMatrix"), 1, GL_FALSE, projection.Data());
        glUniformMatrix4fv(lines.GetUniformLocation("uViewMatrix"), 1, GL_FALSE, view.Data());
        glUniformMatrix4fv(lines.GetUniformLocation("uModelMatrix"), 1, GL_FALSE, Mat4().Data());
        glUniform4f(lines.GetUniformLocation("uDiffuse"), 0.09f, 0.79f, 0.9f, 1.0f);
        glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(gridVertices));
        glUniformMatrix4fv(lines.GetUniformLocation("uModelMatrix"), 1, GL_FALSE, cube.Data());
        glUniform4f(lines.GetUniformLocation("uDiffuse"), 2.5f, 0.6f, 1.8f, 1.0f);
        glDrawArrays(GL_LINES, static_cast<GLint>(gridVertices), static_cast<GLsizei>(cubeVertices));
        glUseProgram(0);
        scene.Unbind();
    }

    // One full-screen draw of a plain texel copy, the cheapest pass there is.
    void PlainCopy(FrameBuffer& target, GLuint input)
    {
        target.Bind(true);
        glUseProgram(plain.program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, input);
        glUniform1i(plain.GetUniformLocation("uTexSampler"), 0);
        glBindSampler(0, post.sampler);
        glBindBuffer(GL_ARRAY_BUFFER, post.quadBuffer);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        glEnableVertexAttribArray(0);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindSampler(0, 0);
        glUseProgram(0);
        target.Unbind();
    }

    ~Bench()
    {
        if (engine == nullptr)
            return;
        glDeleteBuffers(1, &vertexBuffer);
        glDeleteVertexArrays(1, &vertexArray);
        lines.Destroy();
        plain.Destroy();
        post.Destroy();
        scene.Destroy();
    }
};

void BM_Apply(benchmark::State& state)
{
    const bool bloom = state.range(0) != 0;
    Bench bench;
    if (!bench.Start(bloom)) {
        state.SkipWithError("could not bring up the chain");
        return;
    }
    bench.DrawScene();
    for (auto _ : state) {
        bench.post.Apply(bench.scene);
        glFinish();
    }
    state.SetLabel(bloom ? "bloom on, 11 draws" : "bloom off, 3 draws");

    const char* png = std::getenv("OSTREL_FRAME_PNG");
    if (bloom && png != nullptr) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        bench.post.Apply(bench.scene);
        WritePNG(png, kWidth, kHeight, ReadWindowPixels(kWidth, kHeight));
    }
}

void BM_PlainCopies(benchmark::State& state)
{
    const int copies = static_cast<int>(state.range(0));
    Bench bench;
    if (!bench.Start(false)) {
        state.SkipWithError("could not bring up the chain");
        return;
    }
    bench.DrawScene();
    bench.post.Apply(bench.scene);  // fills the resolved buffer the copies read
    glBindVertexArray(bench.post.quadVertexArray);
    FrameBuffer* const targets[2] = {&bench.post.compositeBuffer, &bench.post.blurBuffer};
    for (auto _ : state) {
        GLuint input = bench.post.resolvedBuffer.ColorTexture(0);
        for (int i = 0; i < copies; ++i) {
            bench.PlainCopy(*targets[i % 2], input);
            input = targets[i % 2]->ColorTexture(0);
        }
        glFinish();
    }
    state.SetLabel(std::to_string(copies) + " full-screen copies");
}

// One pass of the chain alone, to show where a frame's time goes; the plain
// copy of one full-screen buffer (BM_PlainCopies/1) is what each compares with.
struct PassCase {
    const char* name;
    Shader PostProcessor::*shader;
    FrameBuffer PostProcessor::*target;  // null: the window
    FrameBuffer PostProcessor::*input;   // null: the scene's colour
    bool multisample;
};

const PassCase kPassCases[] = {
    {"R1 resolve", &PostProcessor::resolveShader, &PostProcessor::resolvedBuffer, nullptr, true},
    {"R2 resolve depth", &PostProcessor::resolveDepthShader, &PostProcessor::depthBuffer, nullptr, true},
    {"B1 high pass", &PostProcessor::highPassShader, &PostProcessor::blurBuffer, &PostProcessor::resolvedBuffer, false},
    {"B2 down to half", &PostProcessor::copyShader, &PostProcessor::bloomBuffer1, &PostProcessor::blurBuffer, false},
    {"B3 down to quarter", &PostProcessor::copyShader, &PostProcessor::bloomBuffer2, &PostProcessor::bloomBuffer1, false},
    {"B4 blur across", &PostProcessor::blurShader, &PostProcessor::bloomBuffer3, &PostProcessor::bloomBuffer2, false},
    {"B6 up to half", &PostProcessor::copyShader, &PostProcessor::bloomBuffer1, &PostProcessor::bloomBuffer2, false},
    {"B7 up to full", &PostProcessor::copyShader, &PostProcessor::blurBuffer, &PostProcessor::bloomBuffer1, false},
    {"M mix", &PostProcessor::mixShader, &PostProcessor::compositeBuffer, &PostProcessor::resolvedBuffer, false},
    {"P present", &PostProcessor::copyShader, nullptr, &PostProcessor::compositeBuffer, false},
};

void BM_Pass(benchmark::State& state)
{
    const PassCase& pass = kPassCases[state.range(0)];
    Bench bench;
    if (!bench.Start(true)) {
        state.SkipWithError("could not bring up the chain");
        return;
    }
    bench.DrawScene();
    bench.post.Apply(bench.scene);
    PostProcessor& post = bench.post;
    Shader& shader = post.*pass.shader;
    const GLuint input = pass.multisample ? (pass.shader == &PostProcessor::resolveShader
                                                 ? bench.scene.ColorTexture(0)
                                                 : bench.scene.depthTexture->id)
                                          : (post.*pass.input).ColorTexture(0);
    const GLenum kind = pass.multisample ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D;
    glBindVertexArray(post.quadVertexArray);
    for (auto _ : state) {
        if (pass.target != nullptr)
            (post.*pass.target).Bind(true);
        glUseProgram(shader.program);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, post.blurBuffer.ColorTexture(0));
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(kind, input);
        glUniform1i(glGetUniformLocation(shader.program, "uTexSampler"), 0);
        glUniform1i(glGetUniformLocation(shader.program, "uTexSampler2"), 1);
        glUniform1i(glGetUniformLocation(shader.program, "uSampleCount"), kSamples);
        glUniform2f(glGetUniformLocation(shader.program, "uResolution"), kWidth, kHeight);
        glUniform1f(glGetUniformLocation(shader.program, "uHighPassCutoff"), 0.4f);
        glUniform2f(glGetUniformLocation(shader.program, "uTexelSize"), 1.0f / 400, 1.0f / 225);
        glUniform2f(glGetUniformLocation(shader.program, "uBlurDirection"), 1.0f, 0.0f);
        glUniform1f(glGetUniformLocation(shader.program, "uBlurMagnitude"), 1.5f);
        for (const char* name : {"uFade", "uBloomDry", "uExposure"})
            glUniform1f(glGetUniformLocation(shader.program, name), 1.0f);
        glUniform1f(glGetUniformLocation(shader.program, "uBloomWet"), 1.2f);
        glUniform1f(glGetUniformLocation(shader.program, "uVignette"), 0.4f);
        glUniform4f(glGetUniformLocation(shader.program, "uColorCorrection"), 1, 1, 1, 0);
        glBindSampler(0, post.sampler);
        glBindSampler(1, post.sampler);
        glBindBuffer(GL_ARRAY_BUFFER, post.quadBuffer);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        glEnableVertexAttribArray(0);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glBindSampler(1, 0);
        glBindSampler(0, 0);
        glUseProgram(0);
        if (pass.target != nullptr)
            (post.*pass.target).Unbind();
        glFinish();
    }
    state.SetLabel(pass.name);
}

}  // namespace

// Three rounds each, reported by their median: a shared machine's noise moves
// single rounds by a third.
BENCHMARK(BM_Apply)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40)
    ->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainCopies)->Arg(1)->Arg(3)->Arg(11)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40)
    ->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Pass)->DenseRange(0, 9)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);

BENCHMARK_MAIN();
