// The work of `lumivex render`: a chain of effect instances driven through
// the stand-in host frame by frame, fed from a still, a test card, a clip
// or a numbered sequence, written as image files or one encoded clip.
// Decoding and encoding run on their own threads (media/); every module
// call is made from the calling thread, one at a time, as from a host.
// Errors as render/Error.h says: UsageError for values the command line got
// wrong, naming the file, option or parameter.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hostsim/Host.h"
#include "media/Media.h"
#include "render/Session.h"

namespace render {

// One effect of the chain and the --param texts given after it.
struct EffectStep {
    ModuleChoice choice;
    std::vector<std::string> params;
};

struct RenderJob {
    hostsim::HostConfig config;  // depth, host kind, downsample, pixel aspect
    bool parGiven = false;       // else an input clip's pixel aspect is the host's
    std::vector<EffectStep> chain;
    std::string input;  // absolute; empty: a test card of width x height
    uint32_t width = 1280, height = 720;
    std::string output;   // absolute; image name (numbered) or clip name; empty: render.png
                          // or render.%04d.png in baseDir
    std::string baseDir;  // absolute; where --param file names are relative to
    double time = 0;      // seconds of the job's frame 0
    double fps = 30;      // used when fpsGiven or the input is no clip
    bool fpsGiven = false;
    uint32_t frames = 1;  // used when framesGiven or the input is no clip
    bool framesGiven = false;
    uint32_t firstFrame = 0;        // the slice starts at this frame of the job
    bool loop = false;              // clips repeat rather than hold their last frame
    bool audio = true;              // copy the input clip's sound when possible
    media::WriterOptions encoding;  // crf and GIF settings
};

// Thrown when SIGINT or SIGTERM stopped the job between two frames; the
// partial output clip is gone by the time it is caught, and the file that
// was at the output path before stays.
class Interrupted : public hostsim::Error {
public:
    Interrupted(int signal, const std::string& message) : hostsim::Error(message), signal(signal) {}
    int signal;
};

// What a job tells its caller while it runs; each may be left empty.
struct RenderEvents {
    std::function<void(uint32_t frames)> started;                   // before the first frame
    std::function<void(uint32_t done, uint32_t frames)> frameDone;  // after each frame is written
    std::function<void(const std::string& text)> note;              // something about the input worth knowing
};

// Runs the job. Returns the error text an effect reported in a frame it
// drew (the frames are written all the same), or empty when every frame
// was drawn normally.
std::string runRenderJob(RenderJob job, const RenderEvents& events = {});
// The process-wide allocator settings a job makes (see RenderJob.cpp):
// frame-sized pictures stay in the heap between frames.
void keepFramesInTheHeap();

}  // namespace render
