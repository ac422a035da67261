// Reads an image file for the quantizer benches as 8-bit red, green, blue,
// alpha through the still reader (media/Still.h), with the bytes the
// engine's decoder gives: 16-bit samples keep their high byte, transparency
// chunks become alpha, gamma is ignored. Float files are refused.
// Errors: returns false and puts a message naming the file in `error`.
// No shared state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace benchimage {

struct Rgba8 {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;  // red, green, blue, alpha
};

// Byte order of the pixels read: as files store them, or alpha first as
// surfaces hold them.
enum class Order { Rgba, Argb };

bool readRgba8(const std::string& path, Rgba8& out, std::string& error, Order order = Order::Rgba);

// The same for a file already in memory; `name` is used in messages.
bool decodeRgba8(const std::vector<uint8_t>& file, const std::string& name, Rgba8& out, std::string& error,
                 Order order = Order::Rgba);

}  // namespace benchimage
