// A 1920x1080 frame through EntryPointFunc (smart pre-render plus smart
// render, driven by hostsim) with the pass-through fixture effect, against a
// bare program on the same GL that uploads the same frame, draws one
// textured quad and reads it back into a host-sized buffer. The difference
// is the engine's overhead. Run on demand:
//   bench_host --benchmark_counters_tabular=true
// BM_Module times only the module's entry point (hostsim's own work, such as
// making the output world, is left out); BM_BareGL times the whole frame.
#include <benchmark/benchmark.h>

#include <GL/glew.h>

#include <cstring>
#include <memory>
#include <vector>

#include "gpu/OpenGLContext.h"
#include "hostsim/Host.h"

namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;
constexpr uint32_t kRowPadding = 16;  // hostsim's default world padding

void setFrames(benchmark::State& state) {
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Module(benchmark::State& state) {
    const auto depth = static_cast<uint32_t>(state.range(0));
    static hostsim::Module module(PASSTHRU_MODULE);
    hostsim::HostConfig config;
    config.depth = depth;
    config.keepOutputImage = false;
    hostsim::Host host(module, config);
    hostsim::Image input(kWidth, kHeight);
    for (size_t i = 0; i < input.rgba.size(); ++i) input.rgba[i] = float(i % 251) / 250.0f;
    host.setInput(input);
    if (host.start() != PF_Err_NONE) {
        state.SkipWithError("the pass-through module did not start");
        return;
    }
    host.render(0);  // first frame: textures and targets made
    for (auto _ : state) {
        const double before = host.moduleSeconds();
        const hostsim::RenderResult frame = host.render(0);
        state.SetIterationTime(host.moduleSeconds() - before);
        if (frame.result != PF_Err_NONE) {
            state.SkipWithError("render failed");
            break;
        }
    }
    host.finish();
    setFrames(state);
}
BENCHMARK(BM_Module)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseManualTime();

// ---- the bare program ------------------------------------------------------------------

// One context for the bare runs, made current again before each one: the
// module's context takes the thread while it renders.
gpu::OpenGLContext& bareContext() {
    static gpu::OpenGLContext* context = [] {
        auto* made = new gpu::OpenGLContext();
        made->create();
        gpu::initGLExtensions();
        return made;
    }();
    context->makeCurrent();
    return *context;
}

struct GLNames {
    GLuint source = 0, target = 0, framebuffer = 0, pack = 0, program = 0;
    ~GLNames() {
        glDeleteTextures(1, &source);
        glDeleteTextures(1, &target);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteBuffers(1, &pack);
        glDeleteProgram(program);
    }
};

GLuint compile(GLenum kind, const char* text) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    return shader;
}

GLuint copyProgram() {
    const GLuint vertex =
        compile(GL_VERTEX_SHADER, "void main() { gl_Position = gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; }");
    const GLuint fragment = compile(GL_FRAGMENT_SHADER,
                                    "uniform sampler2D source;"
                                    "void main() { gl_FragColor = texture2D(source, gl_TexCoord[0].xy); }");
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    return program;
}

GLuint makeTexture(GLint internalFormat, GLenum type) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, kWidth, kHeight, 0, GL_RGBA, type, nullptr);
    return name;
}

void BM_BareGL(benchmark::State& state) {
    const auto depth = static_cast<uint32_t>(state.range(0));
    bareContext();
    const GLenum type = depth == 8 ? GL_UNSIGNED_BYTE : depth == 16 ? GL_UNSIGNED_SHORT : GL_FLOAT;
    const GLint internalFormat = depth == 8 ? GL_RGBA8 : GL_RGBA32F;
    const size_t pixelBytes = depth / 2;
    const size_t packedRow = kWidth * pixelBytes;
    const size_t hostRow = packedRow + kRowPadding;
    std::vector<uint8_t> input(hostRow * kHeight), output(hostRow * kHeight);
    for (size_t i = 0; i < input.size(); ++i) input[i] = uint8_t(i % 251);

    GLNames gl;
    gl.program = copyProgram();
    gl.source = makeTexture(internalFormat, type);
    gl.target = makeTexture(internalFormat, type);
    glGenFramebuffers(1, &gl.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, gl.framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, gl.target, 0);
    glGenBuffers(1, &gl.pack);
    glUseProgram(gl.program);
    glUniform1i(glGetUniformLocation(gl.program, "source"), 0);

    for (auto _ : state) {
        glBindTexture(GL_TEXTURE_2D, gl.source);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(hostRow / pixelBytes));
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_RGBA, type, input.data());
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, gl.framebuffer);
        glViewport(0, 0, kWidth, kHeight);
        glBegin(GL_QUADS);
        glTexCoord2i(0, 0), glVertex2i(-1, -1);
        glTexCoord2i(1, 0), glVertex2i(1, -1);
        glTexCoord2i(1, 1), glVertex2i(1, 1);
        glTexCoord2i(0, 1), glVertex2i(-1, 1);
        glEnd();
        glBindBuffer(GL_PIXEL_PACK_BUFFER, gl.pack);
        glBufferData(GL_PIXEL_PACK_BUFFER, GLsizeiptr(packedRow * kHeight), nullptr, GL_STREAM_READ);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, type, nullptr);
        const auto* pixels = static_cast<const uint8_t*>(glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY));
        if (pixels) {
            // Bottom row first, as the host wants it.
            for (uint32_t y = 0; y < kHeight; ++y)
                std::memcpy(output.data() + hostRow * (kHeight - 1 - y), pixels + packedRow * y, packedRow);
        }
        glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        benchmark::DoNotOptimize(output.data());
    }
    setFrames(state);
}
BENCHMARK(BM_BareGL)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
