// The package scrambling rule: a rolling 32-bit XOR over little-endian words.
// key starts at 0x6B1D42F3; for each word in order, scrambled = plain XOR key,
// then key = (key + plain) * plain (mod 2^32). The key follows the plain
// words, so a buffer is processed strictly from its first word.
//
// Errors: none. Ownership: the functions work on the caller's bytes.
// Threads: no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace package {

constexpr uint32_t kScrambleKey = 0x6B1D42F3u;

// Scrambles / descrambles `words` whole 32-bit words at `bytes` in place.
void scramble(uint8_t* bytes, size_t words);
void descramble(uint8_t* bytes, size_t words);

// The resource bytes of an archive image: the image zero-padded to whole
// words, scrambled, then cut back to the image's size.
std::vector<uint8_t> scrambleArchive(const std::vector<uint8_t>& image);

// What the module does with the S resource bytes: copies them into S + 8
// zero bytes and descrambles floor((S + 8) / 4) words. The archive image is
// the first S bytes of the result.
std::vector<uint8_t> descrambleArchive(const uint8_t* resource, size_t size);

}  // namespace package
