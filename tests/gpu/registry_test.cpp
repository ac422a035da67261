// Registry behaviour that needs no GL: ids, lookups, sequences, parameters.
// Entities are made through createEntity, which default-constructs them
// without touching GL.
#include <gtest/gtest.h>

#include <type_traits>

#include "gpu/Context.h"

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { context().initialize(); }
    void TearDown() override { context().shutdown(); }
    static gpu::Context& context() { return gpu::Context::instance(); }
};

TEST(RegistryBeforeInitialize, CountsNothingAndCreatesNothing) {
    gpu::Context& context = gpu::Context::instance();
    EXPECT_EQ(context.count(), 0u);
    EXPECT_EQ(context.at(0)->id, 0u);
    EXPECT_EQ(context.createEntity(gpu::kTextureKind), 0u);
    context.releaseEntity(0x04000001);  // ignored
    EXPECT_EQ(context.getTexture(0x04000001).glName(), 0u);
}

TEST_F(RegistryTest, IdsAreLowestFreeSerialPerKind) {
    EXPECT_EQ(context().createEntity(gpu::kTextureKind), 0x04000001u);
    EXPECT_EQ(context().createEntity(gpu::kTextureKind), 0x04000002u);
    EXPECT_EQ(context().createEntity(gpu::kTextureKind), 0x04000003u);
    context().releaseEntity(0x04000002);
    EXPECT_EQ(context().createEntity(gpu::kTextureKind), 0x04000002u);
    EXPECT_EQ(context().createEntity(gpu::kTextureKind), 0x04000004u);
    // The low bits of a kind argument are ignored.
    EXPECT_EQ(context().createEntity(gpu::kRenderTargetKind | 0x1234), 0x03000001u);
}

TEST_F(RegistryTest, KindsAreSeparate) {
    const uint32_t parameter = context().createParameter("amount", LX_FLOAT, "Amount");
    const uint32_t texture = context().createEntity(gpu::kTextureKind);
    EXPECT_EQ(parameter, 0x01000001u);
    EXPECT_EQ(texture, 0x04000001u);
    context().releaseEntity(texture);
    EXPECT_EQ(context().getParameter(parameter).name, "amount");

    const uint32_t shader = context().createEntity(gpu::kShaderKind);
    const uint32_t other = context().createEntity(gpu::kTextureKind);
    EXPECT_EQ(&context().getShader(other), &context().getShader(0));
    EXPECT_NE(&context().getShader(shader), &context().getShader(other));
    EXPECT_EQ(&context().getRenderTarget(other), &context().getRenderTarget(0x03000009));
}

TEST_F(RegistryTest, ReleaseOfNothingIsIgnored) {
    const uint32_t id = context().createEntity(gpu::kSurfaceKind);
    context().releaseEntity(0);
    context().releaseEntity(0x05000001);
    context().releaseEntity(id);
    context().releaseEntity(id);
    EXPECT_EQ(context().createEntity(gpu::kSurfaceKind), id);
}

TEST_F(RegistryTest, KindWithoutFactoryCreatesNothing) {
    EXPECT_EQ(context().createEntity(0x05000000), 0u);
    EXPECT_EQ(context().createEntity(0), 0u);
    EXPECT_EQ(context().createEntity(0xFF000000), 0u);
}

TEST(EntityFactoryTest, FullSerialSpaceNeverSpillsIntoNextKind) {
    gpu::EntityFactory<int, 0x04000000, 3> factory;
    EXPECT_EQ(factory.create(), 0x04000001u);
    EXPECT_EQ(factory.create(), 0x04000002u);
    EXPECT_EQ(factory.create(), 0x04000003u);
    EXPECT_EQ(factory.create(), 0u);
    EXPECT_EQ(factory.entities.size(), 3u);
    factory.release(0x04000002);
    EXPECT_EQ(factory.create(), 0x04000002u);
}

TEST(EntityFactoryTest, EntitiesHoldingGLNamesAreMoveOnly) {
    EXPECT_FALSE(std::is_copy_constructible_v<gpu::Texture>);
    EXPECT_FALSE(std::is_copy_constructible_v<gpu::RenderTarget>);
    EXPECT_FALSE(std::is_copy_constructible_v<gpu::Shader>);
    EXPECT_TRUE(std::is_nothrow_move_constructible_v<gpu::TextureName>);
}

TEST_F(RegistryTest, ParametersInDeclarationOrder) {
    context().createParameter("a", LX_FLOAT, "");
    context().createParameter("b", LX_POINT, "Point");
    context().createParameter("c", LX_ANGLE, "");
    ASSERT_EQ(context().count(), 3u);
    EXPECT_EQ(context().at(0)->name, "a");
    EXPECT_EQ(context().at(2)->id, 0x01000003u);
    EXPECT_EQ(context().at(5)->id, 0u);
    EXPECT_EQ(context().at(5)->name, "");

    const gpu::Parameter& b = *context().at(1);
    EXPECT_EQ(b.displayName, "Point");
    EXPECT_EQ(b.kind, static_cast<uint32_t>(LX_POINT));
    EXPECT_FLOAT_EQ(b.minimum[0], -100.0f);
    EXPECT_FLOAT_EQ(b.maximum[0], 100.0f);
    EXPECT_EQ(b.choices, "0|1|2|3|4|5|6|7|8|9");
    EXPECT_EQ(b.choiceCount, 10u);
}

TEST_F(RegistryTest, SequenceCopiesKeepEveryFieldAndWinLookups) {
    const uint32_t id = context().createParameter("gain", LX_FLOAT, "Gain");
    gpu::Parameter& declared = context().getParameter(id);
    declared.flags = (3u << gpu::kParamPrecisionShift) | gpu::kParamFlagDisabled;
    declared.choices = "x|y";
    declared.value[0] = 0.25f;

    const uint32_t index = context().addSequence();
    gpu::Sequence* sequence = context().sequence(index);
    ASSERT_NE(sequence, nullptr);
    gpu::Parameter& copy = sequence->find(id);
    EXPECT_NE(&copy, &declared);
    EXPECT_EQ(copy.id, id);
    EXPECT_EQ(copy.flags, 0x03000002u);
    EXPECT_EQ(copy.choices, "x|y");
    EXPECT_FLOAT_EQ(copy.value[0], 0.25f);

    // The current sequence's copy is preferred; the first sequence, made
    // before the declaration, has no copy and falls back to the declared one.
    copy.value[0] = 0.75f;
    context().currentSequence = index;
    EXPECT_FLOAT_EQ(context().getParameter(id).value[0], 0.75f);
    context().currentSequence = 0;
    EXPECT_FLOAT_EQ(context().getParameter(id).value[0], 0.25f);
    EXPECT_EQ(context().getParameter(0x01000009).id, 0u);
}

TEST_F(RegistryTest, StrayWriteToEmptyRecordDoesNotPersist) {
    gpu::Parameter& empty = context().getParameter(0x01000042);
    empty.name = "oops";
    empty.value[0] = 5;
    EXPECT_EQ(context().getParameter(0x01000043).name, "");
    EXPECT_FLOAT_EQ(context().at(99)->value[0], 0.0f);
}

TEST_F(RegistryTest, RemovedSequenceSlotIsReused) {
    EXPECT_EQ(context().addSequence(), 1u);
    EXPECT_EQ(context().addSequence(), 2u);
    context().removeSequence(1);
    context().removeSequence(1);   // already free
    context().removeSequence(40);  // beyond the end
    EXPECT_EQ(context().sequence(1), nullptr);
    EXPECT_EQ(context().addSequence(), 1u);
    EXPECT_EQ(context().addSequence(), 3u);
}

// The script may release a sequence's own target and get its id back for
// a target of its own; removing the sequence later leaves that one alone.
TEST_F(RegistryTest, RemovedSequenceReleasesOnlyWhatIsStillItsOwn) {
    const uint32_t index = context().addSequence();
    gpu::Sequence* sequence = context().sequence(index);
    sequence->renderTargetId = context().createEntity(gpu::kRenderTargetKind);
    sequence->textureId = context().createEntity(gpu::kTextureKind);
    context().releaseEntity(sequence->renderTargetId);
    EXPECT_EQ(sequence->renderTargetId, 0u);
    const uint32_t scripts = context().createEntity(gpu::kRenderTargetKind);
    ASSERT_EQ(scripts, 0x03000001u);
    context().removeSequence(index);
    EXPECT_NE(context().entity<gpu::RenderTarget>(scripts), nullptr);
    EXPECT_EQ(context().entity<gpu::Texture>(0x04000001), nullptr);
}

TEST_F(RegistryTest, ReloadRestartsEverySerial) {
    context().createParameter("a", LX_FLOAT, "");
    context().createEntity(gpu::kTextureKind);
    context().createEntity(gpu::kTextureKind);
    context().shutdown();
    EXPECT_FALSE(context().isInitialized());
    EXPECT_EQ(context().count(), 0u);
    context().initialize();
    EXPECT_EQ(context().createEntity(gpu::kTextureKind), 0x04000001u);
    EXPECT_EQ(context().createParameter("b", LX_FLOAT, ""), 0x01000001u);
    EXPECT_NE(context().current(), nullptr);
}

TEST_F(RegistryTest, UnknownSurfaceIsEmpty) {
    gpu::Surface& fallback = context().getSurface(0x06000005);
    fallback.assignCopy(1, 1, 8, "abcd");
    gpu::Surface& again = context().getSurface(0);
    EXPECT_EQ(again.width, 0u);
    EXPECT_EQ(again.pixels(), nullptr);
    const uint32_t id = context().createEntity(gpu::kSurfaceKind);
    EXPECT_NE(&context().getSurface(id), &again);
}

}  // namespace
