// Clips out: the encoder and muxer run on the writer's thread, fed through
// a short queue; the sound of the source clip, when copied, is interleaved
// packet by packet before the pictures it belongs with.
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "Av.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}
#include "Convert.h"
#include "Gif.h"

namespace media {

namespace {

namespace fs = std::filesystem;

std::string extensionOf(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

struct FreeSwr {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FreeFifo {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

// Sound the output container cannot hold as it is (AAC in WebM, PCM in
// MP4), decoded and encoded again in the container's own sound codec:
// Opus for WebM, AAC for MP4 and QuickTime.
class SoundEncoder {
public:
    SoundEncoder(const AVStream* in, AVCodecID to, AVFormatContext* output, const std::string& file)
        : from(in->time_base), file(file) {
        const AVCodec* decoding = avcodec_find_decoder(in->codecpar->codec_id);
        const AVCodec* encoding = avcodec_find_encoder(to);
        if (!decoding || !encoding)
            throw Error(file + ": cannot re-encode the sound (" + avcodec_get_name(in->codecpar->codec_id) + " to " +
                        avcodec_get_name(to) + "): this FFmpeg build lacks a codec; use --no-audio");
        decoder.reset(avcodec_alloc_context3(decoding));
        encoder.reset(avcodec_alloc_context3(encoding));
        if (!decoder || !encoder) throw std::bad_alloc();
        av::check(avcodec_parameters_to_context(decoder.get(), in->codecpar), file,
                  "cannot set up the sound's decoder");
        decoder->pkt_timebase = in->time_base;
        av::check(avcodec_open2(decoder.get(), decoding, nullptr), file, "cannot open the sound's decoder");
        AVCodecContext* e = encoder.get();
        e->sample_fmt = encoding->sample_fmts ? encoding->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        e->sample_rate = pickRate(encoding, decoder->sample_rate);
        av::check(av_channel_layout_copy(&e->ch_layout, &decoder->ch_layout), file,
                  "cannot set up the sound's encoder");
        // Encoders want a named layout: mono or stereo, by the channel count.
        if (e->ch_layout.nb_channels > 2 || e->ch_layout.order != AV_CHANNEL_ORDER_NATIVE)
            av_channel_layout_default(&e->ch_layout, std::min(std::max(e->ch_layout.nb_channels, 1), 2));
        e->bit_rate = 64000 * e->ch_layout.nb_channels;
        e->time_base = {1, e->sample_rate};
        if (output->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        av::check(avcodec_open2(e, encoding, nullptr), file, "cannot open the sound's encoder");
        SwrContext* raw = nullptr;
        av::check(swr_alloc_set_opts2(&raw, &e->ch_layout, e->sample_fmt, e->sample_rate, &decoder->ch_layout,
                                      decoder->sample_fmt, decoder->sample_rate, 0, nullptr),
                  file, "cannot convert the sound");
        resample.reset(raw);
        av::check(swr_init(raw), file, "cannot convert the sound");
        fifo.reset(av_audio_fifo_alloc(e->sample_fmt, e->ch_layout.nb_channels, 4096));
        if (!fifo) throw std::bad_alloc();
        out = avformat_new_stream(output, nullptr);
        if (!out) throw std::bad_alloc();
        out->time_base = e->time_base;
        av::check(avcodec_parameters_from_context(out->codecpar, e), file, "cannot describe the sound");
    }

    AVStream* stream() const { return out; }

    // Decodes one packet of the source's sound (timed in its time base)
    // and writes what is encoded of it in whole frames.
    void add(AVPacket* packet, AVFormatContext* output) {
        if (next == AV_NOPTS_VALUE) next = av_rescale_q(packet->pts, from, encoder->time_base);
        av::check(avcodec_send_packet(decoder.get(), packet), file, "cannot decode the sound");
        receive(output);
    }

    // Encodes the rest and drains the encoder.
    void finish(AVFormatContext* output) {
        if (next == AV_NOPTS_VALUE) return;
        av::check(avcodec_send_packet(decoder.get(), nullptr), file, "cannot decode the sound");
        receive(output);
        encodeFrames(output, true);
        encode(output, nullptr);
    }

private:
    static int pickRate(const AVCodec* codec, int wanted) {
        if (!codec->supported_samplerates) return wanted;
        int best = codec->supported_samplerates[0];
        for (const int* r = codec->supported_samplerates; *r; ++r)
            if (*r == wanted || (*r >= wanted && (best < wanted || *r < best))) best = *r;
        return best;
    }

    void receive(AVFormatContext* output) {
        while (avcodec_receive_frame(decoder.get(), decoded.get()) == 0) {
            const int room = swr_get_out_samples(resample.get(), decoded->nb_samples);
            converted->format = encoder->sample_fmt;
            converted->nb_samples = room;
            av::check(av_channel_layout_copy(&converted->ch_layout, &encoder->ch_layout), file,
                      "cannot convert the sound");
            av::check(av_frame_get_buffer(converted.get(), 0), file, "cannot convert the sound");
            const int n =
                av::check(swr_convert(resample.get(), converted->data, room,
                                      const_cast<const uint8_t**>(decoded->extended_data), decoded->nb_samples),
                          file, "cannot convert the sound");
            if (av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(converted->data), n) < n)
                throw std::bad_alloc();
            av_frame_unref(converted.get());
            av_frame_unref(decoded.get());
        }
        encodeFrames(output, false);
    }

    // Encodes whole frames from the queue of samples; with `all`, the last part one too.
    void encodeFrames(AVFormatContext* output, bool all) {
        const int size = encoder->frame_size > 0 ? encoder->frame_size : 1024;
        while (av_audio_fifo_size(fifo.get()) >= size || (all && av_audio_fifo_size(fifo.get()) > 0)) {
            av::Frame frame = av::allocFrame();
            frame->format = encoder->sample_fmt;
            frame->nb_samples = std::min(size, av_audio_fifo_size(fifo.get()));
            frame->sample_rate = encoder->sample_rate;
            av::check(av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout), file, "cannot encode the sound");
            av::check(av_frame_get_buffer(frame.get(), 0), file, "cannot encode the sound");
            av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(frame->data), frame->nb_samples);
            frame->pts = next;
            next += frame->nb_samples;
            encode(output, frame.get());
        }
    }

    void encode(AVFormatContext* output, AVFrame* frame) {
        av::check(avcodec_send_frame(encoder.get(), frame), file, "cannot encode the sound");
        while (avcodec_receive_packet(encoder.get(), packet.get()) == 0) {
            av_packet_rescale_ts(packet.get(), encoder->time_base, out->time_base);
            packet->stream_index = out->index;
            av::check(av_interleaved_write_frame(output, packet.get()), file, "cannot write sound");
        }
    }

    AVRational from;
    std::string file;
    av::Codec decoder, encoder;
    std::unique_ptr<SwrContext, FreeSwr> resample;
    std::unique_ptr<AVAudioFifo, FreeFifo> fifo;
    av::Frame decoded = av::allocFrame(), converted = av::allocFrame();
    av::Packet packet = av::allocPacket();
    AVStream* out = nullptr;
    int64_t next = AV_NOPTS_VALUE;  // time of the next sample, in the encoder's time base
};

// Sound packets copied from the source clip, retimed to the output's start;
// with a loop length, the source's sound over and over, each pass cut to
// that length so that it stays with the repeating pictures.
class AudioCopy {
public:
    // Leaves stream() null when the source has no sound, or the output
    // holds none (a GIF). Sound whose codec the output cannot hold is
    // encoded again in the output's own sound codec.
    AudioCopy(const std::string& source, double startSeconds, double loopSeconds, AVFormatContext* output,
              const std::string& file)
        : source(source), file(file) {
        input = av::openInput(source, {30, 1});
        index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (index < 0) return;
        AVStream* in = input->streams[index];
        if (avformat_query_codec(output->oformat, in->codecpar->codec_id, FF_COMPLIANCE_NORMAL) != 1) {
            if (output->oformat->audio_codec == AV_CODEC_ID_NONE) return;
            encoder = std::make_unique<SoundEncoder>(in, output->oformat->audio_codec, output, file);
            out = encoder->stream();
        } else {
            out = avformat_new_stream(output, nullptr);
            if (!out) throw std::bad_alloc();
            av::check(avcodec_parameters_copy(out->codecpar, in->codecpar), file, "cannot copy the sound's parameters");
            out->codecpar->codec_tag = 0;
            out->time_base = in->time_base;
        }
        // Time 0 is the start of the source's pictures, as for the reader,
        // so that sound that starts later keeps its place.
        const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const AVStream* origin =
            video >= 0 && input->streams[video]->start_time != AV_NOPTS_VALUE ? input->streams[video] : in;
        start = origin->start_time != AV_NOPTS_VALUE
                    ? av_rescale_q(origin->start_time, origin->time_base, in->time_base)
                    : 0;
        auto ticks = [in](double seconds) {
            return av_rescale_q(int64_t(seconds * AV_TIME_BASE), AV_TIME_BASE_Q, in->time_base);
        };
        if (loopSeconds > 0) {
            length = ticks(loopSeconds);
            startSeconds = std::fmod(startSeconds, loopSeconds);
        }
        offset = -ticks(startSeconds);
    }

    AVStream* stream() const { return out; }

    // Writes the sound packets that start before `seconds` of the output.
    void writeUntil(AVFormatContext* output, double seconds) {
        if (!out || done) return;
        AVStream* in = input->streams[index];
        while (true) {
            if (!pending && !readPacket()) return;
            if (double(pending->pts) * in->time_base.num / in->time_base.den >= seconds) return;
            if (encoder) {
                encoder->add(pending.get(), output);
                pending.reset();
                continue;
            }
            pending->stream_index = out->index;
            pending->pos = -1;
            av_packet_rescale_ts(pending.get(), in->time_base, out->time_base);
            av::check(av_interleaved_write_frame(output, pending.get()), file, "cannot write sound");
            pending.reset();
        }
    }

    // Writes what a re-encoding still holds.
    void finish(AVFormatContext* output) {
        if (encoder) encoder->finish(output);
    }

    // The codec the sound is encoded in again, or none when it is copied.
    const char* reencodedAs() const { return encoder ? avcodec_get_name(out->codecpar->codec_id) : nullptr; }

private:
    // The next packet of sound into `pending`, retimed; false at the end.
    bool readPacket() {
        pending = av::allocPacket();
        while (true) {
            int status = av_read_frame(input.get(), pending.get());
            if (status == AVERROR_EOF) {
                // Another pass, unless this one had nothing to give.
                if (length <= 0 || !passPackets) break;
                input = av::openInput(source, {30, 1});
                offset += length;
                passPackets = 0;
                continue;
            }
            av::check(status, source, "cannot read its sound");
            if (pending->stream_index != index || pending->pts == AV_NOPTS_VALUE) continue;
            const int64_t at = pending->pts - start;  // from the source's start
            // Sound before the pictures' start (an encoder's priming) is left
            // out of every pass, or a repeat would go back in time.
            if (at < 0 || (length > 0 && at >= length)) continue;
            ++passPackets;
            if (at + offset < 0) continue;
            const int64_t shift = pending->pts - (at + offset);
            pending->pts -= shift;
            if (pending->dts != AV_NOPTS_VALUE) pending->dts -= shift;
            return true;
        }
        pending.reset();
        done = true;
        return false;
    }

    std::string source, file;
    av::Input input;
    int index = -1;
    AVStream* out = nullptr;
    int64_t start = 0;   // the source's time 0, in its sound's time base
    int64_t offset = 0;  // added to the time from the source's start
    int64_t length = 0;  // of one pass when looping, else 0
    int64_t passPackets = 0;
    av::Packet pending;
    bool done = false;
    std::unique_ptr<SoundEncoder> encoder;
};

}  // namespace

bool isH264Preset(const std::string& name) {
    for (const char* p :
         {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower", "veryslow", "placebo"})
        if (name == p) return true;
    return false;
}

struct VideoWriter::Impl {
    std::string path, temp;
    WriterOptions options;
    bool gif = false;
    av::Output output;
    av::Codec encoder;
    AVStream* stream = nullptr;
    std::unique_ptr<av::FromImage> convert;
    std::unique_ptr<AudioCopy> audio;
    av::Frame frame = av::allocFrame();
    av::Packet packet = av::allocPacket();
    int64_t next = 0;  // pts of the next frame, in frames
    av::Queue<ImageLib::Picture> queue{3};
    av::Spares spares;  // encoded pictures, for the caller to render into again
    std::thread worker;
    std::mutex mutex;
    std::exception_ptr error;
    bool finished = false;
    std::atomic<bool> abandoned{false};

    void open();
    void encode(const ImageLib::Picture* image);
    double seconds(int64_t frames) const { return double(frames) * options.rateDen / options.rateNum; }

    void consume() {
        try {
            while (std::optional<ImageLib::Picture> image = queue.pop()) {
                encode(&*image);
                spares.put(std::move(*image));
            }
            if (abandoned) return;
            encode(nullptr);
            if (audio) {
                audio->writeUntil(output.get(), seconds(next));
                audio->finish(output.get());
            }
            av::check(av_write_trailer(output.get()), path, "cannot complete the file");
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex);
            error = std::current_exception();
            queue.cancel();
        }
    }

    void rethrow() {
        std::lock_guard<std::mutex> lock(mutex);
        if (error) std::rethrow_exception(error);
    }
};

void VideoWriter::Impl::open() {
    av::quiet();
    const std::string ext = extensionOf(path);
    AVFormatContext* raw = nullptr;
    av::check(avformat_alloc_output_context2(&raw, nullptr, nullptr, path.c_str()), path, "cannot choose a container");
    output.reset(raw);
    // Codec and pixel format by container: H.264 4:2:0 in .mp4, ProRes 4444
    // with alpha in .mov, VP9 with alpha in .webm, lossless FFV1 in .mkv,
    // palette pictures in .gif.
    const bool deep = options.depth > 8;
    const char* name = ext == ".mp4"    ? "libx264"
                       : ext == ".mov"  ? "prores_ks"
                       : ext == ".webm" ? "libvpx-vp9"
                       : ext == ".mkv"  ? "ffv1"
                                        : "gif";
    gif = ext == ".gif";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) throw Error(path + ": this FFmpeg build has no " + name + " encoder");
    AVPixelFormat format = ext == ".mp4"    ? AV_PIX_FMT_YUV420P
                           : ext == ".mov"  ? AV_PIX_FMT_YUVA444P10LE
                           : ext == ".webm" ? AV_PIX_FMT_YUVA420P
                           : gif            ? AV_PIX_FMT_PAL8
                                            : avcodec_find_best_pix_fmt_of_list(
                                                  codec->pix_fmts, deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA, 1, nullptr);

    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if ((options.width & ((1u << desc->log2_chroma_w) - 1)) || (options.height & ((1u << desc->log2_chroma_h) - 1)))
        throw Error(path + ": " + name + " with " + av_get_pix_fmt_name(format) +
                    " needs an even width and height, not " + std::to_string(options.width) + "x" +
                    std::to_string(options.height));
    encoder.reset(avcodec_alloc_context3(codec));
    if (!encoder) throw std::bad_alloc();
    encoder->width = int(options.width);
    encoder->height = int(options.height);
    encoder->pix_fmt = format;
    encoder->time_base = {int(options.rateDen), int(options.rateNum)};
    encoder->framerate = {int(options.rateNum), int(options.rateDen)};
    if (options.aspectNum != options.aspectDen)
        av_reduce(&encoder->sample_aspect_ratio.num, &encoder->sample_aspect_ratio.den, options.aspectNum,
                  options.aspectDen, INT_MAX);
    encoder->thread_count = 0;
    if (!(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL))) {
        encoder->colorspace = AVCOL_SPC_BT709;
        encoder->color_primaries = AVCOL_PRI_BT709;
        encoder->color_trc = AVCOL_TRC_BT709;
        encoder->color_range = AVCOL_RANGE_MPEG;
    }
    if (output->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* settings = nullptr;
    if (ext == ".mp4" && options.crf >= 0) av_dict_set_int(&settings, "crf", options.crf, 0);
    if (ext == ".mp4") {
        if (!isH264Preset(options.preset)) throw Error(path + ": unknown H.264 preset '" + options.preset + "'");
        av_dict_set(&settings, "preset", options.preset.c_str(), 0);
    }
    if (ext == ".mov") av_dict_set(&settings, "profile", "4444", 0);
    if (ext == ".mkv") av_dict_set(&settings, "level", "3", 0);
    int status = avcodec_open2(encoder.get(), codec, &settings);
    av_dict_free(&settings);
    av::check(status, path, "cannot open the encoder");

    stream = avformat_new_stream(output.get(), nullptr);
    if (!stream) throw std::bad_alloc();
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = encoder->framerate;
    stream->sample_aspect_ratio = encoder->sample_aspect_ratio;
    av::check(avcodec_parameters_from_context(stream->codecpar, encoder.get()), path, "cannot describe the stream");
    if (!options.audioFrom.empty()) {
        audio =
            std::make_unique<AudioCopy>(options.audioFrom, options.audioStart, options.audioLoop, output.get(), path);
        if (!audio->stream()) audio.reset();
    }

    av::check(avio_open(&output->pb, temp.c_str(), AVIO_FLAG_WRITE), path, ("cannot create " + temp).c_str());
    av::check(avformat_write_header(output.get(), nullptr), path, "cannot write the header");

    // Some encoders (ProRes) store the frame's colour tags, not the stream's.
    frame->colorspace = encoder->colorspace;
    frame->color_primaries = encoder->color_primaries;
    frame->color_trc = encoder->color_trc;
    frame->color_range = encoder->color_range;
    frame->format = format;
    frame->width = encoder->width;
    frame->height = encoder->height;
    if (gif) av::check(av_frame_get_buffer(frame.get(), 0), path, "cannot allocate a frame");
    else convert = std::make_unique<av::FromImage>(encoder->width, encoder->height, format, deep, path);
}

// Encodes one picture (null: drains the encoder) and writes what comes out.
void VideoWriter::Impl::encode(const ImageLib::Picture* image) {
    if (image) {
        if (image->width != options.width || image->height != options.height)
            throw Error(path + ": a frame of " + std::to_string(image->width) + "x" + std::to_string(image->height) +
                        " does not fit a clip of " + std::to_string(options.width) + "x" +
                        std::to_string(options.height));
        if (gif) av::toPalette(*image, options.gifColours, options.gifDither, *frame, path);
        else convert->convert(*image, *frame);
        frame->pts = next++;
    }
    av::check(avcodec_send_frame(encoder.get(), image ? frame.get() : nullptr), path, "cannot encode");
    while (true) {
        int status = avcodec_receive_packet(encoder.get(), packet.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
        av::check(status, path, "cannot encode");
        if (audio) audio->writeUntil(output.get(), seconds(packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts));
        av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        av::check(av_interleaved_write_frame(output.get(), packet.get()), path, "cannot write");
    }
}

VideoWriter::VideoWriter(const std::string& path, const WriterOptions& options) : impl(std::make_unique<Impl>()) {
    Impl& w = *impl;
    w.path = path;
    w.options = options;
    if (options.gifColours < 8 || options.gifColours > 256 || (options.gifColours & (options.gifColours - 1)))
        throw Error(path + ": a GIF palette has 8, 16, 32, 64, 128 or 256 colours, not " +
                    std::to_string(options.gifColours));
    fs::path p(path);
    w.temp = (p.parent_path() / ("." + p.filename().string() + ".part")).string();
    // The file and encoder are opened on the writer's thread, so that the
    // encoder's own threads start with its priority; errors come out here.
    std::promise<void> opened;
    std::future<void> ready = opened.get_future();
    w.worker = std::thread([this, &opened] {
        av::backgroundThread("lumivex-write");
        try {
            impl->open();
        } catch (...) {
            opened.set_exception(std::current_exception());
            return;
        }
        opened.set_value();
        impl->consume();
    });
    try {
        ready.get();
    } catch (...) {
        w.worker.join();
        w.output.reset();
        std::remove(w.temp.c_str());
        throw;
    }
}

VideoWriter::~VideoWriter() {
    if (impl->worker.joinable()) {
        impl->abandoned = true;
        impl->queue.cancel();
        impl->worker.join();
    }
    if (!impl->finished) {
        impl->output.reset();
        std::remove(impl->temp.c_str());
    }
}

bool VideoWriter::copiesAudio() const { return impl->audio != nullptr; }

ImageLib::Picture VideoWriter::write(ImageLib::Picture frame) {
    if (!impl->queue.push(std::move(frame))) impl->rethrow();
    return impl->spares.take();
}

void VideoWriter::finish() {
    Impl& w = *impl;
    w.queue.close();
    w.worker.join();
    w.rethrow();
    w.output.reset();  // closes the file
    std::error_code ec;
    fs::rename(w.temp, w.path, ec);
    if (ec) throw Error(w.path + ": cannot rename " + w.temp + " to it: " + ec.message());
    w.finished = true;
}

}  // namespace media
