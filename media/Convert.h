// Internal to media/: pictures between decoded or encodable frames and the
// float RGBA images of the command. Each converter keeps its scaling
// context for the frame format it last saw.
#pragma once

#include "Av.h"

namespace media::av {

// Bits per channel of a pixel format (32 for float formats).
uint32_t formatBits(AVPixelFormat format);

class ToImage {
public:
    // `eightBit`: 8-bit formats give 8-bit pictures (deeper ones still go
    // through 16 bits, float ones stay float).
    explicit ToImage(bool eightBit = false) : eightBit(eightBit) {}
    // Converts a decoded frame: float planes are copied, deeper-than-8-bit
    // formats go through 16 bits, YUV uses the frame's own matrix and range
    // (the stream's matrix where the frame names none).
    void convert(const AVFrame& frame, AVColorSpace streamSpace, ImageLib::Picture& image, const std::string& file);

private:
    bool eightBit;
    Sws sws;
    AVPixelFormat from = AV_PIX_FMT_NONE;
    int width = 0, height = 0;
    Frame staged;
};

class FromImage {
public:
    // `deep`: go through 16 bits per channel rather than 8. YUV targets
    // get the BT.709 matrix in limited range (as the streams are tagged).
    FromImage(int width, int height, AVPixelFormat target, bool deep, const std::string& file);
    // Fills `frame` (allocated here on first use) from `image`.
    void convert(const ImageLib::Picture& image, AVFrame& frame);

private:
    Sws sws;
    Frame staged;
    bool deep;
    std::string file;
};

}  // namespace media::av
