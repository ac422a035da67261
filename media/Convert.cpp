#include "Convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace media::av {

namespace {

// 0..1, NaN as 0 (two plain selects, which vectorise).
float unit(float v) {
    const float low = v > 0 ? v : 0.0f;
    return low < 1 ? low : 1.0f;
}

// Rounds 0..2^22 to the nearest whole number, halves to even as lrint
// does: adding 1.5 * 2^23 leaves no fraction bits. Unlike a call to lrint
// the compiler can do many values at a time.
float roundEven(float v) {
    constexpr float shift = 12582912.0f;
    return (v + shift) - shift;
}

// Channel values between the float pictures and 8- or 16-bit rows, written
// as plain loops over unaliased arrays so that they vectorise.
template <typename T>
void fromUnit(const float* __restrict in, T* __restrict out, size_t count, float full) {
    for (size_t i = 0; i < count; ++i) out[i] = T(int32_t(roundEven(unit(in[i]) * full)));
}
template <typename T>
void toUnit(const T* __restrict in, float* __restrict out, size_t count, float full) {
    for (size_t i = 0; i < count; ++i) out[i] = in[i] / full;
}

bool isYuv(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && d->nb_components >= 3;
}

Frame stagingFrame(AVPixelFormat format, int width, int height, const std::string& file) {
    Frame f = allocFrame();
    f->format = format;
    f->width = width;
    f->height = height;
    check(av_frame_get_buffer(f.get(), 0), file, "cannot allocate a frame");
    // Zeroed, padding included: the conversions' vector code reads a little
    // past each row's last pixel.
    for (AVBufferRef* b : f->buf)
        if (b) std::memset(b->data, 0, b->size);
    return f;
}

}  // namespace

uint32_t formatBits(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (!d) return 8;
    if (d->flags & AV_PIX_FMT_FLAG_FLOAT) return 32;
    return uint32_t(d->comp[0].depth);
}

void ToImage::convert(const AVFrame& frame, AVColorSpace streamSpace, ImageLib::Picture& image,
                      const std::string& file) {
    const auto format = AVPixelFormat(frame.format);
    const bool deep = formatBits(format) > 8;
    const bool bytes = eightBit && !deep;
    // The caller's storage where it has the size and kind, else new.
    if (bytes) image.shapeEightBit(uint32_t(frame.width), uint32_t(frame.height));
    else if (image.width != uint32_t(frame.width) || image.height != uint32_t(frame.height) || image.rgba.empty())
        image = ImageLib::Picture(uint32_t(frame.width), uint32_t(frame.height));
    const size_t w = size_t(frame.width);
    if (format == AV_PIX_FMT_GBRPF32LE || format == AV_PIX_FMT_GBRAPF32LE) {
        // Planes green, blue, red (, alpha): copied as they are, above 1 too.
        const bool alpha = format == AV_PIX_FMT_GBRAPF32LE;
        for (int y = 0; y < frame.height; ++y) {
            const float* plane[4];
            for (int p = 0; p < 4; ++p)
                plane[p] = p < 3 || alpha
                               ? reinterpret_cast<const float*>(frame.data[p] + size_t(y) * frame.linesize[p])
                               : nullptr;
            float* out = image.pixel(0, uint32_t(y));
            for (size_t x = 0; x < w; ++x, out += 4) {
                out[0] = plane[2][x];
                out[1] = plane[0][x];
                out[2] = plane[1][x];
                out[3] = alpha ? plane[3][x] : 1.0f;
            }
        }
        return;
    }
    const AVPixelFormat target = deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA;
    if (!sws || format != from || frame.width != width || frame.height != height) {
        // The filter only resamples subsampled chroma: linear costs half of
        // cubic there, within 3/255 of it on natural pictures.
        sws.reset(sws_getContext(frame.width, frame.height, format, frame.width, frame.height, target,
                                 SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP, nullptr,
                                 nullptr, nullptr));
        if (!sws)
            throw Error(file + ": cannot convert pictures of format " +
                        (av_get_pix_fmt_name(format) ? av_get_pix_fmt_name(format) : "unknown"));
        from = format;
        width = frame.width;
        height = frame.height;
        staged = bytes ? Frame() : stagingFrame(target, width, height, file);
    }
    if (isYuv(format)) {
        const AVColorSpace tagged = frame.colorspace != AVCOL_SPC_UNSPECIFIED ? frame.colorspace : streamSpace;
        const int space = tagged == AVCOL_SPC_UNSPECIFIED || tagged == AVCOL_SPC_RGB ? SWS_CS_DEFAULT : int(tagged);
        const int* coefficients = sws_getCoefficients(space);
        sws_setColorspaceDetails(sws.get(), coefficients, frame.color_range == AVCOL_RANGE_JPEG, coefficients, 1, 0,
                                 1 << 16, 1 << 16);
    }
    if (bytes) {
        // Straight into the picture's bytes.
        uint8_t* const planes[4] = {image.rgba8.data(), nullptr, nullptr, nullptr};
        const int lines[4] = {int(w * 4), 0, 0, 0};
        sws_scale(sws.get(), frame.data, frame.linesize, 0, frame.height, planes, lines);
        return;
    }
    sws_scale(sws.get(), frame.data, frame.linesize, 0, frame.height, staged->data, staged->linesize);
    for (int y = 0; y < height; ++y) {
        float* out = image.pixel(0, uint32_t(y));
        const uint8_t* row = staged->data[0] + size_t(y) * staged->linesize[0];
        if (deep) toUnit(reinterpret_cast<const uint16_t*>(row), out, w * 4, 65535.0f);
        else toUnit(row, out, w * 4, 255.0f);
    }
}

FromImage::FromImage(int width, int height, AVPixelFormat target, bool deep, const std::string& file)
    : deep(deep), file(file) {
    const AVPixelFormat source = deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA;
    sws.reset(sws_getContext(width, height, source, width, height, target,
                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP, nullptr, nullptr,
                             nullptr));
    if (!sws) throw Error(file + ": cannot convert pictures to format " + av_get_pix_fmt_name(target));
    if (isYuv(target)) {
        sws_setColorspaceDetails(sws.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1, sws_getCoefficients(SWS_CS_ITU709),
                                 0, 0, 1 << 16, 1 << 16);
    }
    staged = stagingFrame(source, width, height, file);
}

void FromImage::convert(const ImageLib::Picture& image, AVFrame& frame) {
    if (!frame.data[0]) check(av_frame_get_buffer(&frame, 0), file, "cannot allocate a frame");
    check(av_frame_make_writable(&frame), file, "cannot write a frame");
    if (image.isEightBit() && !deep) {
        // Straight from the picture's bytes where the conversion's reads
        // past the last pixel stay in its zeroed slack, else through the
        // zeroed padding of the staging frame.
        const uint8_t* planes[4] = {image.rgba8.data(), nullptr, nullptr, nullptr};
        int lines[4] = {int(image.width * 4), 0, 0, 0};
        if (!image.hasEightBitSlack()) {
            for (uint32_t y = 0; y < image.height; ++y)
                std::memcpy(staged->data[0] + size_t(y) * staged->linesize[0], &image.rgba8[size_t(y) * lines[0]],
                            size_t(lines[0]));
            planes[0] = staged->data[0];
            lines[0] = staged->linesize[0];
        }
        sws_scale(sws.get(), planes, lines, 0, int(image.height), frame.data, frame.linesize);
        return;
    }
    if (image.isEightBit()) return convert(ImageLib::asFloat(image), frame);
    const size_t w = image.width;
    for (uint32_t y = 0; y < image.height; ++y) {
        const float* in = image.pixel(0, y);
        uint8_t* row = staged->data[0] + size_t(y) * staged->linesize[0];
        if (deep) fromUnit(in, reinterpret_cast<uint16_t*>(row), w * 4, 65535.0f);
        else fromUnit(in, row, w * 4, 255.0f);
    }
    sws_scale(sws.get(), staged->data, staged->linesize, 0, int(image.height), frame.data, frame.linesize);
}

}  // namespace media::av
