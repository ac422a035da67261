// The clip reader and writer. Reference pictures are written with the
// still writer (libpng, not FFmpeg), so the reader is checked
// against files it did not make; the writer is then checked through it.
#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

#include "media/Media.h"
#include "media/Still.h"
#include "tests/media/MediaTest.h"

namespace fs = std::filesystem;

namespace {

std::string folder() { return mediatest::folder("media"); }

// Picture k: every value a whole number of 255ths, different per frame.
ImageLib::Picture card(uint32_t k, uint32_t w = 6, uint32_t h = 4) {
    ImageLib::Picture image(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            float* p = image.pixel(x, y);
            p[0] = (k * 40 + x) / 255.0f;
            p[1] = (200 - k * 30 + y) / 255.0f;
            p[2] = 7 / 255.0f;
            p[3] = (255 - k) / 255.0f;
        }
    return image;
}

void expectImage(const ImageLib::Picture& got, const ImageLib::Picture& want, float tolerance,
                 const std::string& what) {
    ASSERT_EQ(got.width, want.width) << what;
    ASSERT_EQ(got.height, want.height) << what;
    for (size_t i = 0; i < got.rgba.size(); ++i)
        ASSERT_NEAR(got.rgba[i], want.rgba[i], tolerance) << what << " value " << i;
}

using mediatest::errorOf;

}  // namespace

TEST(Media, SequenceFramesFollowPresentationTime) {
    const std::string d = folder();
    for (uint32_t k = 0; k < 5; ++k) media::writeImage(d + "s." + std::to_string(107 + k) + ".png", card(k), 8);
    media::ReaderOptions rate10;
    rate10.sequenceRateNum = 10;
    media::VideoReader reader(d + "s.%d.png", rate10);
    EXPECT_EQ(reader.info().frameCount, 5);
    EXPECT_EQ(reader.info().width, 6u);
    EXPECT_EQ(reader.info().bitsPerChannel, 8u);
    // The latest frame not after the time; the last one holds.
    const std::pair<double, uint32_t> shown[] = {{0, 0}, {0.099, 0}, {0.1, 1}, {0.25, 2}, {0.4, 4}, {3.0, 4}};
    for (auto [t, k] : shown) expectImage(reader.frameAt(t), card(k), 0, "at " + std::to_string(t));

    rate10.loop = true;
    media::VideoReader looped(d + "s.%d.png", rate10);
    for (auto [t, k] : std::vector<std::pair<double, uint32_t>>{{0.45, 4}, {0.5, 0}, {0.79, 2}, {1.0, 0}, {1.61, 1}})
        expectImage(looped.frameAt(t), card(k), 0, "looped at " + std::to_string(t));

    // Starting later (a slice of a job) skips ahead, looped or not.
    for (double start : {0.3, 0.35, 1.72}) {
        rate10.start = start;
        rate10.loop = start > 1;
        media::VideoReader later(d + "s.%d.png", rate10);
        const uint32_t k = uint32_t(std::lround(start * 100)) % 50 / 10;
        expectImage(later.frameAt(start), card(k), 0, "from " + std::to_string(start));
        expectImage(later.frameAt(start + 0.1), card((k + 1) % 5), 0, "after " + std::to_string(start));
    }
}

TEST(Media, TakenPicturesStayTheCallersAndRepeatsAreNotTakenAgain) {
    const std::string d = folder();
    for (uint32_t k = 0; k < 5; ++k) media::writeImage(d + "s." + std::to_string(k) + ".png", card(k), 8);
    media::ReaderOptions options;
    options.sequenceRateNum = 10;
    options.loop = true;
    media::VideoReader reader(d + "s.%d.png", options);
    // Each picture is asked for twice; the storage handed in goes back to the
    // reader, except every other picture, which the caller keeps to the end.
    ImageLib::Picture slot;
    std::vector<std::pair<uint32_t, ImageLib::Picture>> kept;
    for (int i = 0; i < 40; ++i) {
        const uint32_t k = uint32_t(i / 2) % 5;
        const std::string what = "step " + std::to_string(i);
        if (i % 2 == 1) {
            EXPECT_FALSE(reader.takeFrameAt(i * 0.05, slot)) << what;
            if (!slot.rgba.empty()) expectImage(slot, card(k), 0, what);
            continue;
        }
        ASSERT_TRUE(reader.takeFrameAt(i * 0.05, slot)) << what;
        expectImage(slot, card(k), 0, what);
        if (i % 4 == 0) kept.emplace_back(k, std::exchange(slot, {}));
    }
    for (const auto& [k, image] : kept) expectImage(image, card(k), 0, "kept picture " + std::to_string(k));
}

TEST(Media, DeepSourcesAndLosslessClipsKeepTheirValues) {
    const std::string d = folder();
    // 16-bit pictures: values 8 bits cannot hold come through.
    ImageLib::Picture deep(4, 2);
    for (size_t i = 0; i < deep.rgba.size(); ++i) deep.rgba[i] = float(1000 + 97 * i) / 65535;
    media::writeImage(d + "d.0.png", deep, 16);
    media::VideoReader deepReader(d + "d.%d.png");
    EXPECT_EQ(deepReader.info().bitsPerChannel, 16u);
    expectImage(deepReader.frameAt(0), deep, 0.51f / 65535, "16-bit sequence");

    // Float pictures come through as they are, above 1 too.
    ImageLib::Picture bright(3, 2);
    for (size_t i = 0; i < bright.rgba.size(); ++i) bright.rgba[i] = 0.1f + 0.4f * float(i);
    media::writeImage(d + "f.0.exr", bright, 32);
    media::VideoReader floatReader(d + "f.%d.exr");
    EXPECT_EQ(floatReader.info().bitsPerChannel, 32u);
    expectImage(floatReader.frameAt(0), bright, 1e-6f, "float sequence");

    // FFV1 round trip, 8 and 16 bits, alpha included.
    for (uint32_t depth : {8u, 16u}) {
        const std::string clip = d + "c" + std::to_string(depth) + ".mkv";
        media::WriterOptions w;
        w.width = 6;
        w.height = 4;
        w.rateNum = 25;
        w.depth = depth;
        media::VideoWriter writer(clip, w);
        ImageLib::Picture deepFrame = deep;
        deepFrame.width = 6;
        deepFrame.height = 4;
        deepFrame.rgba.resize(6 * 4 * 4, 0.25f);
        for (uint32_t k = 0; k < 3; ++k) writer.write(depth == 8 ? card(k) : deepFrame);
        writer.finish();
        media::VideoReader reader(clip);
        EXPECT_EQ(reader.info().frameCount, 3);
        EXPECT_EQ(reader.info().rateNum, 25u);
        EXPECT_EQ(reader.info().rateDen, 1u);
        for (uint32_t k = 0; k < 3; ++k) {
            const ImageLib::Picture& got = reader.frameAt(k / 25.0);
            if (depth == 8) {
                expectImage(got, card(k), 0, clip + " frame " + std::to_string(k));
            } else {
                EXPECT_NEAR(got.rgba[5], deep.rgba[5], 0.51f / 65535) << clip;
                EXPECT_NEAR(got.rgba.back(), 0.25f, 0.51f / 65535) << clip;
            }
        }
    }
}

TEST(Media, EightBitPicturesCarryTheValuesFloatOnesDo) {
    const std::string d = folder();
    // A lossy 4:2:0 clip written from float pictures and again from the
    // same values as 8-bit ones: the encoder sees the same frames, so the
    // files are the same bytes.
    // Odd frames go in with storage that ends at the last pixel, as a
    // caller may build it: the writer must not let the conversion read past.
    auto encode = [&](const std::string& name, bool eightBit, uint32_t width = 16, uint32_t height = 8) {
        media::WriterOptions w;
        w.width = width;
        w.height = height;
        media::VideoWriter writer(d + name, w);
        for (uint32_t k = 0; k < 3; ++k) {
            ImageLib::Picture frame = card(k, width, height);
            if (eightBit) {
                ImageLib::Picture bytes = ImageLib::Picture::eightBit(width, height);
                for (size_t i = 0; i < frame.rgba.size(); ++i)
                    bytes.rgba8[i] = uint8_t(std::lround(frame.rgba[i] * 255));
                if (k % 2) bytes.rgba8.resize(bytes.pixelBytes());
                frame = std::move(bytes);
            }
            writer.write(std::move(frame));
        }
        writer.finish();
        std::ifstream in(d + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string fromFloats = encode("f.mp4", false);
    ASSERT_FALSE(fromFloats.empty());
    EXPECT_TRUE(encode("b.mp4", true) == fromFloats);
    // An odd width, 4:4:4 with alpha: the same.
    EXPECT_TRUE(encode("b.mov", true, 7, 5) == encode("f.mov", false, 7, 5));

    // Read back both ways: each byte is the float value in 255ths.
    media::ReaderOptions bytes;
    bytes.eightBit = true;
    media::VideoReader floats(d + "f.mp4"), eight(d + "f.mp4", bytes);
    for (uint32_t k = 0; k < 3; ++k) {
        const ImageLib::Picture &f = floats.frameAt(k / 30.0), &b = eight.frameAt(k / 30.0);
        ASSERT_TRUE(b.isEightBit() && b.rgba.empty());
        ASSERT_EQ(b.width, 16u);
        for (size_t i = 0; i < f.rgba.size(); ++i) ASSERT_EQ(b.rgba8[i], std::lround(f.rgba[i] * 255)) << "value " << i;
    }

    // A 16-bit source is not cut to 8 bits for an 8-bit caller.
    ImageLib::Picture deep(2, 2);
    for (size_t i = 0; i < deep.rgba.size(); ++i) deep.rgba[i] = float(1000 + 97 * i) / 65535;
    media::writeImage(d + "d.0.png", deep, 16);
    media::VideoReader deepReader(d + "d.%d.png", bytes);
    EXPECT_FALSE(deepReader.frameAt(0).isEightBit());
    expectImage(deepReader.frameAt(0), deep, 0.51f / 65535, "16-bit sequence read for an 8-bit caller");
}

TEST(Media, EncodedClipsKeepCountSizeAndColour) {
    const std::string d = folder();
    ImageLib::Picture flat(32, 16);
    for (size_t i = 0; i < flat.rgba.size(); i += 4)
        flat.rgba[i] = 0.2f, flat.rgba[i + 1] = 0.5f, flat.rgba[i + 2] = 0.8f, flat.rgba[i + 3] = 0.5f;
    for (const char* ext : {".mp4", ".mov", ".webm", ".gif"}) {
        const std::string clip = d + "flat" + ext;
        media::WriterOptions w;
        w.width = 32;
        w.height = 16;
        w.depth = 16;
        media::VideoWriter writer(clip, w);
        for (int k = 0; k < 3; ++k) writer.write(flat);
        writer.finish();
        media::VideoReader reader(clip);
        EXPECT_EQ(reader.info().frameCount, 3) << ext;
        EXPECT_EQ(reader.info().width, 32u) << ext;
        const float* p = reader.frameAt(2 / 30.0).pixel(5, 5);
        EXPECT_NEAR(p[0], 0.2f, 4 / 255.0f) << ext;
        EXPECT_NEAR(p[1], 0.5f, 4 / 255.0f) << ext;
        EXPECT_NEAR(p[2], 0.8f, 4 / 255.0f) << ext;
        if (std::string(ext) == ".mov") {
            EXPECT_NEAR(p[3], 0.5f, 2 / 255.0f) << "ProRes 4444 keeps alpha";
        }
    }
    // The GIF palette has the size asked for.
    ImageLib::Picture ramp(64, 4);
    for (uint32_t x = 0; x < 64; ++x)
        for (uint32_t y = 0; y < 4; ++y)
            std::copy_n(std::initializer_list<float>{x / 63.0f, 1 - x / 63.0f, 0.5f, 1}.begin(), 4, ramp.pixel(x, y));
    media::WriterOptions w;
    w.width = 64;
    w.height = 4;
    w.gifColours = 8;
    w.gifDither = media::gifDitherCode("atkinson");
    media::VideoWriter writer(d + "ramp.gif", w);
    writer.write(ramp);
    writer.finish();
    media::VideoReader reader(d + "ramp.gif");
    std::set<std::vector<float>> colours;
    const ImageLib::Picture& got = reader.frameAt(0);
    for (size_t i = 0; i < got.rgba.size(); i += 4) colours.insert({got.rgba[i], got.rgba[i + 1], got.rgba[i + 2]});
    EXPECT_LE(colours.size(), 8u);
    EXPECT_GE(colours.size(), 4u);

    // An ordered dither of a grey ramp into 8 colours: each 4x4 block
    // averages closer to the ramp than plain nearest colours do, without
    // brightening or darkening the picture as a whole.
    ImageLib::Picture grey(64, 8);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 64; ++x) std::fill_n(grey.pixel(x, y), 3, x / 63.0f), grey.pixel(x, y)[3] = 1;
    w.height = 8;
    auto blockError = [&](const char* dither, double& mean) {
        w.gifDither = media::gifDitherCode(dither);
        media::VideoWriter out(d + dither + std::string(".gif"), w);
        out.write(grey);
        out.finish();
        const ImageLib::Picture back = media::VideoReader(d + dither + std::string(".gif")).frameAt(0);
        double error = 0, sum = 0, want = 0;
        for (uint32_t bx = 0; bx < 64; bx += 4) {
            double block = 0;
            for (uint32_t y = 0; y < 4; ++y)
                for (uint32_t x = bx; x < bx + 4; ++x) block += back.pixel(x, y)[0], sum += back.pixel(x, y)[0];
            error += std::abs(block / 16 - (bx + 1.5) / 63);
            want += 16 * (bx + 1.5) / 63;
        }
        mean = (sum - want) / (64 * 4);
        return error / 16;
    };
    double noneMean, orderedMean;
    const double plain = blockError("none", noneMean), ordered = blockError("ordered-4x4", orderedMean);
    EXPECT_LT(ordered, plain * 0.75) << "block error " << ordered << " against " << plain;
    EXPECT_NEAR(orderedMean, 0, 0.03);
}

// Stills in memory are the bytes of the files, and decode to the pictures
// written: 8 and 16-bit PNG to their steps, EXR exactly (values above 1 kept).
TEST(Media, StillsInMemoryAndInFilesAreTheSame) {
    const std::string d = folder();
    ImageLib::Picture picture = card(3, 9, 5);
    picture.pixel(8, 4)[0] = 2.5f;
    for (const auto& [name, depth, tolerance] : {std::tuple<std::string, uint32_t, float>{"a.png", 8, 0.5f / 255},
                                                 {"a.png", 16, 0.5f / 65535},
                                                 {"a.exr", 32, 0.0f}}) {
        const std::vector<uint8_t> bytes = media::encodeImage(name, picture, depth);
        media::writeImage(d + name, picture, depth);
        std::ifstream in(d + name, std::ios::binary);
        EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), bytes) << name << " " << depth;
        ImageLib::Picture want = picture;
        if (depth != 32) want.pixel(8, 4)[0] = 1.0f;
        expectImage(media::decodeImage(bytes, name), want, tolerance, name);
        expectImage(media::readImage(d + name), want, tolerance, name);
    }
    // The same bytes as OpenEXR's own file writer, line offset table included.
    {
        Imf::Header header(9, 5);
        for (const char* channel : {"R", "G", "B", "A"}) header.channels().insert(channel, Imf::Channel(Imf::FLOAT));
        Imf::OutputFile file((d + "direct.exr").c_str(), header);
        Imf::FrameBuffer frame;
        char* base = reinterpret_cast<char*>(picture.rgba.data());
        for (int c = 0; c < 4; ++c)
            frame.insert(std::string(1, "RGBA"[c]), Imf::Slice(Imf::FLOAT, base + c * 4, 16, 9 * 16));
        file.setFrameBuffer(frame);
        file.writePixels(5);
    }
    std::ifstream direct(d + "direct.exr", std::ios::binary);
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(direct), {}),
              media::encodeImage("b.exr", picture, 32));
    std::vector<uint8_t> exr = media::encodeImage("b.exr", picture, 32);
    exr.resize(exr.size() - 40);
    EXPECT_EQ(errorOf([&] { media::decodeImage(exr, "b.exr"); }).rfind("cannot read image b.exr: ", 0), 0u);
    EXPECT_EQ(errorOf([&] { media::encodeImage("b.tif", picture, 8); }),
              "cannot write b.tif: unknown image type (use .png or .exr)");
}

TEST(Media, UnreadableAndTruncatedFilesNameTheFile) {
    const std::string d = folder();
    EXPECT_EQ(errorOf([&] { media::VideoReader r(d + "missing.mp4"); }), d + "missing.mp4: no such file");
    EXPECT_EQ(errorOf([&] { media::VideoReader r(d + "none.%04d.png"); }),
              d + "none.%04d.png: no files match the frame pattern");
    std::ofstream(d + "junk.mp4") << "this is not a video";
    EXPECT_EQ(errorOf([&] { media::VideoReader r(d + "junk.mp4"); }).rfind(d + "junk.mp4: cannot open: ", 0), 0u);
    // A numbered sequence with a file missing does not end quietly there.
    for (uint32_t k : {1, 2, 3, 5, 6}) media::writeImage(d + "gap." + std::to_string(k) + ".png", card(k), 8);
    EXPECT_EQ(errorOf([&] { media::VideoReader r(d + "gap.%d.png"); }),
              d + "gap.%d.png: " + d + "gap.4.png is missing; the sequence goes on to " + d + "gap.6.png");

    media::WriterOptions w;
    w.width = 64;
    w.height = 64;
    {
        media::VideoWriter writer(d + "whole.mkv", w);
        ImageLib::Picture noise(64, 64);
        for (uint32_t k = 0; k < 30; ++k) {
            for (size_t i = 0; i < noise.rgba.size(); ++i)
                noise.rgba[i] = float((i * 2654435761u + k * 97) % 251) / 250;
            writer.write(noise);
        }
        writer.finish();
    }
    std::string bytes((std::istreambuf_iterator<char>(std::ifstream(d + "whole.mkv", std::ios::binary).rdbuf())), {});
    std::ofstream(d + "cut.mkv", std::ios::binary) << bytes.substr(0, bytes.size() * 6 / 10);
    std::string error = errorOf([&] {
        media::VideoReader r(d + "cut.mkv");
        for (int k = 0; k < 30; ++k) r.frameAt(k / 30.0);
    });
    EXPECT_EQ(error.rfind(d + "cut.mkv: ", 0), 0u) << error;
}

TEST(Media, AFailedOrAbandonedEncodeLeavesNoFile) {
    const std::string d = folder();
    media::WriterOptions w;
    w.width = 8;
    w.height = 8;
    {
        media::VideoWriter writer(d + "bad.mp4", w);
        writer.write(ImageLib::Picture(8, 8));
        EXPECT_NE(errorOf([&] {
                      writer.write(ImageLib::Picture(4, 4));
                      writer.finish();
                  }).find("a frame of 4x4 does not fit a clip of 8x8"),
                  std::string::npos);
    }
    {
        media::VideoWriter writer(d + "abandoned.mov", w);
        writer.write(ImageLib::Picture(8, 8));
#ifdef __linux__
        // The writer's thread runs below the caller's priority.
        int nice = -100;
        for (const auto& task : fs::directory_iterator("/proc/self/task")) {
            std::ifstream comm(task.path() / "comm"), stat(task.path() / "stat");
            std::string name, text;
            std::getline(comm, name);
            std::getline(stat, text);
            if (name != "lumivex-write") continue;
            std::istringstream fields(text.substr(text.rfind(')') + 2));
            std::string field;
            for (int k = 3; k <= 19; ++k) fields >> field;  // the 19th field is the nice value
            nice = std::stoi(field);
        }
        EXPECT_EQ(nice, 19);
#endif
    }
    // The encoder is opened on the writer's thread; its refusals still come
    // out of the constructor.
    w.width = 7;
    EXPECT_NE(errorOf([&] { media::VideoWriter(d + "odd.mp4", w); }).find("needs an even width and height"),
              std::string::npos);
    w.width = 8;
    w.preset = "warp";
    EXPECT_NE(errorOf([&] { media::VideoWriter(d + "preset.mp4", w); }).find("unknown H.264 preset 'warp'"),
              std::string::npos);
    EXPECT_TRUE(fs::is_empty(d)) << "left behind: " << fs::directory_iterator(d)->path();
}

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// Copies the video of `video` into `out` (Matroska) with one second of
// 16-bit mono PCM sound at 8000 Hz beside it.
void addSound(const std::string& video, const std::string& out) {
    AVFormatContext* in = nullptr;
    ASSERT_EQ(avformat_open_input(&in, video.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(in, nullptr), 0);
    AVFormatContext* mux = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&mux, nullptr, nullptr, out.c_str()), 0);
    AVStream* v = avformat_new_stream(mux, nullptr);
    avcodec_parameters_copy(v->codecpar, in->streams[0]->codecpar);
    v->time_base = in->streams[0]->time_base;
    AVStream* a = avformat_new_stream(mux, nullptr);
    a->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    a->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    a->codecpar->sample_rate = 8000;
    av_channel_layout_default(&a->codecpar->ch_layout, 1);
    a->codecpar->bits_per_coded_sample = 16;
    a->time_base = {1, 8000};
    ASSERT_GE(avio_open(&mux->pb, out.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(avformat_write_header(mux, nullptr), 0);
    AVPacket* p = av_packet_alloc();
    while (av_read_frame(in, p) >= 0) {
        av_packet_rescale_ts(p, in->streams[0]->time_base, v->time_base);
        p->stream_index = 0;
        av_interleaved_write_frame(mux, p);
    }
    for (int k = 0; k < 10; ++k) {  // ten packets of 0.1 s
        av_new_packet(p, 1600);
        std::fill_n(p->data, 1600, uint8_t(k));
        p->pts = p->dts = k * 800;
        p->duration = 800;
        av_packet_rescale_ts(p, {1, 8000}, a->time_base);
        p->stream_index = 1;
        av_interleaved_write_frame(mux, p);
    }
    av_write_trailer(mux);
    av_packet_free(&p);
    avio_closep(&mux->pb);
    avformat_free_context(mux);
    avformat_close_input(&in);
}

// Seconds of the 16-bit 8000 Hz mono sound in the file (0 when it has none).
// Seconds of PCM sound in `file`; `firstBytes` gets each packet's first byte.
double soundSeconds(const std::string& file, std::vector<int>* firstBytes = nullptr) {
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, file.c_str(), nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(in, nullptr);
    int audio = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    double seconds = 0;
    AVPacket* p = av_packet_alloc();
    while (audio >= 0 && av_read_frame(in, p) >= 0) {
        if (p->stream_index == audio) seconds += p->size / 16000.0;  // 16-bit samples at 8 kHz
        if (p->stream_index == audio && firstBytes) firstBytes->push_back(p->data[0]);
        av_packet_unref(p);
    }
    av_packet_free(&p);
    avformat_close_input(&in);
    return seconds;
}

}  // namespace

TEST(Media, SoundIsCopiedForTheRenderedSpanWhereTheContainerTakesIt) {
    const std::string d = folder();
    media::WriterOptions w;
    w.width = 6;
    w.height = 4;
    w.rateNum = 10;
    {
        media::VideoWriter writer(d + "v.mkv", w);
        for (uint32_t k = 0; k < 10; ++k) writer.write(card(k));
        writer.finish();
    }
    addSound(d + "v.mkv", d + "av.mkv");
    ASSERT_TRUE(media::probeClip(d + "av.mkv").hasAudio);
    // Frames 2..6 (0.2 s to 0.7 s): that half second of sound, copied in
    // the containers that take PCM; none in a GIF.
    for (const char* ext : {".mkv", ".mov", ".gif"}) {
        w.audioFrom = d + "av.mkv";
        w.audioStart = 0.2;
        const std::string out = d + "out" + ext;
        media::VideoWriter writer(out, w);
        for (uint32_t k = 2; k < 7; ++k) writer.write(card(k));
        writer.finish();
        const bool takesPcm = std::string(ext) != ".gif";
        EXPECT_EQ(writer.copiesAudio(), takesPcm) << ext;
        EXPECT_NEAR(soundSeconds(out), takesPcm ? 0.5 : 0.0, 0.001) << ext;
        EXPECT_EQ(media::VideoReader(out).info().frameCount, 5) << ext;
    }

    // Looping: from 0.3 s into the second pass, two seconds of output get
    // the source's ten tenths of a second round and round.
    w.audioStart = 1.3;
    w.audioLoop = 1.0;
    {
        media::VideoWriter writer(d + "loop.mkv", w);
        for (uint32_t k = 0; k < 20; ++k) writer.write(card(k % 10));
        writer.finish();
    }
    std::vector<int> tenths, want;
    for (int k = 3; k < 23; ++k) want.push_back(k % 10);
    EXPECT_NEAR(soundSeconds(d + "loop.mkv", &tenths), 2.0, 0.001);
    EXPECT_EQ(tenths, want);
}

#include "tests/media/ClipMaker.h"

namespace {

// The picture numbers a reader shows at frames 0..count-1 of `rate`.
std::vector<int> shown(const std::string& clip, int count, double rate) {
    media::VideoReader reader(clip);
    std::vector<int> pictures;
    for (int i = 0; i < count; ++i) pictures.push_back(clipmaker::pictureOf(reader.frameAt(i / rate)));
    return pictures;
}

std::vector<int> upTo(int count) {
    std::vector<int> all;
    for (int k = 0; k < count; ++k) all.push_back(k);
    return all;
}

}  // namespace

TEST(Media, PicturesStampedToTheMillisecondAreEachShownOnce) {
    const std::string d = folder();
    clipmaker::Plan plan;
    plan.pts = clipmaker::evenTimes(60);
    // Matroska keeps milliseconds: 0.033, 0.067, 0.1, ... for 30 a second.
    for (const char* name : {"ms.mkv", "ms.mp4"}) {
        clipmaker::make(d + name, plan);
        const media::ClipInfo info = media::probeClip(d + name);
        EXPECT_EQ(info.rateNum, 30u) << name;
        EXPECT_EQ(info.rateDen, 1u) << name;
        EXPECT_EQ(info.frameCount, 60) << name;
        EXPECT_EQ(shown(d + name, 60, 30), upTo(60)) << name;
    }
}

TEST(Media, VariableRateClipsKeepTheirLengthAndShowEveryPicture) {
    const std::string d = folder();
    // One second at 24 a second, then one at 30: 54 pictures over 2 s.
    clipmaker::Plan plan;
    plan.timeBase = {1, 120};
    for (int k = 0; k < 24; ++k) plan.pts.push_back(k * 5);
    for (int k = 0; k < 30; ++k) plan.pts.push_back(120 + k * 4);
    clipmaker::make(d + "vfr.mkv", plan);
    const media::ClipInfo vfr = media::probeClip(d + "vfr.mkv");
    EXPECT_NEAR(double(vfr.frameCount) * vfr.rateDen / vfr.rateNum, 2.0, 0.05)
        << vfr.frameCount << " frames at " << vfr.rateNum << "/" << vfr.rateDen;

    // 30 a second with each picture up to 10 ms early or late.
    plan.timeBase = {1, 1000};
    plan.pts.clear();
    for (int k = 0; k < 60; ++k)
        plan.pts.push_back(std::max<int64_t>(0, std::lround(k * 1000 / 30.0) + (k % 2 ? 10 : -10)));
    clipmaker::make(d + "jitter.mkv", plan);
    const media::ClipInfo jitter = media::probeClip(d + "jitter.mkv");
    EXPECT_NEAR(double(jitter.rateNum) / jitter.rateDen, 30, 0.5) << jitter.rateNum << "/" << jitter.rateDen;
    EXPECT_EQ(jitter.frameCount, 60);
    EXPECT_EQ(shown(d + "jitter.mkv", 60, double(jitter.rateNum) / jitter.rateDen), upTo(60));
}

TEST(Media, LoopedSoundFollowsThePicturesInEveryContainer) {
    const std::string d = folder();
    clipmaker::Plan plan;
    plan.pts = clipmaker::evenTimes(30);
    plan.audioSeconds = 1;
    for (const auto& container : {std::pair{"aac.mp4", "aac"}, std::pair{"opus.mkv", "libopus"}}) {
        const char* name = container.first;
        plan.audioCodec = container.second;
        clipmaker::make(d + name, plan);
        media::WriterOptions w;
        w.width = 64;
        w.height = 36;
        w.audioFrom = d + name;
        w.audioLoop = 1.0;
        const std::string out = d + "looped." + std::string(name).substr(std::string(name).find('.') + 1);
        // Two and a half passes of the clip, its sound with them.
        EXPECT_EQ(errorOf([&] {
                      media::VideoWriter writer(out, w);
                      for (int k = 0; k < 75; ++k) writer.write(ImageLib::Picture(64, 36));
                      writer.finish();
                      EXPECT_TRUE(writer.copiesAudio()) << name;
                      EXPECT_TRUE(media::probeClip(out).hasAudio) << name;
                  }),
                  "no error")
            << name;
    }
}

TEST(Media, AnEditListsCutIsWhereTheClipStarts) {
    const std::string d = folder();
    // Cut as a copy from 0.3 s: nine pictures before the edit point are
    // stored for decoding but never shown.
    clipmaker::Plan plan;
    plan.gop = 30;
    for (int k = 0; k < 60; ++k) plan.pts.push_back(k - 9);
    clipmaker::make(d + "cut.mp4", plan);
    const media::ClipInfo info = media::probeClip(d + "cut.mp4");
    EXPECT_EQ(info.frameCount, 51);
    std::vector<int> want;
    for (int k = 9; k < 60; ++k) want.push_back(k);
    EXPECT_EQ(shown(d + "cut.mp4", 51, 30), want);
}

TEST(Media, ADisplayMatrixTurnsThePicturesUpright) {
    const std::string d = folder();
    clipmaker::Plan plan;
    plan.pts = clipmaker::evenTimes(2);
    // The white block of the stored top left corner, where the upright
    // picture shows it.
    const std::pair<double, std::pair<int, int>> turns[] = {{90, {1, 0}}, {180, {1, 1}}, {270, {0, 1}}, {-90, {0, 1}}};
    for (auto [degrees, corner] : turns) {
        plan.rotate = degrees;
        const std::string clip = d + "turned" + std::to_string(int(degrees)) + ".mp4";
        clipmaker::make(clip, plan);
        const bool across = int(std::abs(degrees)) % 180 == 90;
        for (bool eightBit : {false, true}) {
            media::ReaderOptions options;
            options.eightBit = eightBit;
            media::VideoReader reader(clip, options);
            EXPECT_EQ(reader.info().width, across ? 36u : 64u) << degrees;
            EXPECT_EQ(reader.info().height, across ? 64u : 36u) << degrees;
            const ImageLib::Picture picture = ImageLib::asFloat(reader.frameAt(1 / 30.0));
            ASSERT_EQ(picture.width, reader.info().width) << degrees;
            ASSERT_EQ(picture.height, reader.info().height) << degrees;
            EXPECT_EQ(clipmaker::pictureOf(picture), 1) << degrees;
            const uint32_t x = corner.first ? picture.width - 3 : 2, y = corner.second ? picture.height - 3 : 2;
            EXPECT_GT(picture.pixel(x, y)[0], 0.9f)
                << degrees << " degrees, " << (eightBit ? "8-bit" : "float") << " corners " << picture.pixel(2, 2)[0]
                << " " << picture.pixel(picture.width - 3, 2)[0] << " " << picture.pixel(2, picture.height - 3)[0]
                << " " << picture.pixel(picture.width - 3, picture.height - 3)[0];
            EXPECT_LT(picture.pixel(picture.width - 1 - x, y)[0], 0.5f) << degrees;
            EXPECT_LT(picture.pixel(x, picture.height - 1 - y)[0], 0.5f) << degrees;
        }
    }
}

TEST(Media, WebmKeepsAlpha) {
    const std::string d = folder();
    media::WriterOptions w;
    w.width = 32;
    w.height = 16;
    media::VideoWriter writer(d + "alpha.webm", w);
    for (float alpha : {0.25f, 0.75f}) {
        ImageLib::Picture frame(32, 16);
        for (size_t i = 0; i < frame.rgba.size(); i += 4) frame.rgba[i + 1] = 0.5f, frame.rgba[i + 3] = alpha;
        writer.write(frame);
    }
    writer.finish();
    for (bool eightBit : {false, true}) {
        media::ReaderOptions options;
        options.eightBit = eightBit;
        media::VideoReader reader(d + "alpha.webm", options);
        EXPECT_NEAR(ImageLib::asFloat(reader.frameAt(0)).pixel(8, 8)[3], 0.25f, 3 / 255.0f);
        EXPECT_NEAR(ImageLib::asFloat(reader.frameAt(1 / 30.0)).pixel(8, 8)[3], 0.75f, 3 / 255.0f);
    }
}

namespace {

// The sound stream's codec and where its last packet ends, in seconds
// (an encoder's priming before 0 left out); "" and 0 without sound.
std::pair<std::string, double> soundOf(const std::string& file) {
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, file.c_str(), nullptr, nullptr) < 0) return {"unreadable", 0};
    avformat_find_stream_info(in, nullptr);
    const int audio = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    std::pair<std::string, double> found{"", 0};
    if (audio >= 0) {
        const AVStream* s = in->streams[audio];
        found.first = avcodec_get_name(s->codecpar->codec_id);
        int64_t end = 0;
        AVPacket* p = av_packet_alloc();
        while (av_read_frame(in, p) >= 0) {
            if (p->stream_index == audio && p->pts != AV_NOPTS_VALUE) end = std::max(end, p->pts + p->duration);
            av_packet_unref(p);
        }
        av_packet_free(&p);
        found.second = double(end) * s->time_base.num / s->time_base.den;
    }
    avformat_close_input(&in);
    return found;
}

}  // namespace

TEST(Media, SoundTheContainerCannotHoldIsEncodedAgain) {
    const std::string d = folder();
    clipmaker::Plan plan;
    plan.pts = clipmaker::evenTimes(30);
    plan.audioSeconds = 1;
    plan.audioCodec = "aac";
    clipmaker::make(d + "aac.mp4", plan);
    media::WriterOptions w;
    w.width = 64;
    w.height = 36;
    // A second of PCM in Matroska, for an MP4.
    {
        media::VideoWriter writer(d + "v.mkv", w);
        for (int k = 0; k < 30; ++k) writer.write(ImageLib::Picture(64, 36));
        writer.finish();
    }
    addSound(d + "v.mkv", d + "pcm.mkv");
    for (auto [from, to, codec] : {std::tuple{"aac.mp4", "out.webm", "opus"}, std::tuple{"aac.mp4", "out.gif", ""},
                                   std::tuple{"pcm.mkv", "out.mp4", "aac"}}) {
        w.audioFrom = d + from;
        media::VideoWriter writer(d + to, w);
        for (int k = 0; k < 30; ++k) writer.write(ImageLib::Picture(64, 36));
        writer.finish();
        const auto [got, seconds] = soundOf(d + to);
        EXPECT_EQ(got, codec) << from << " to " << to;
        if (*codec) {
            EXPECT_NEAR(seconds, 1.0, 0.05) << from << " to " << to;
        }
    }
    // Looped, two passes of sound encoded again.
    w.audioFrom = d + "aac.mp4";
    w.audioLoop = 1.0;
    media::VideoWriter writer(d + "looped.webm", w);
    for (int k = 0; k < 60; ++k) writer.write(ImageLib::Picture(64, 36));
    writer.finish();
    EXPECT_NEAR(soundOf(d + "looped.webm").second, 2.0, 0.05);
}

TEST(Media, OrderedGifDitherStaysCloseToThePicture) {
    const std::string d = folder();
    // Smooth colour: two crossing ramps and a slow wave, as a photo's sky
    // and shading, where a dither's pattern shows most.
    ImageLib::Picture smooth(160, 96);
    for (uint32_t y = 0; y < smooth.height; ++y)
        for (uint32_t x = 0; x < smooth.width; ++x) {
            float* p = smooth.pixel(x, y);
            p[0] = x / 159.0f;
            p[1] = 0.2f + 0.6f * y / 95.0f;
            p[2] = 0.5f + 0.4f * std::sin(x * 0.05f + y * 0.07f);
            p[3] = 1;
        }
    // Peak signal to noise of the picture read back, in dB, and the mean
    // error of 8x8 block averages (the banding a dither is there to hide).
    double blocks = 0;
    auto psnr = [&](const char* dither) {
        media::WriterOptions w;
        w.width = smooth.width;
        w.height = smooth.height;
        w.gifDither = media::gifDitherCode(dither);
        const std::string out = d + dither + std::string(".gif");
        media::VideoWriter writer(out, w);
        writer.write(smooth);
        writer.finish();
        const ImageLib::Picture back = media::VideoReader(out).frameAt(0);
        double squares = 0;
        for (uint32_t y = 0; y < smooth.height; ++y)
            for (uint32_t x = 0; x < smooth.width; ++x)
                for (int c = 0; c < 3; ++c) squares += std::pow(double(back.pixel(x, y)[c]) - smooth.pixel(x, y)[c], 2);
        blocks = 0;
        for (uint32_t by = 0; by < smooth.height; by += 8)
            for (uint32_t bx = 0; bx < smooth.width; bx += 8)
                for (int c = 0; c < 3; ++c) {
                    double sum = 0;
                    for (uint32_t y = by; y < by + 8; ++y)
                        for (uint32_t x = bx; x < bx + 8; ++x)
                            sum += double(back.pixel(x, y)[c]) - smooth.pixel(x, y)[c];
                    blocks += std::abs(sum / 64);
                }
        return 10 * std::log10(1 / (squares / (smooth.width * smooth.height * 3)));
    };
    const double plain = psnr("none");
    const double plainBlocks = blocks;
    const double diffused = psnr("floyd-steinberg");
    for (const char* ordered : {"ordered-2x2", "ordered-4x4", "ordered-8x8"}) {
        // A threshold map about one palette step deep stays close to the
        // picture: a crosshatch several steps deep cost 4 dB here and made
        // block averages half as far off again as without a dither.
        const double got = psnr(ordered);
        EXPECT_GT(got, diffused) << ordered << " against floyd-steinberg's " << diffused << " dB";
        EXPECT_GT(got, plain - 1) << ordered << " against " << plain << " dB undithered";
        EXPECT_LT(blocks, plainBlocks * 1.15) << ordered;
    }
}
