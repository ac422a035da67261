// Clips made for the tests straight through FFmpeg's libraries, with the
// properties real files have and the media writer never makes: timestamps
// a container rounds, uneven frame times, a display matrix, a pixel aspect,
// pictures before an edit point, encoded sound. Picture k is grey at
// level(k) with a white 8x8 block in its top left corner, so a reader's
// picture tells which one it is and which way up.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ImageLib/Picture.h"

namespace clipmaker {

struct Plan {
    int width = 64, height = 36;
    std::vector<int64_t> pts;  // of each picture, in timeBase
    AVRational timeBase{1, 30};
    const char* videoCodec = "libx264";  // lossless: qp 0
    int gop = 10;
    AVRational sar{0, 1};
    double rotate = 0;                 // display matrix: turn clockwise by this to show ("rotate=90")
    const char* audioCodec = nullptr;  // "aac", "libopus"
    double audioSeconds = 0;
    bool interlaced = false;
};

// Pictures at 0, 1, ... frames of 1/rate.
inline std::vector<int64_t> evenTimes(int count) {
    std::vector<int64_t> pts;
    for (int k = 0; k < count; ++k) pts.push_back(k);
    return pts;
}

inline int level(int k) { return 20 + 3 * k; }

// Which picture a decoded RGB value (0..1) of the grey came from.
inline int pictureOf(float value) { return int(std::lround((value * 219 + 16 - 20) / 3)); }
inline int pictureOf(const ImageLib::Picture& image) {
    return pictureOf(image.pixel(image.width / 2, image.height / 2)[0]);
}

namespace detail {

struct Encoder {
    AVCodecContext* context = nullptr;
    AVStream* stream = nullptr;
    ~Encoder() { avcodec_free_context(&context); }
};

// Sends a frame (null drains) and writes what comes out.
inline void pump(AVFormatContext* mux, Encoder& e, AVFrame* frame) {
    ASSERT_GE(avcodec_send_frame(e.context, frame), 0);
    AVPacket* p = av_packet_alloc();
    while (avcodec_receive_packet(e.context, p) == 0) {
        av_packet_rescale_ts(p, e.context->time_base, e.stream->time_base);
        p->stream_index = e.stream->index;
        ASSERT_GE(av_interleaved_write_frame(mux, p), 0);
    }
    av_packet_free(&p);
}

}  // namespace detail

inline void make(const std::string& path, const Plan& plan) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* mux = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&mux, nullptr, nullptr, path.c_str()), 0) << path;
    detail::Encoder video, audio;
    const AVCodec* vc = avcodec_find_encoder_by_name(plan.videoCodec);
    ASSERT_TRUE(vc) << plan.videoCodec;
    video.context = avcodec_alloc_context3(vc);
    AVCodecContext* v = video.context;
    v->width = plan.width;
    v->height = plan.height;
    v->pix_fmt = AV_PIX_FMT_YUV420P;
    v->time_base = plan.timeBase;
    v->gop_size = plan.gop;
    v->max_b_frames = 0;
    v->sample_aspect_ratio = plan.sar;
    v->field_order = plan.interlaced ? AV_FIELD_TT : AV_FIELD_PROGRESSIVE;
    if (plan.interlaced) v->flags |= AV_CODEC_FLAG_INTERLACED_DCT;
    if (mux->oformat->flags & AVFMT_GLOBALHEADER) v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* settings = nullptr;
    if (std::string(plan.videoCodec) == "libx264") {
        av_dict_set(&settings, "qp", "0", 0);
        av_dict_set(&settings, "preset", "ultrafast", 0);
        if (plan.interlaced) av_dict_set(&settings, "x264-params", "interlaced=1", 0);
    }
    ASSERT_GE(avcodec_open2(v, vc, &settings), 0);
    av_dict_free(&settings);
    video.stream = avformat_new_stream(mux, nullptr);
    video.stream->time_base = plan.timeBase;
    video.stream->sample_aspect_ratio = plan.sar;
    avcodec_parameters_from_context(video.stream->codecpar, v);
    if (plan.rotate != 0) {
        uint8_t* matrix = av_stream_new_side_data(video.stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t));
        // av_display_rotation_get gives back the negated angle: a clip
        // tagged rotate=90 reads as -90 there.
        av_display_rotation_set(reinterpret_cast<int32_t*>(matrix), plan.rotate);
    }
    if (plan.audioCodec) {
        const AVCodec* ac = avcodec_find_encoder_by_name(plan.audioCodec);
        ASSERT_TRUE(ac) << plan.audioCodec;
        audio.context = avcodec_alloc_context3(ac);
        AVCodecContext* a = audio.context;
        a->sample_rate = 48000;
        a->sample_fmt = ac->sample_fmts[0];
        av_channel_layout_default(&a->ch_layout, 1);
        a->time_base = {1, 48000};
        a->bit_rate = 64000;
        if (mux->oformat->flags & AVFMT_GLOBALHEADER) a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ASSERT_GE(avcodec_open2(a, ac, nullptr), 0);
        audio.stream = avformat_new_stream(mux, nullptr);
        audio.stream->time_base = a->time_base;
        avcodec_parameters_from_context(audio.stream->codecpar, a);
    }
    ASSERT_GE(avio_open(&mux->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(avformat_write_header(mux, nullptr), 0);

    AVFrame* f = av_frame_alloc();
    f->format = v->pix_fmt;
    f->width = v->width;
    f->height = v->height;
    av_frame_get_buffer(f, 0);
    for (size_t k = 0; k < plan.pts.size(); ++k) {
        av_frame_make_writable(f);
        for (int y = 0; y < plan.height; ++y)
            for (int x = 0; x < plan.width; ++x)
                f->data[0][y * f->linesize[0] + x] = uint8_t(x < 8 && y < 8 ? 235 : level(int(k)));
        for (int plane = 1; plane < 3; ++plane)
            for (int y = 0; y < plan.height / 2; ++y)
                std::fill_n(f->data[plane] + y * f->linesize[plane], plan.width / 2, 128);
        f->pts = plan.pts[k];
        f->sample_aspect_ratio = plan.sar;
        detail::pump(mux, video, f);
    }
    detail::pump(mux, video, nullptr);
    av_frame_free(&f);

    if (audio.context) {
        AVCodecContext* a = audio.context;
        AVFrame* s = av_frame_alloc();
        const int64_t total = int64_t(plan.audioSeconds * a->sample_rate);
        for (int64_t at = 0; at < total; at += a->frame_size) {
            s->format = a->sample_fmt;
            s->nb_samples = int(std::min<int64_t>(a->frame_size, total - at));
            av_channel_layout_copy(&s->ch_layout, &a->ch_layout);
            s->sample_rate = a->sample_rate;
            ASSERT_GE(av_frame_get_buffer(s, 0), 0);
            for (int i = 0; i < s->nb_samples; ++i) {
                const double value = 0.3 * std::sin((at + i) * 2 * M_PI * 440 / a->sample_rate);
                if (a->sample_fmt == AV_SAMPLE_FMT_S16)
                    reinterpret_cast<int16_t*>(s->data[0])[i] = int16_t(value * 32767);
                else reinterpret_cast<float*>(s->data[0])[i] = float(value);
            }
            s->pts = at;
            detail::pump(mux, audio, s);
            av_frame_unref(s);
        }
        detail::pump(mux, audio, nullptr);
        av_frame_free(&s);
    }
    ASSERT_GE(av_write_trailer(mux), 0);
    avio_closep(&mux->pb);
    avformat_free_context(mux);
}

}  // namespace clipmaker
