#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "GLFixture.h"

namespace {

using TextureTest = GLTest;

TEST_F(TextureTest, NewTargetReadsBackTransparentBlack) {
    const uint32_t id = context().createRenderTarget(4, 2, 8);
    gpu::RenderTarget& target = context().getRenderTarget(id);
    ASSERT_TRUE(target.usable());
    const std::vector<uint8_t> bytes = readBack<uint8_t>(target);
    EXPECT_EQ(bytes, std::vector<uint8_t>(32, 0));
}

TEST_F(TextureTest, FileOrderPixelsSampleInHostOrder) {
    gpu::Texture& texture = context().getTexture(context().createTexture(1, 1, 8));
    const uint8_t rgba[4] = {10, 20, 30, 40};
    ASSERT_TRUE(texture.upload(rgba, 1, 1, 8, 4, false, false));
    gpu::RenderTarget& target = context().getRenderTarget(context().createRenderTarget(1, 1, 8));
    // The copy shader's own reordering cancels out, so the target holds the
    // texel as sampled.
    drawInto(target, copyShader(), texture.glName());
    EXPECT_EQ(readBack<uint8_t>(target), (std::vector<uint8_t>{40, 10, 20, 30}));

    ASSERT_TRUE(texture.upload(rgba, 1, 1, 8, 4, true, false));
    drawInto(target, copyShader(), texture.glName());
    EXPECT_EQ(readBack<uint8_t>(target), (std::vector<uint8_t>{10, 20, 30, 40}));
}

TEST_F(TextureTest, Host16BitFullValueWidensToNearlyOne) {
    const std::vector<uint16_t> full(2 * 2 * 4, 32768);
    gpu::RenderTarget& target = context().getRenderTarget(context().createRenderTarget(2, 2, 32));
    gpu::Texture& texture = context().getTexture(context().createTexture(2, 2, 16));

    ASSERT_TRUE(texture.upload(full.data(), 2, 2, 16, 2 * 8, true, true));
    // The CPU copy holds the widened values.
    const auto copy = texture.pixels();
    ASSERT_EQ(copy->size(), 32u);
    EXPECT_EQ((*copy)[0] | ((*copy)[1] << 8), 65534);
    drawInto(target, copyShader(), texture.glName());
    for (float v : readBack<float>(target)) EXPECT_FLOAT_EQ(v, 65534.0f / 65535.0f);
    // A copy still held elsewhere is not written over by the next upload.
    const std::vector<uint16_t> zero(full.size(), 0);
    ASSERT_TRUE(texture.upload(zero.data(), 2, 2, 16, 2 * 8, true, true));
    EXPECT_EQ((*copy)[0] | ((*copy)[1] << 8), 65534);
    EXPECT_EQ((*texture.pixels())[1], 0);

    ASSERT_TRUE(texture.upload(full.data(), 2, 2, 16, 2 * 8, true, false));
    drawInto(target, copyShader(), texture.glName());
    for (float v : readBack<float>(target)) EXPECT_FLOAT_EQ(v, 32768.0f / 65535.0f);

    ASSERT_TRUE(texture.upload(full.data(), 2, 2, 15, 2 * 8, true, true));
    drawInto(target, copyShader(), texture.glName());
    for (float v : readBack<float>(target)) EXPECT_FLOAT_EQ(v, 32768.0f / 65535.0f);
}

TEST_F(TextureTest, SixteenBitTargetReadsBackAsUnsignedShorts) {
    const std::vector<uint16_t> values = {0, 1, 16384, 16385, 32768, 32768, 100, 200};
    gpu::RenderTarget& target = context().getRenderTarget(context().createRenderTarget(2, 1, 16));
    ASSERT_TRUE(target.upload(values.data(), 2, 1, 16, 16, true, true));
    // 0..32768 widened to 0..65534 (v <= 16384: 2v, else 2(v - 1)).
    EXPECT_EQ(readBack<uint16_t>(target), (std::vector<uint16_t>{0, 2, 32768, 32768, 65534, 65534, 200, 400}));
}

TEST_F(TextureTest, RowLengthSkipsPaddingOfEachRow) {
    // Two pixels per row, rows padded to 12 bytes.
    const uint8_t rows[] = {1, 2, 3, 4, 5, 6, 7, 8, 99, 99, 99, 99, 9, 10, 11, 12, 13, 14, 15, 16, 99, 99, 99, 99};
    gpu::RenderTarget& target = context().getRenderTarget(context().createRenderTarget(1, 1, 8));
    ASSERT_TRUE(target.upload(rows, 2, 2, 8, 12, true, false));
    EXPECT_EQ(target.rowBytes(), 12u);
    EXPECT_EQ(target.pixels()->size(), 24u);
    EXPECT_EQ(readBack<uint8_t>(target), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    GLint rowLength = -1;
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
    EXPECT_EQ(rowLength, 0);
}

TEST_F(TextureTest, FlippedBlitFillsLargerTargetUpsideDown) {
    // 2x2 source: bottom row values 1, 2; top row 3, 4 (first byte of each pixel).
    const uint8_t pixels[16] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0};
    gpu::RenderTarget& source = context().getRenderTarget(context().createRenderTarget(2, 2, 8));
    ASSERT_TRUE(source.upload(pixels, 2, 2, 8, 8, true, false));
    gpu::RenderTarget& destination = context().getRenderTarget(context().createRenderTarget(4, 4, 8));
    source.blitTo(destination, true, false);
    const std::vector<uint8_t> bytes = readBack<uint8_t>(destination);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const int sourceRow = 1 - y / 2;  // mirrored vertically
            const uint8_t expected = static_cast<uint8_t>(1 + sourceRow * 2 + x / 2);
            EXPECT_EQ(bytes[(y * 4 + x) * 4], expected) << "x " << x << " y " << y;
        }
    }
    source.blitTo(destination, false, false);
    EXPECT_EQ(readBack<uint8_t>(destination)[0], 1);
}

TEST_F(TextureTest, BindWithoutViewportSizeUsesWholeTarget) {
    gpu::RenderTarget& target = context().getRenderTarget(context().createRenderTarget(6, 3, 8));
    GLint viewport[4] = {};
    const int32_t partial[4] = {1, 1, 2, 1};
    target.bind(partial);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{1, 1, 2, 1}));
    const int32_t zeroWidth[4] = {1, 1, 0, 2};
    target.bind(zeroWidth);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 6, 3}));
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    EXPECT_EQ(static_cast<GLuint>(framebuffer), target.framebufferName());
}

TEST_F(TextureTest, UploadSurfaceWithFlipReversesRows) {
    gpu::Surface surface;
    const uint8_t rows[12] = {0, 0, 0, 10, 0, 0, 0, 11, 0, 0, 0, 12};
    ASSERT_TRUE(surface.assignCopy(1, 3, 8, rows));
    gpu::RenderTarget& target = context().getRenderTarget(context().createRenderTarget(1, 3, 8));
    ASSERT_TRUE(target.uploadSurface(surface, true));
    const std::vector<uint8_t> flipped = readBack<uint8_t>(target);
    EXPECT_EQ(flipped[3], 12);
    EXPECT_EQ(flipped[7], 11);
    EXPECT_EQ(flipped[11], 10);
    ASSERT_TRUE(target.uploadSurface(surface, false));
    EXPECT_EQ(readBack<uint8_t>(target)[3], 10);
    EXPECT_FALSE(target.uploadSurface(gpu::Surface(), false));
}

TEST_F(TextureTest, RefusedDepthsAndSizesLeaveNoStorage) {
    gpu::Texture& texture = context().getTexture(context().createEntity(gpu::kTextureKind));
    EXPECT_FALSE(texture.create(4, 4, 0, true));
    EXPECT_FALSE(texture.create(4, 4, 7, true));
    EXPECT_EQ(texture.glName(), 0u);

    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    EXPECT_FALSE(texture.create(static_cast<uint32_t>(maxSize) + 1, 1, 8, true));
    EXPECT_FALSE(texture.create(static_cast<uint32_t>(-1), 4, 8, true));  // -1 from a script
    EXPECT_FALSE(texture.create(4, 0x80000000u, 32, true));
    // Within the GL's limit, but a float image of that size overflows 31 bits.
    EXPECT_FALSE(texture.create(static_cast<uint32_t>(maxSize), static_cast<uint32_t>(maxSize), 32, true));
    EXPECT_EQ(texture.glName(), 0u);

    gpu::RenderTarget& target = context().getRenderTarget(context().createEntity(gpu::kRenderTargetKind));
    EXPECT_FALSE(target.createTarget(4, 4, 3));
    EXPECT_FALSE(target.usable());
    EXPECT_EQ(target.beginReadback(), nullptr);
    target.endReadback();

    // A texture with storage refuses the same and keeps what it had.
    ASSERT_TRUE(texture.create(2, 2, 8, true));
    const uint8_t pixels[16] = {};
    EXPECT_FALSE(texture.upload(pixels, 2, 2, 4, 8, true, false));
    EXPECT_FALSE(texture.upload(pixels, 2, 2, 8, 7, true, false));  // rows shorter than a pixel row
    EXPECT_EQ(texture.width(), 2u);
    EXPECT_EQ(texture.depth(), 8u);
    EXPECT_EQ(texture.pixels(), nullptr);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, DefaultTextureAcceptsNoUpload) {
    gpu::Texture& fallback = context().getTexture(0x04000077);
    const uint8_t pixel[4] = {1, 2, 3, 4};
    EXPECT_FALSE(fallback.upload(pixel, 1, 1, 8, 4, true, false));
    EXPECT_EQ(context().getTexture(0).pixels(), nullptr);
}

TEST_F(TextureTest, BorrowedCopySurvivesReuploadAndRelease) {
    const uint32_t id = context().createTexture(1, 1, 8);
    gpu::Texture& texture = context().getTexture(id);
    const uint8_t first[4] = {1, 2, 3, 4};
    ASSERT_TRUE(texture.upload(first, 1, 1, 8, 4, true, false));
    gpu::Surface surface;
    surface.assignShared(texture.width(), texture.height(), texture.depth(), texture.rowBytes(), texture.pixels());

    const uint8_t second[4] = {9, 9, 9, 9};
    ASSERT_TRUE(texture.upload(second, 1, 1, 8, 4, true, false));
    EXPECT_EQ((*texture.pixels())[0], 9);
    context().releaseEntity(id);
    ASSERT_NE(surface.pixels(), nullptr);
    EXPECT_EQ(std::vector<uint8_t>(surface.pixels(), surface.pixels() + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

// Rows of `width` pixels of `depth` after a padding of 16 bytes each; every
// channel value of the depth appears (at 32 bits, the edge cases of floats).
std::vector<uint8_t> paddedRows(uint32_t width, uint32_t height, uint32_t depth, uint64_t rowBytes) {
    const uint32_t channelBytes = gpu::bytesPerChannel(depth);
    std::vector<uint8_t> bytes(rowBytes * height, 0xEE);
    const float floats[] = {
        -0.0f, 1e-40f, -3.5f, 1e30f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
        0.25f};
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t i = 0; i < width * 4; ++i) {
            const uint32_t n = y * width * 4 + i;
            uint8_t* at = bytes.data() + y * rowBytes + i * channelBytes;
            if (channelBytes == 4) {
                std::memcpy(at, &floats[n % std::size(floats)], 4);
            } else {
                const uint16_t value = static_cast<uint16_t>(n);
                std::memcpy(at, &value, channelBytes);
            }
        }
    }
    return bytes;
}

TEST_F(TextureTest, CopyHoldsUploadedBytesAfterTheSourceIsFreed) {
    // 128 x 128 x 4 channels: every 8- and 16-bit value.
    const uint32_t width = 128, height = 128;
    for (uint32_t depth : {8u, 16u, 32u}) {
        const uint64_t rowBytes = width * 4 * gpu::bytesPerChannel(depth) + 16;
        gpu::Texture& texture = context().getTexture(context().createTexture(2, 2, 8));
        auto source = std::make_unique<std::vector<uint8_t>>(paddedRows(width, height, depth, rowBytes));
        const std::vector<uint8_t> uploaded = *source;
        ASSERT_TRUE(texture.upload(source->data(), width, height, depth, rowBytes, true, false));
        source.reset();
        const auto copy = texture.pixels();
        ASSERT_NE(copy, nullptr);
        ASSERT_EQ(copy->size(), uploaded.size());
        for (uint32_t y = 0; y < height; ++y) {
            const auto row = [&](const std::vector<uint8_t>& bytes) {
                return std::vector<uint8_t>(bytes.begin() + y * rowBytes,
                                            bytes.begin() + y * rowBytes + width * 4 * gpu::bytesPerChannel(depth));
            };
            ASSERT_EQ(row(*copy), row(uploaded)) << "depth " << depth << " row " << y;
        }
        // The same copy until the next upload.
        EXPECT_EQ(texture.pixels(), copy);
    }
}

TEST_F(TextureTest, CopyOutlivesStorageReplacedWithoutPixels) {
    gpu::Texture& texture = context().getTexture(context().createTexture(1, 1, 8));
    const uint8_t pixel[4] = {1, 2, 3, 4};
    ASSERT_TRUE(texture.upload(pixel, 1, 1, 8, 4, true, false));
    ASSERT_TRUE(texture.upload(nullptr, 2, 1, 8, 8, true, false));
    ASSERT_NE(texture.pixels(), nullptr);
    EXPECT_EQ(*texture.pixels(), std::vector<uint8_t>(pixel, pixel + 4));

    ASSERT_TRUE(texture.upload(pixel, 1, 1, 8, 4, true, false));
    ASSERT_TRUE(texture.create(2, 1, 8, true));
    ASSERT_NE(texture.pixels(), nullptr);
    EXPECT_EQ(*texture.pixels(), std::vector<uint8_t>(pixel, pixel + 4));
}

TEST_F(TextureTest, GLNamesAreDeletedOnceByTheirLastOwner) {
    GLuint name = 0;
    GLuint framebuffer = 0;
    {
        gpu::RenderTarget first;
        ASSERT_TRUE(first.createTarget(2, 2, 8));
        name = first.glName();
        framebuffer = first.framebufferName();
        gpu::RenderTarget second(std::move(first));
        EXPECT_EQ(first.glName(), 0u);  // NOLINT(bugprone-use-after-move): the moved-from state is the point
        EXPECT_TRUE(glIsTexture(name));
        gpu::RenderTarget third;
        third = std::move(second);
        EXPECT_TRUE(glIsTexture(name));
        EXPECT_TRUE(glIsFramebuffer(framebuffer));
    }
    EXPECT_FALSE(glIsTexture(name));
    EXPECT_FALSE(glIsFramebuffer(framebuffer));

    // Releasing an entity deletes its names; so does a plain create on a target.
    const uint32_t id = context().createRenderTarget(2, 2, 8);
    gpu::RenderTarget& target = context().getRenderTarget(id);
    framebuffer = target.framebufferName();
    ASSERT_TRUE(target.create(2, 2, 8, true));
    EXPECT_FALSE(target.usable());
    EXPECT_FALSE(glIsFramebuffer(framebuffer));
    name = target.glName();
    context().releaseEntity(id);
    EXPECT_FALSE(glIsTexture(name));
}

TEST_F(TextureTest, SetParameterReachesTheTexture) {
    gpu::Texture& texture = context().getTexture(context().createTexture(2, 2, 8));
    texture.setParameter(GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);
    // The next upload resets it.
    ASSERT_TRUE(texture.upload(nullptr, 2, 2, 8, 8, true, false));
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
}

TEST_F(TextureTest, SequenceKeepsOutputTargetAtFrameSize) {
    gpu::Sequence* sequence = context().current();
    ASSERT_NE(sequence, nullptr);
    sequence->prepareRenderTarget(gpu::FrameFormat{8, 4, 32, 8}, 1.5);
    const uint32_t first = sequence->renderTargetId;
    EXPECT_EQ(first, 0x03000001u);
    EXPECT_DOUBLE_EQ(sequence->time, 1.5);
    sequence->prepareRenderTarget(gpu::FrameFormat{16, 2, 256, 32}, 2.0);
    EXPECT_EQ(sequence->renderTargetId, first);
    EXPECT_EQ(context().getRenderTarget(first).width(), 16u);
    EXPECT_EQ(context().getRenderTarget(first).depth(), 32u);
    EXPECT_EQ(sequence->outputWidth, 16u);
    // Drawn into, then started again at the same size: transparent black in
    // the same storage.
    gpu::RenderTarget& target = context().getRenderTarget(first);
    const GLuint storage = target.glName();
    const std::vector<float> opaque(16 * 2 * 4, 1.0f);
    ASSERT_TRUE(target.upload(opaque.data(), 16, 2, 32, 256, true, false));
    sequence->prepareRenderTarget(gpu::FrameFormat{16, 2, 256, 32}, 2.5);
    EXPECT_EQ(target.glName(), storage);
    EXPECT_EQ(readBack<float>(target), std::vector<float>(16 * 2 * 4, 0.0f));
    // A released target is replaced by a new id.
    context().releaseEntity(first);
    sequence->prepareRenderTarget(gpu::FrameFormat{2, 2, 8, 8}, 3.0);
    EXPECT_EQ(sequence->renderTargetId, 0x03000001u);
    EXPECT_TRUE(context().getRenderTarget(sequence->renderTargetId).usable());
}

// What a script copies into the frame's output target cannot change the
// size or depth the host reads back: a smaller image of another depth lands
// from the first texel, clipped, and the rest stays as the frame started.
TEST_F(TextureTest, FrameTargetKeepsTheFrameFormatWhateverIsCopiedIn) {
    gpu::Sequence* sequence = context().current();
    for (const uint32_t frameDepth : {8u, 16u, 32u}) {
        SCOPED_TRACE(frameDepth);
        sequence->prepareRenderTarget(gpu::FrameFormat{8, 4, 0, frameDepth}, 0);
        gpu::RenderTarget& target = context().getRenderTarget(sequence->renderTargetId);
        const uint8_t texels[2 * 2 * 4] = {255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0};
        gpu::Surface small;
        small.assignExternal(2, 2, 8, 8, const_cast<uint8_t*>(texels));
        ASSERT_TRUE(target.uploadSurface(small, false));
        EXPECT_EQ(target.width(), 8u);
        EXPECT_EQ(target.height(), 4u);
        EXPECT_EQ(target.depth(), frameDepth);
        ASSERT_EQ(sequence->frameTarget(), &target);

        // Red, as channel 1 of the host order, at depth-independent scale.
        const std::vector<float> image = [&] {
            std::vector<float> values(8 * 4 * 4);
            if (frameDepth == 8) {
                const auto bytes = readBack<uint8_t>(target);
                for (size_t i = 0; i < values.size(); ++i) values[i] = bytes[i] / 255.0f;
            } else if (frameDepth == 16) {
                const auto shorts = readBack<uint16_t>(target);
                for (size_t i = 0; i < values.size(); ++i) values[i] = shorts[i] / 65535.0f;
            } else {
                values = readBack<float>(target);
            }
            return values;
        }();
        for (uint32_t y = 0; y < 4; ++y) {
            for (uint32_t x = 0; x < 8; ++x) {
                const float expected = x < 2 && y < 2 ? 1.0f : 0.0f;
                EXPECT_NEAR(image[(y * 8 + x) * 4 + 1], expected, 1e-3) << x << "," << y;
            }
        }
        // The next frame frees the size again.
        sequence->prepareRenderTarget(gpu::FrameFormat{3, 3, 0, 8}, 1);
        EXPECT_EQ(target.width(), 3u);
        ASSERT_TRUE(target.uploadSurface(small, false));
        EXPECT_EQ(target.width(), 3u);
    }
}

// A target whose size no longer is the frame's (the readback would be read
// as a frame) is not handed out as the frame's target.
TEST_F(TextureTest, FrameTargetIsNullWhenTheTargetDoesNotHoldTheFrame) {
    gpu::Sequence* sequence = context().current();
    sequence->prepareRenderTarget(gpu::FrameFormat{4, 4, 0, 8}, 0);
    gpu::RenderTarget& target = context().getRenderTarget(sequence->renderTargetId);
    ASSERT_EQ(sequence->frameTarget(), &target);
    target.holdStorage(false);
    ASSERT_TRUE(target.upload(nullptr, 2, 2, 8, 8, true, false));
    EXPECT_EQ(sequence->frameTarget(), nullptr);
    context().releaseEntity(sequence->renderTargetId);
    EXPECT_EQ(sequence->frameTarget(), nullptr);
}

// Storage is counted against one bound for the process; what would pass it
// is refused before it is made, says why, and claims no size.
TEST_F(TextureTest, StorageBeyondTheGpuMemoryBoundIsRefused) {
    const uint64_t before = gpu::gpuBytesHeld();
    gpu::RenderTarget& target = context().getRenderTarget(context().createRenderTarget(64, 32, 32));
    ASSERT_TRUE(target.usable());
    EXPECT_EQ(gpu::gpuBytesHeld(), before + 64 * 32 * 16);
    ASSERT_NE(target.beginReadback(), nullptr);
    target.endReadback();
    EXPECT_EQ(gpu::gpuBytesHeld(), before + 2 * 64 * 32 * 16);

    // 16384 x 16384 float texels are the whole bound: with anything else
    // held they pass it. Nothing is allocated for the refusal.
    gpu::Texture& huge = context().getTexture(context().createEntity(gpu::kTextureKind));
    EXPECT_FALSE(huge.create(16384, 16384, 32, true));
    EXPECT_EQ(huge.storageFailure(), gpu::StorageFailure::overBudget);
    EXPECT_EQ(huge.glName(), 0u);
    EXPECT_EQ(huge.width(), 0u);
    EXPECT_EQ(gpu::gpuBytesHeld(), before + 2 * 64 * 32 * 16);
    // A texture with storage that is asked to grow past it keeps what it had.
    ASSERT_TRUE(huge.create(2, 2, 8, true));
    EXPECT_FALSE(huge.upload(nullptr, 16384, 16384, 32, 16384 * 16, true, false));
    EXPECT_EQ(huge.storageFailure(), gpu::StorageFailure::overBudget);
    EXPECT_EQ(huge.width(), 2u);
    EXPECT_NE(huge.glName(), 0u);
    // Other refusals say so too.
    EXPECT_FALSE(huge.upload(nullptr, 2, 2, 4, 8, true, false));
    EXPECT_EQ(huge.storageFailure(), gpu::StorageFailure::refused);

    // Released storage is given back.
    const uint32_t id = context().createRenderTarget(8, 8, 8);
    EXPECT_EQ(gpu::gpuBytesHeld(), before + 2 * 64 * 32 * 16 + 2 * 2 * 4 + 8 * 8 * 4);
    context().releaseEntity(id);
    huge.release();
    target.release();
    EXPECT_EQ(gpu::gpuBytesHeld(), before + 64 * 32 * 16);  // the readback buffer stays with its target
}

TEST_F(TextureTest, SequenceInputTextureTakesLayerPixels) {
    gpu::Sequence* sequence = context().current();
    gpu::Surface empty;
    sequence->uploadInputTexture(empty);
    EXPECT_EQ(sequence->textureId, 0u);

    std::vector<uint16_t> layer(2 * 1 * 4, 16384);
    gpu::Surface surface;
    surface.assignExternal(2, 1, 16, 16, layer.data());
    sequence->uploadInputTexture(surface);
    ASSERT_NE(sequence->textureId, 0u);
    const gpu::Texture& texture = context().getTexture(sequence->textureId);
    EXPECT_EQ(texture.width(), 2u);
    const auto copy = texture.pixels();
    EXPECT_EQ((*copy)[0] | ((*copy)[1] << 8), 32768);  // widened
}

// Frames the GL refuses, at the output and at the input, keep one entity
// each rather than making a new one every frame; the same ids take a size
// the GL allows again.
TEST_F(TextureTest, SequenceKeepsItsIdsThroughFramesTooLargeForTheGL) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const uint32_t tooWide = static_cast<uint32_t>(maxSize) + 1;
    std::vector<uint8_t> wideRow(size_t{tooWide} * 4, 7);
    gpu::Surface wide;
    wide.assignExternal(tooWide, 1, 8, tooWide * 4, wideRow.data());
    gpu::Sequence* sequence = context().current();
    for (int frame = 0; frame < 3; ++frame) {
        sequence->prepareRenderTarget(gpu::FrameFormat{tooWide, 1, 0, 8}, frame);
        sequence->uploadInputTexture(wide);
    }
    EXPECT_EQ(sequence->renderTargetId, 0x03000001u);
    EXPECT_EQ(sequence->textureId, 0x04000001u);
    EXPECT_FALSE(context().getRenderTarget(0x03000001).usable());
    EXPECT_EQ(context().getTexture(0x04000001).glName(), 0u);

    uint8_t pixel[4] = {1, 2, 3, 4};
    gpu::Surface small;
    small.assignExternal(1, 1, 8, 4, pixel);
    sequence->prepareRenderTarget(gpu::FrameFormat{1, 1, 0, 8}, 3);
    sequence->uploadInputTexture(small);
    EXPECT_EQ(sequence->renderTargetId, 0x03000001u);
    EXPECT_EQ(sequence->textureId, 0x04000001u);
    EXPECT_TRUE(context().getRenderTarget(0x03000001).usable());
    EXPECT_EQ(*context().getTexture(0x04000001).pixels(), std::vector<uint8_t>(pixel, pixel + 4));
    EXPECT_EQ(context().createEntity(gpu::kRenderTargetKind), 0x03000002u);
    EXPECT_EQ(context().createEntity(gpu::kTextureKind), 0x04000002u);
}

TEST_F(TextureTest, RemovedSequenceTakesItsTargetTextureAndReadbackBuffer) {
    const uint32_t before = context().glObjectCount();
    const uint32_t index = context().addSequence();
    gpu::Sequence* sequence = context().sequence(index);
    sequence->prepareRenderTarget(gpu::FrameFormat{4, 2, 0, 8}, 0);
    std::vector<uint8_t> pixels(4 * 2 * 4, 9);
    gpu::Surface layer;
    layer.assignExternal(4, 2, 8, 16, pixels.data());
    sequence->uploadInputTexture(layer);
    gpu::RenderTarget& target = context().getRenderTarget(sequence->renderTargetId);
    ASSERT_NE(target.beginReadback(), nullptr);
    target.endReadback();
    // The target's texture, framebuffer and readback buffer; the input texture.
    EXPECT_EQ(context().glObjectCount(), before + 4);
    context().removeSequence(index);
    EXPECT_EQ(context().glObjectCount(), before);
    EXPECT_EQ(context().createEntity(gpu::kRenderTargetKind), 0x03000001u);
    EXPECT_EQ(context().createEntity(gpu::kTextureKind), 0x04000001u);
}

// 15-bit data is read as 16-bit: its copy is the upload itself, not what
// the float storage gives back.
TEST_F(TextureTest, FifteenBitCopyIsTheUploadNotTheStorage) {
    gpu::Texture& texture = context().getTexture(context().createTexture(2, 1, 8));
    const uint16_t values[8] = {0, 1, 2, 16384, 32767, 32768, 65534, 65535};
    ASSERT_TRUE(texture.upload(values, 2, 1, 15, 16, true, false));
    // The storage changed behind the texture's back: the copy does not follow.
    const uint16_t zeros[8] = {};
    glBindTexture(GL_TEXTURE_2D, texture.glName());
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 2, 1, GL_RGBA, GL_UNSIGNED_SHORT, zeros);
    ASSERT_NE(texture.pixels(), nullptr);
    const auto* bytes = reinterpret_cast<const uint8_t*>(values);
    EXPECT_EQ(*texture.pixels(), std::vector<uint8_t>(bytes, bytes + sizeof values));
}

using TextureFileTest = GLFolderTest;

// A 1x1 24-bit BMP of the colour (r, g, b).
std::string bmp(uint8_t r, uint8_t g, uint8_t b) {
    const uint8_t header[] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                              40,  0,   0,  0, 1, 0, 0, 0, 1, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0,
                              4,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0};
    std::string file(reinterpret_cast<const char*>(header), sizeof header);
    const char row[4] = {static_cast<char>(b), static_cast<char>(g), static_cast<char>(r), 0};
    return file + std::string(row, 4);
}

TEST_F(TextureFileTest, ImageFileSamplesInHostOrder) {
    writeFile("pixel.bmp", bmp(200, 100, 50));
    const uint32_t id = context().createTextureFromFile("pixel.bmp");
    gpu::Texture& texture = context().getTexture(id);
    ASSERT_NE(texture.glName(), 0u);
    EXPECT_EQ(texture.fileName(), "pixel.bmp");
    EXPECT_EQ(texture.width(), 1u);
    EXPECT_EQ(texture.depth(), 8u);
    EXPECT_EQ(texture.rowBytes(), 4u);
    gpu::RenderTarget& target = context().getRenderTarget(context().createRenderTarget(1, 1, 8));
    drawInto(target, copyShader(), texture.glName());
    EXPECT_EQ(readBack<uint8_t>(target), (std::vector<uint8_t>{255, 200, 100, 50}));
}

TEST_F(TextureFileTest, MissingOrEmptyFileGivesIdWithoutStorage) {
    writeFile("empty.png", "");
    for (const char* name : {"empty.png", "absent.png"}) {
        const uint32_t id = context().createTextureFromFile(name);
        EXPECT_NE(id, 0u);
        EXPECT_EQ(context().getTexture(id).glName(), 0u);
        EXPECT_FALSE(context().getTexture(id).loadFile(name));
    }
}

}  // namespace
