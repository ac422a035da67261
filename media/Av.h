// Internal to media/: one owner per FFmpeg object, the error check that
// turns a library status into media::Error with the library's own text, the
// bounded queue between a worker thread and its caller, and the pictures
// handed back between them for reuse.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media/Media.h"

namespace media::av {

struct FreeFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct FreePacket {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FreeCodec {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FreeSws {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct CloseInput {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
// An output context and the file it opened.
struct CloseOutput {
    void operator()(AVFormatContext* f) const {
        if (!(f->oformat->flags & AVFMT_NOFILE)) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};

using Frame = std::unique_ptr<AVFrame, FreeFrame>;
using Packet = std::unique_ptr<AVPacket, FreePacket>;
using Codec = std::unique_ptr<AVCodecContext, FreeCodec>;
using Sws = std::unique_ptr<SwsContext, FreeSws>;
using Input = std::unique_ptr<AVFormatContext, CloseInput>;
using Output = std::unique_ptr<AVFormatContext, CloseOutput>;

// The library's text for a status code.
std::string errorText(int status);
// Throws "<file>: <what>: <library text>" when status is negative; returns it otherwise.
int check(int status, const std::string& file, const char* what);

Frame allocFrame();
Packet allocPacket();

// Silences the libraries' log (once per process).
void quiet();
// Makes the calling thread a background one: named (up to 15 characters,
// for profilers and debuggers) and at the lowest priority, so that the
// decoding and encoding it does, and the library threads it starts, take
// the processor time the render leaves rather than delaying the render.
void backgroundThread(const char* name);
// Opens `path` for reading (an image2 pattern when it is a sequence, with
// its first number found on disk and `rate` as its frame rate).
Input openInput(const std::string& path, AVRational rate);
// Throws naming the first missing file when the files a frame-number
// pattern names go on past a gap (or none match).
void checkSequenceComplete(const std::string& pattern);

// The best video stream of an open input, or throws naming the file.
int videoStream(AVFormatContext* input, const std::string& path);

// A queue of at most `capacity` items between one producer and one
// consumer. close() ends it (pop returns nothing once it is empty);
// fail() ends it with the producer's error, which pop rethrows; cancel()
// makes push refuse and pop return nothing, so that either side stops when
// the other is gone.
template <class T>
class Queue {
public:
    explicit Queue(size_t capacity) : capacity(capacity) {}

    // False once cancelled.
    bool push(T item) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return items.size() < capacity || cancelled; });
        if (cancelled) return false;
        items.push_back(std::move(item));
        changed.notify_all();
        return true;
    }
    std::optional<T> pop() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return !items.empty() || closed || cancelled; });
        if (cancelled) return std::nullopt;
        if (items.empty()) {
            if (error) std::rethrow_exception(error);
            return std::nullopt;
        }
        T item = std::move(items.front());
        items.pop_front();
        changed.notify_all();
        return item;
    }
    void close() { end(nullptr); }
    void fail(std::exception_ptr e) { end(e); }
    void cancel() {
        std::lock_guard<std::mutex> lock(mutex);
        cancelled = true;
        changed.notify_all();
    }
    // The error the queue was ended with, if any.
    std::exception_ptr failure() {
        std::lock_guard<std::mutex> lock(mutex);
        return error;
    }

private:
    void end(const std::exception_ptr& e) {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        if (e && !error) error = e;
        changed.notify_all();
    }

    size_t capacity;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<T> items;
    bool closed = false, cancelled = false;
    std::exception_ptr error;
};

// Pictures one side is done with, for the other to write into again rather
// than allocate (and zero) frame-sized memory anew; a few at most, empty
// ones not kept. Either side may call from its own thread.
class Spares {
public:
    void put(ImageLib::Picture image) {
        if (image.empty()) return;
        std::lock_guard<std::mutex> lock(mutex);
        if (kept.size() < 2) kept.push_back(std::move(image));
    }
    // A spare picture, or an empty one when there is none.
    ImageLib::Picture take() {
        std::lock_guard<std::mutex> lock(mutex);
        if (kept.empty()) return {};
        ImageLib::Picture image = std::move(kept.back());
        kept.pop_back();
        return image;
    }

private:
    std::mutex mutex;
    std::vector<ImageLib::Picture> kept;
};

}  // namespace media::av
