#include <gtest/gtest.h>

#include "package/Scramble.h"

namespace {

std::vector<uint8_t> littleEndianWords(const std::vector<uint32_t>& words) {
    std::vector<uint8_t> bytes;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(w >> (8 * i)));
    return bytes;
}

TEST(Scramble, FirstWordsMatchHandComputedValues) {
    // Worked by hand from key 0x6B1D42F3: a zero plain word makes the next
    // key 0, so the fourth word passes unchanged.
    std::vector<uint8_t> bytes = littleEndianWords({0x04034B50, 0x00000014, 0x00000000, 0xFFFFFFFF});
    package::scramble(bytes.data(), 4);
    EXPECT_EQ(bytes, littleEndianWords({0x6F1E09A3, 0xFAA315E4, 0x94BDB850, 0xFFFFFFFF}));

    package::descramble(bytes.data(), 4);
    EXPECT_EQ(bytes, littleEndianWords({0x04034B50, 0x00000014, 0x00000000, 0xFFFFFFFF}));
}

TEST(Scramble, DescrambleUndoesScrambleAtEveryLength) {
    for (size_t words = 0; words < 40; ++words) {
        std::vector<uint8_t> original(words * 4);
        for (size_t i = 0; i < original.size(); ++i) original[i] = uint8_t(i * 37 + words);
        std::vector<uint8_t> bytes = original;
        package::scramble(bytes.data(), words);
        if (words) {
            EXPECT_NE(bytes, original);
        }
        package::descramble(bytes.data(), words);
        EXPECT_EQ(bytes, original) << words << " words";
    }
}

TEST(Scramble, ArchiveOfAnySizeComesBackFromItsResourceBytes) {
    for (size_t size = 1; size < 24; ++size) {
        std::vector<uint8_t> image(size);
        for (size_t i = 0; i < size; ++i) image[i] = uint8_t(0xA5 ^ (i * 11));
        const std::vector<uint8_t> resource = package::scrambleArchive(image);
        ASSERT_EQ(resource.size(), size);

        // The module descrambles S + 8 bytes; only the first S are the image.
        const std::vector<uint8_t> data = package::descrambleArchive(resource.data(), resource.size());
        ASSERT_EQ(data.size(), size + 8);
        EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + long(size)), image) << size << " bytes";
    }
}

}  // namespace
