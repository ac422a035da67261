#include "ImageLib/Picture.h"

#include <algorithm>
#include <utility>

namespace ImageLib {

Picture Picture::eightBit(uint32_t w, uint32_t h) {
    Picture image;
    image.shapeEightBit(w, h);
    return image;
}

void Picture::shapeEightBit(uint32_t w, uint32_t h) {
    width = w;
    height = h;
    rgba8.resize(pixelBytes() + kEightBitSlack);
    std::fill(rgba8.end() - kEightBitSlack, rgba8.end(), uint8_t(0));
    std::vector<float>().swap(rgba);
}

Picture asFloat(Picture&& image) {
    if (!image.isEightBit()) return std::move(image);
    return asFloat(static_cast<const Picture&>(image));
}

Picture asFloat(const Picture& image) {
    if (!image.isEightBit()) return image;
    Picture out;
    out.width = image.width;
    out.height = image.height;
    out.rgba.resize(image.pixelBytes());
    for (size_t i = 0; i < out.rgba.size(); ++i) out.rgba[i] = image.rgba8[i] / 255.0f;
    return out;
}

}  // namespace ImageLib
