// Clips in: one pass over the file (demux, decode, convert) runs on the
// reader's thread and hands timed pictures through a short queue; the
// caller keeps the picture shown now and the one after it.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "Av.h"
#include "Convert.h"
#include "media/Still.h"

namespace media {

namespace {

struct Timed {
    double seconds = 0;
    ImageLib::Picture image;
};

// Times that differ by less than this are the same time (rounding of
// different time bases).
constexpr double kSlack = 1e-6;

double toSeconds(int64_t t, AVRational base) { return double(t) * base.num / base.den; }

// The decoder for a stream: FFmpeg's own VP9 decoder ignores the alpha
// plane WebM stores beside the pictures, libvpx's decodes it.
const AVCodec* decoderFor(const AVStream* stream) {
    const AVDictionaryEntry* alpha = av_dict_get(stream->metadata, "alpha_mode", nullptr, 0);
    if (stream->codecpar->codec_id == AV_CODEC_ID_VP9 && alpha && std::string(alpha->value) == "1")
        if (const AVCodec* withAlpha = avcodec_find_decoder_by_name("libvpx-vp9")) return withAlpha;
    return avcodec_find_decoder(stream->codecpar->codec_id);
}

// Clockwise quarter turns that show the stream's pictures upright, from
// its display matrix (a phone's "rotate=90"); 0 without one, or for an
// angle that is no multiple of 90 degrees.
int quarterTurns(const AVStream* stream) {
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix) return 0;
    const double clockwise = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(clockwise) || std::abs(clockwise - 90 * std::round(clockwise / 90)) > 2) return 0;
    return int((std::lround(clockwise / 90) % 4 + 4) % 4);
}

// Copies the pixels of a w x h picture turned `quarters` clockwise.
template <class T>
void turnPixels(const T* from, T* to, uint32_t w, uint32_t h, int quarters) {
    const uint32_t turnedWidth = quarters % 2 ? h : w;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t tx = quarters == 1 ? h - 1 - y : quarters == 2 ? w - 1 - x : y;
            const uint32_t ty = quarters == 1 ? x : quarters == 2 ? h - 1 - y : w - 1 - x;
            std::copy_n(from + (size_t(y) * w + x) * 4, 4, to + (size_t(ty) * turnedWidth + tx) * 4);
        }
}

// Turns `image` `quarters` clockwise (1 to 3), through `spare`'s storage,
// which gets the old picture's.
void turn(ImageLib::Picture& image, int quarters, ImageLib::Picture& spare) {
    const uint32_t w = quarters % 2 ? image.height : image.width, h = quarters % 2 ? image.width : image.height;
    if (image.isEightBit()) {
        spare.shapeEightBit(w, h);
        turnPixels(image.rgba8.data(), spare.rgba8.data(), image.width, image.height, quarters);
    } else {
        spare.width = w;
        spare.height = h;
        spare.rgba8.clear();
        spare.rgba.resize(image.rgba.size());
        turnPixels(image.rgba.data(), spare.rgba.data(), image.width, image.height, quarters);
    }
    std::swap(image, spare);
}

// One pass over a clip's pictures from its start (or a time seeked to) to
// its end.
class Frames {
public:
    virtual ~Frames() = default;
    // Starts at the picture shown at `seconds` rather than at the first.
    virtual void seek(double seconds) = 0;
    // The next picture, or false at the end of the clip.
    virtual bool next(Timed& out) = 0;
    // Where the clip ends: the last picture's time plus one frame.
    virtual double endSeconds() const = 0;
};

// One pass over a numbered sequence of stills, read file by file through
// the still decoders, file i shown at i frames.
class StillPass : public Frames {
public:
    StillPass(std::vector<std::string> files, AVRational rate, bool eightBit)
        : files(std::move(files)), rate(rate), eightBit(eightBit) {}

    void seek(double seconds) override {
        // The latest file not after the time; the last one past the end.
        at = 0;
        while (at + 1 < files.size() && timeOf(at + 1) <= seconds + kSlack) ++at;
    }

    bool next(Timed& out) override {
        if (at == files.size()) return false;
        out.seconds = timeOf(at);
        out.image = readStill(files[at++], eightBit).image;
        return true;
    }

    double endSeconds() const override { return timeOf(files.size()); }

private:
    double timeOf(size_t i) const { return double(i) * rate.den / rate.num; }

    std::vector<std::string> files;
    AVRational rate;
    bool eightBit;
    size_t at = 0;
};

// One pass over a clip through FFmpeg's libraries.
class Pass : public Frames {
public:
    Pass(const std::string& path, AVRational sequenceRate, bool eightBit = false)
        : path(path), input(av::openInput(path, sequenceRate)), convert(eightBit) {
        index = av::videoStream(input.get(), path);
        stream = input->streams[index];
        const AVCodec* codec = decoderFor(stream);
        if (!codec) throw Error(path + ": unsupported video codec " + avcodec_get_name(stream->codecpar->codec_id));
        decoder.reset(avcodec_alloc_context3(codec));
        if (!decoder) throw std::bad_alloc();
        av::check(avcodec_parameters_to_context(decoder.get(), stream->codecpar), path, "cannot set up the decoder");
        decoder->thread_count = 0;  // as many as the decoder likes
        av::check(avcodec_open2(decoder.get(), codec, nullptr), path, "cannot open the decoder");
        rate = av_guess_frame_rate(input.get(), stream, nullptr);
        if (rate.num <= 0 || rate.den <= 0) rate = sequenceRate;
        start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        quarters = quarterTurns(stream);
    }

    AVFormatContext* format() const { return input.get(); }
    AVStream* videoStream() const { return stream; }
    AVRational frameRate() const { return rate; }
    // The rate whose frame grid picture times are put on (probeClip's choice).
    void useRate(AVRational chosen) { rate = chosen; }
    AVPixelFormat pixelFormat() const { return decoder->pix_fmt; }
    // Clockwise quarter turns the pictures are given upright with.
    int turns() const { return quarters; }

    // Seeks to the key frame before the time and skips converting what
    // precedes the picture shown then.
    void seek(double seconds) override {
        from = seconds;
        if (seconds <= 0) return;
        const int64_t ts = start + int64_t(seconds * stream->time_base.den / stream->time_base.num);
        // Where the container cannot seek, decoding from the start still works.
        if (av_seek_frame(input.get(), index, ts, AVSEEK_FLAG_BACKWARD) >= 0) avcodec_flush_buffers(decoder.get());
    }

    // A file that ends before the length its header gives is an error.
    bool next(Timed& out) override {
        if (pending) {
            pending = false;
            return emit(*frame, out);
        }
        while (receive()) {
            // Pictures before the starting one are kept unconverted until
            // the next one shows whether they are the one shown.
            if (timeOf(*frame) <= from + kSlack) {
                av_frame_unref(held.get());
                av_frame_move_ref(held.get(), frame.get());
                holding = true;
                continue;
            }
            if (!holding) return emit(*frame, out);
            holding = false;
            pending = true;
            return emit(*held, out);
        }
        if (holding) {
            holding = false;
            return emit(*held, out);
        }
        checkComplete();
        return false;
    }

    double endSeconds() const override { return end; }

private:
    // A picture's time on the clip's frame grid: containers round times
    // (Matroska and WebM to milliseconds, GIF to hundredths) and some clips
    // jitter, so that a picture stamped 0.067 s for 2/30 s would otherwise
    // count as after the frame at 2/30 s, and a frame would show the one
    // before it twice.
    double timeOf(const AVFrame& f) const {
        const int64_t t = f.best_effort_timestamp;
        if (t == AV_NOPTS_VALUE) return end;
        return double(std::llround(toSeconds(t - start, stream->time_base) * rate.num / rate.den)) * rate.den /
               rate.num;
    }

    // The converted picture; the frame is released.
    bool emit(AVFrame& f, Timed& out) {
        out.seconds = timeOf(f);
        convert.convert(
            f, decoder->colorspace != AVCOL_SPC_UNSPECIFIED ? decoder->colorspace : stream->codecpar->color_space,
            out.image, path);
        if (quarters) turn(out.image, quarters, turned);
        av_frame_unref(&f);
        end = out.seconds + double(rate.den) / rate.num;
        ++frames;
        return true;
    }

    // The next decoded frame into `frame`; false once the decoder is drained.
    bool receive() {
        while (true) {
            int status = avcodec_receive_frame(decoder.get(), frame.get());
            if (status == 0) return true;
            if (status == AVERROR_EOF) return false;
            if (status != AVERROR(EAGAIN)) av::check(status, path, "cannot decode a frame");
            feed();
        }
    }

    void feed() {
        if (drained) return;
        while (true) {
            int status = av_read_frame(input.get(), packet.get());
            if (status == AVERROR_EOF) {
                drained = true;
                av::check(avcodec_send_packet(decoder.get(), nullptr), path, "cannot drain the decoder");
                return;
            }
            av::check(status, path, "cannot read");
            if (packet->stream_index != index) {
                av_packet_unref(packet.get());
                continue;
            }
            status = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            av::check(status, path, "cannot decode");
            return;
        }
    }

    void checkComplete() const {
        if (input->pb && input->pb->error < 0) av::check(input->pb->error, path, "cannot read");
        double expected = stream->duration != AV_NOPTS_VALUE  ? toSeconds(stream->duration, stream->time_base)
                          : input->duration != AV_NOPTS_VALUE ? double(input->duration) / AV_TIME_BASE
                                                              : 0;
        const double frameTime = double(rate.den) / rate.num;
        if (frames == 0) throw Error(path + ": has no pictures");
        if (expected > 0 && end + 1.5 * frameTime < expected) {
            char span[80];
            std::snprintf(span, sizeof span, "pictures up to %.2f s of %.2f s", end, expected);
            throw Error(path + ": the file ends early (" + span + "): truncated or damaged");
        }
    }

    std::string path;
    av::Input input;
    av::Codec decoder;
    AVStream* stream = nullptr;
    int index = -1;
    AVRational rate{30, 1};
    int64_t start = 0;
    av::Frame frame = av::allocFrame();
    av::Frame held = av::allocFrame();      // the latest picture before `from`
    bool holding = false, pending = false;  // pending: `frame` waits behind `held`
    double from = -1;
    av::Packet packet = av::allocPacket();
    av::ToImage convert;
    int quarters = 0;
    ImageLib::Picture turned;  // storage the next picture is turned into
    bool drained = false;
    double end = 0;
    int64_t frames = 0;
};

// The usual rate nearest `average` frames a second when one is within
// `tolerance` of it (a fraction), else `otherwise`.
AVRational commonRate(double average, double tolerance, AVRational otherwise) {
    static const AVRational kCommon[] = {{24000, 1001}, {24, 1},       {25, 1}, {30000, 1001}, {30, 1}, {48, 1},
                                         {50, 1},       {60000, 1001}, {60, 1}, {12, 1},       {15, 1}, {10, 1}};
    AVRational best = otherwise;
    double closest = tolerance;
    for (AVRational r : kCommon) {
        const double off = std::abs(average / av_q2d(r) - 1);
        if (off <= closest) closest = off, best = r;
    }
    return best;
}

}  // namespace

struct VideoReader::Impl {
    std::string path;
    ReaderOptions options;
    ClipInfo info;
    av::Queue<Timed> queue{3};
    std::optional<Timed> current, next;
    bool ended = false;
    bool given = false;               // current's picture was moved out by takeFrameAt
    av::Spares spares;                // pictures the caller is done with, converted into again
    std::vector<std::string> stills;  // the files of a numbered still sequence, else none
    std::thread worker;

    // Moves `current` on to the picture shown at `seconds`.
    void advance(double seconds);

    AVRational sequenceRate() const { return {int(options.sequenceRateNum), int(options.sequenceRateDen)}; }

    // The reader's thread: pass after pass with --loop, each one's times
    // following on from the last.
    void produce() {
        try {
            // Whole passes before the start are skipped when looping.
            const double length = double(info.frameCount) * info.rateDen / info.rateNum;
            double offset = options.loop && options.start > 0 ? std::floor(options.start / length) * length : 0;
            bool first = true;
            while (true) {
                const AVRational rate{int(info.rateNum), int(info.rateDen)};
                std::unique_ptr<Frames> pass;
                if (stills.empty()) {
                    auto clip = std::make_unique<Pass>(path, sequenceRate(), options.eightBit);
                    clip->useRate(rate);
                    pass = std::move(clip);
                } else {
                    pass = std::make_unique<StillPass>(stills, rate, options.eightBit);
                }
                if (first) pass->seek(options.start - offset);
                first = false;
                Timed t;
                while (pass->next(t)) {
                    t.seconds += offset;
                    if (!queue.push(std::move(t))) return;
                    t = Timed{0, spares.take()};
                }
                if (!options.loop) break;
                offset += pass->endSeconds();
            }
            queue.close();
        } catch (...) {
            queue.fail(std::current_exception());
        }
    }
};

namespace {

// A numbered sequence of stills, read through the still decoders rather than
// FFmpeg's, so that a frame of it is the picture the same file gives alone.
bool isStillSequence(const std::string& path) { return isSequencePattern(path) && isStillName(path); }

// The files of a sequence pattern, with none missing between the first and
// the last.
std::vector<std::string> sequenceFiles(const std::string& pattern) {
    av::checkSequenceComplete(pattern);
    std::vector<std::string> files = sequenceFileNames(pattern);
    if (files.empty()) throw Error(pattern + ": no files match the frame pattern");
    return files;
}

// A still sequence described from its first file, at the rate it is given
// (the usual rate it stands for where within 0.01%: 2997/100 is 30000/1001).
ClipInfo probeStills(const std::string& path, const ReaderOptions& options) {
    const std::vector<std::string> files = sequenceFiles(path);
    const Still first = readStill(files.front(), false);
    ClipInfo i;
    i.width = first.image.width;
    i.height = first.image.height;
    i.bitsPerChannel = first.bits;
    i.frameCount = int64_t(files.size());
    AVRational rate;
    av_reduce(&rate.num, &rate.den, options.sequenceRateNum, options.sequenceRateDen, INT_MAX);
    rate = commonRate(av_q2d(rate), 1e-4, rate);
    i.rateNum = uint32_t(rate.num);
    i.rateDen = uint32_t(rate.den);
    return i;
}

}  // namespace

ClipInfo probeClip(const std::string& path, const ReaderOptions& options) {
    if (isStillSequence(path)) return probeStills(path, options);
    // The clip's description, and its frame count from the header or, where
    // the container gives none, from its packets.
    if (isSequencePattern(path)) av::checkSequenceComplete(path);
    Pass probe(path, {int(options.sequenceRateNum), int(options.sequenceRateDen)});
    AVStream* s = probe.videoStream();
    ClipInfo i;
    i.width = uint32_t(s->codecpar->width);
    i.height = uint32_t(s->codecpar->height);
    if (probe.turns() % 2) std::swap(i.width, i.height);
    const AVFieldOrder fields = s->codecpar->field_order;
    i.interlaced = fields != AV_FIELD_UNKNOWN && fields != AV_FIELD_PROGRESSIVE;
    // A rate stored as a duration (Matroska's nanoseconds) comes back as
    // 2997/100 for 30000/1001: the usual fraction it stands for is kept.
    const AVRational guessed = commonRate(av_q2d(probe.frameRate()), 1e-4, probe.frameRate());
    i.rateNum = uint32_t(guessed.num);
    i.rateDen = uint32_t(guessed.den);
    i.bitsPerChannel = av::formatBits(probe.pixelFormat());
    AVRational aspect = av_guess_sample_aspect_ratio(probe.format(), s, nullptr);
    if (aspect.num > 0 && aspect.den > 0) {
        av_reduce(&aspect.num, &aspect.den, aspect.num, aspect.den, INT_MAX);
        i.aspectNum = uint32_t(aspect.num);
        i.aspectDen = uint32_t(aspect.den);
    }
    i.hasAudio = av_find_best_stream(probe.format(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
    // The pictures shown, counted from the packets: the header's count
    // includes those an edit list leaves out, and some containers have none.
    int64_t first = INT64_MAX, last = INT64_MIN;
    av::Packet packet = av::allocPacket();
    int status;
    while ((status = av_read_frame(probe.format(), packet.get())) >= 0) {
        if (packet->stream_index == s->index && !(packet->flags & AV_PKT_FLAG_DISCARD)) {
            ++i.frameCount;
            if (packet->pts != AV_NOPTS_VALUE) first = std::min(first, packet->pts), last = std::max(last, packet->pts);
        }
        av_packet_unref(packet.get());
    }
    if (status != AVERROR_EOF) av::check(status, path, "cannot read");
    if (i.width == 0 || i.height == 0 || i.frameCount == 0) throw Error(path + ": has no pictures");
    // A clip whose pictures do not follow the rate the libraries guess
    // (one that changes rate, or jitters, makes them guess a fine common
    // grid such as 120 or 1000 a second) plays at its average rate instead,
    // so that it keeps its length.
    if (i.frameCount > 1 && last > first) {
        const double average = double(i.frameCount - 1) / toSeconds(last - first, s->time_base);
        if (std::abs(average * i.rateDen / i.rateNum - 1) > 0.01) {
            const AVRational rate = commonRate(average, 0.01, av_d2q(average, 100000));
            i.rateNum = uint32_t(rate.num);
            i.rateDen = uint32_t(rate.den);
        }
    }
    return i;
}

VideoReader::VideoReader(const std::string& path, const ReaderOptions& options)
    : VideoReader(path, options, probeClip(path, options)) {}

VideoReader::VideoReader(const std::string& path, const ReaderOptions& options, const ClipInfo& info)
    : impl(std::make_unique<Impl>()) {
    impl->path = path;
    impl->options = options;
    impl->info = info;
    if (isStillSequence(path)) impl->stills = sequenceFiles(path);
    impl->worker = std::thread([this] {
        av::backgroundThread("lumivex-read");
        impl->produce();
    });
}

VideoReader::~VideoReader() {
    impl->queue.cancel();
    impl->worker.join();
}

const ClipInfo& VideoReader::info() const { return impl->info; }

void VideoReader::Impl::advance(double seconds) {
    if (!current) {
        current = queue.pop();
        if (!current) throw Error(path + ": has no pictures");
    }
    while (true) {
        if (!next && !ended) {
            next = queue.pop();
            ended = !next;
        }
        if (!next || next->seconds > seconds + kSlack) break;
        spares.put(std::move(current->image));
        current = std::move(next);
        next.reset();
        given = false;
    }
}

const ImageLib::Picture& VideoReader::frameAt(double seconds) {
    impl->advance(seconds);
    return impl->current->image;
}

bool VideoReader::takeFrameAt(double seconds, ImageLib::Picture& image) {
    Impl& r = *impl;
    r.advance(seconds);
    if (r.given) return false;
    std::swap(image, r.current->image);
    r.spares.put(std::move(r.current->image));
    r.given = true;
    return true;
}

}  // namespace media
