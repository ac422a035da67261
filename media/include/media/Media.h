// Video files and numbered image sequences for the lumivex command, through
// FFmpeg's libraries (sequences of the formats media/Still.h reads go
// through its decoders, file by file): a reader that answers "which picture
// does the clip show at this time", and a writer that encodes rendered
// frames into one file.
//
// Pictures are ImageLib::Picture (float RGBA, 1.0 full, or 8-bit where the
// caller asks for it). Sources deeper than 8 bits are converted through 16
// bits per channel and float sources (EXR) are copied, so nothing is cut to
// 8 bits on the way in. Writers take either kind.
//
// Errors: every failure throws media::Error whose message names the file
// and gives the library's own text ("clip.mp4: cannot open: Invalid data
// found when processing input"). A file that ends early is an error, not a
// shorter clip. Errors met on a worker thread come out of the next call on
// the caller's thread.
// Threads: each reader decodes and each writer encodes on a thread of its
// own, at the lowest priority (with the library threads it starts), so that
// this work fills the time a render leaves idle rather than delaying it; the
// object itself must be used from one thread at a time.
// Ownership: readers and writers own every library object they use and
// release it when destroyed; a writer destroyed before finish() deletes
// what it wrote, so a failed render never leaves a file that looks whole.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ImageLib/Picture.h"
#include "media/Error.h"

namespace media {

// True for a frame-number pattern such as "plate.%04d.png".
bool isSequencePattern(const std::string& path);
// True for names the reader opens as clips: a sequence pattern, or .mp4,
// .mov, .mkv, .webm, .avi or .gif (an animated picture).
bool isClipName(const std::string& path);
// True for names the writer encodes: .mp4, .mov, .webm, .gif, .mkv.
bool isVideoOutputName(const std::string& path);
// The files on disk a frame-number pattern names (none when none match).
std::vector<std::string> sequenceFileNames(const std::string& pattern);

struct ClipInfo {
    uint32_t width = 0, height = 0;
    // Frames a second, as a fraction; for a clip whose pictures do not
    // follow one rate, their average (or the usual rate within 1% of it).
    uint32_t rateNum = 30, rateDen = 1;
    int64_t frameCount = 0;       // pictures shown (an edit list's cut ones left out)
    uint32_t bitsPerChannel = 8;  // of the source (32 for float)
    bool hasAudio = false;
    uint32_t aspectNum = 1, aspectDen = 1;  // pixel aspect (width over height of a pixel)
    bool interlaced = false;                // pictures of two fields, read as whole frames
};

struct ReaderOptions {
    // Frame rate given to a numbered sequence, which has none of its own.
    uint32_t sequenceRateNum = 30, sequenceRateDen = 1;
    bool loop = false;  // past the end the clip starts again, else the last frame holds
    // The first time frameAt will be asked for: decoding starts at the key
    // frame before it rather than at the clip's start.
    double start = 0;
    // 8-bit sources give 8-bit pictures (ImageLib::Picture::isEightBit), for a
    // caller that renders at 8 bits; deeper ones are not cut.
    bool eightBit = false;
};

// Opens the clip only to describe it.
ClipInfo probeClip(const std::string& path, const ReaderOptions& options = {});

class VideoReader {
public:
    VideoReader(const std::string& path, const ReaderOptions& options = {});
    // With the description probeClip gave for the same path and options.
    VideoReader(const std::string& path, const ReaderOptions& options, const ClipInfo& info);
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    const ClipInfo& info() const;
    // The picture shown at `seconds` from the clip's start: the frame whose
    // presentation time, put on the clip's frame grid (rounded to whole
    // frames at info().rateNum / rateDen), is the latest not after it (the
    // first frame before the clip starts); pictures come upright, by the
    // clip's display matrix. Times must not go back between calls.
    const ImageLib::Picture& frameAt(double seconds);
    // The same picture for a caller that keeps what it is given: when it is
    // not the one the last call gave, it is moved into `image` (whose own
    // storage goes back to the reader to convert into) and the call returns
    // true; else `image` is left alone and the call returns false. A reader
    // is used through frameAt or through takeFrameAt, not both.
    bool takeFrameAt(double seconds, ImageLib::Picture& image);

    struct Impl;

private:
    std::unique_ptr<Impl> impl;
};

// Dither kernels the GIF writer offers, by name ("none", "floyd-steinberg",
// "jarvis", "stucki", "atkinson", "burkes", "sierra", "sierra2",
// "sierra-lite", "stevenson-arce", and the ordered "ordered-2x2",
// "ordered-4x4", "ordered-8x8"): the image library's code, or 0 for an
// unknown name.
int gifDitherCode(const std::string& name);

// True for an H.264 preset name: ultrafast, superfast, veryfast, faster,
// fast, medium, slow, slower, veryslow, placebo.
bool isH264Preset(const std::string& name);

struct WriterOptions {
    uint32_t width = 0, height = 0;
    uint32_t rateNum = 30, rateDen = 1;
    uint32_t aspectNum = 1, aspectDen = 1;  // pixel aspect, tagged on the stream
    uint32_t depth = 8;                     // bits per channel rendered; 16 and 32 keep 16 bits where the codec can
    int crf = -1;                           // H.264 quality, 0..51; -1 the encoder's default
    // H.264 speed against size (isH264Preset). The encoder runs beside the
    // renderer on the same cores, so the default spends far less time than
    // the encoder's own ("medium") for a somewhat larger file at one crf.
    std::string preset = "veryfast";
    uint32_t gifColours = 256;  // adaptive palette size: 8, 16, 32, 64, 128 or 256
    int gifDither = 3;          // gifDitherCode
    // Sound copied into the output from this file, starting `audioStart`
    // seconds into it; empty for none. Where the output container cannot
    // hold its codec it is encoded again in the container's own (Opus for
    // .webm, AAC for .mp4 and .mov); a .gif gets none.
    std::string audioFrom;
    double audioStart = 0;
    // Where the pictures repeat (--loop), the length of one pass of the
    // source in seconds: its sound repeats with them. 0 for no repeat.
    double audioLoop = 0;
};

class VideoWriter {
public:
    // Writes to a temporary name beside `path` until finish().
    VideoWriter(const std::string& path, const WriterOptions& options);
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Queues the next frame (width x height) for the encoding thread, and
    // gives back a frame already encoded (empty when none is ready), whose
    // storage the caller may fill again.
    ImageLib::Picture write(ImageLib::Picture frame);
    // Drains the encoder, completes the file and gives it its name.
    void finish();
    // Whether the output gets sound, copied or encoded again (known once constructed).
    bool copiesAudio() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl;
};

}  // namespace media
