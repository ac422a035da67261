#include "bench/ImageLib/PngInput.h"

#include "ImageLib/Decode.h"

#include <spng.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace benchimage {
namespace {

struct SpngFree {
    void operator()(spng_ctx* c) const { spng_ctx_free(c); }
};

bool decodePng(const std::vector<uint8_t>& file, const std::string& name, Rgba8& out, std::string& error) {
    const std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(0));
    if (!ctx) {
        error = name + ": cannot start the PNG reader";
        return false;
    }
    spng_ihdr header{};
    size_t size = 0;
    int e = spng_set_png_buffer(ctx.get(), file.data(), file.size());
    if (e == 0) e = spng_get_ihdr(ctx.get(), &header);
    if (e == 0) e = spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size);
    if (e == 0 && size != size_t(header.width) * header.height * 4) e = SPNG_EOVERFLOW;
    if (e == 0) {
        out.pixels.resize(size);
        e = spng_decode_image(ctx.get(), out.pixels.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
    }
    if (e != 0) {
        out.pixels.clear();
        error = name + ": " + spng_strerror(e);
        return false;
    }
    out.width = header.width, out.height = header.height;
    return true;
}

}  // namespace

bool decodeRgba8(const std::vector<uint8_t>& file, const std::string& name, Rgba8& out, std::string& error) {
    static const uint8_t kPngMagic[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (file.size() >= 8 && std::memcmp(file.data(), kPngMagic, 8) == 0) return decodePng(file, name, out, error);
    ImageLib::DecodedImage img;
    if (!ImageLib::decodeImage(file.data(), file.size(), img) || img.depth != 8) {
        error = name + ": cannot decode an 8-bit image";
        return false;
    }
    out.width = img.width, out.height = img.height;
    const auto* px = static_cast<const uint8_t*>(img.pixels.get());
    out.pixels.assign(px, px + size_t(img.width) * img.height * 4);
    return true;
}

bool readRgba8(const std::string& path, Rgba8& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open";
        return false;
    }
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    return decodeRgba8(file, path, out, error);
}

}  // namespace benchimage
