// OpenEXR files read and written in memory through OpenEXR's stream
// interface, so that files and answers in memory go through one path.
#include "Exr.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <Iex.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "media/Error.h"

namespace media {
namespace {

const char* const kExrChannels[4] = {"R", "G", "B", "A"};

// A file's bytes read as OpenEXR reads a file.
class MemoryIn : public Imf::IStream {
public:
    MemoryIn(const std::vector<uint8_t>& bytes, const std::string& name) : Imf::IStream(name.c_str()), bytes(bytes) {}
    bool read(char c[], int n) override {
        if (n < 0 || uint64_t(n) > bytes.size() - at) throw Iex::InputExc("Unexpected end of file.");
        std::memcpy(c, bytes.data() + at, size_t(n));
        at += uint64_t(n);
        return at < bytes.size();
    }
    uint64_t tellg() override { return at; }
    void seekg(uint64_t pos) override { at = std::min<uint64_t>(pos, bytes.size()); }

private:
    const std::vector<uint8_t>& bytes;
    uint64_t at = 0;
};

// The bytes OpenEXR writes, kept in memory; it seeks back to fill in the
// table of line offsets.
class MemoryOut : public Imf::OStream {
public:
    explicit MemoryOut(const std::string& name) : Imf::OStream(name.c_str()) {}
    void write(const char c[], int n) override {
        if (at + uint64_t(n) > bytes.size()) bytes.resize(at + uint64_t(n));
        std::memcpy(bytes.data() + at, c, size_t(n));
        at += uint64_t(n);
    }
    uint64_t tellp() override { return at; }
    void seekp(uint64_t pos) override { at = pos; }

    std::vector<uint8_t> bytes;

private:
    uint64_t at = 0;
};

}  // namespace

ImageLib::Picture decodeExr(const std::vector<uint8_t>& bytes, const std::string& name) {
    try {
        MemoryIn in(bytes, name);
        Imf::InputFile file(in);
        Imath::Box2i window = file.header().dataWindow();
        int64_t width = int64_t(window.max.x) - window.min.x + 1;
        int64_t height = int64_t(window.max.y) - window.min.y + 1;
        if (width <= 0 || height <= 0 || width > (1 << 15) || height > (1 << 15))
            throw Error("cannot read image " + name + ": unsupported size " + std::to_string(width) + "x" +
                        std::to_string(height));
        ImageLib::Picture image{uint32_t(width), uint32_t(height)};
        Imf::FrameBuffer frame;
        char* base =
            reinterpret_cast<char*>(image.rgba.data()) - (int64_t(window.min.x) + int64_t(window.min.y) * width) * 16;
        for (int c = 0; c < 4; ++c)
            frame.insert(kExrChannels[c],
                         Imf::Slice(Imf::FLOAT, base + c * 4, 16, size_t(width) * 16, 1, 1, c == 3 ? 1.0 : 0.0));
        // A file with luminance only fills the colour channels from Y.
        const Imf::ChannelList& channels = file.header().channels();
        if (!channels.findChannel("R") && channels.findChannel("Y")) {
            frame.insert("Y", Imf::Slice(Imf::FLOAT, base, 16, size_t(width) * 16));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        if (!channels.findChannel("R") && channels.findChannel("Y")) {
            for (size_t i = 0; i < image.rgba.size(); i += 4) image.rgba[i + 1] = image.rgba[i + 2] = image.rgba[i];
        }
        return image;
    } catch (const Error&) {
        throw;
    } catch (const std::exception& e) {
        throw Error("cannot read image " + name + ": " + e.what());
    }
}

std::vector<uint8_t> encodeExr(const ImageLib::Picture& image, const std::string& name) {
    try {
        MemoryOut out(name);
        Imf::Header header(int(image.width), int(image.height));
        for (const char* channel : kExrChannels) header.channels().insert(channel, Imf::Channel(Imf::FLOAT));
        {
            // The table of line offsets is written when the file closes.
            Imf::OutputFile file(out, header);
            Imf::FrameBuffer frame;
            char* base = const_cast<char*>(reinterpret_cast<const char*>(image.rgba.data()));
            for (int c = 0; c < 4; ++c)
                frame.insert(kExrChannels[c], Imf::Slice(Imf::FLOAT, base + c * 4, 16, size_t(image.width) * 16));
            file.setFrameBuffer(frame);
            file.writePixels(int(image.height));
        }
        return std::move(out.bytes);
    } catch (const std::exception& e) {
        throw Error("cannot write " + name + ": " + e.what());
    }
}

}  // namespace media
