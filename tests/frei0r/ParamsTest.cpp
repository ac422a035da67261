// The parameter mapping between frei0r's values and the engine's, both
// ways, at the ends of every kind's range.
#include <gtest/gtest.h>

#include <cstring>

extern "C" {
#include <frei0r.h>
}

#include "frei0r/Frei0rGlue.h"

namespace {

using frei0r::Value;

gpu::Parameter param(uint32_t kind) {
    gpu::Parameter p;
    p.kind = kind;
    p.id = 0x01000001;
    return p;
}

Value number(double x) {
    Value v;
    v.x = x;
    return v;
}

int32_t entry(const float value[4]) {
    int32_t v;
    std::memcpy(&v, value, sizeof v);
    return v;
}

TEST(Frei0rMapping, SliderSpansItsRangeAndIsHeldThere) {
    gpu::Parameter p = param(LX_FLOAT);
    p.minimum[0] = -2;
    p.maximum[0] = 6;
    float out[4];
    frei0r::toEngine(p, number(0), 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], -2);
    frei0r::toEngine(p, number(1), 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 6);
    frei0r::toEngine(p, number(0.375), 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 1);
    frei0r::toEngine(p, number(-3), 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], -2);
    frei0r::toEngine(p, number(7), 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 6);
    const float lo[4] = {-2, 0, 0, 0}, hi[4] = {6, 0, 0, 0}, past[4] = {9, 0, 0, 0};
    EXPECT_DOUBLE_EQ(frei0r::fromEngine(p, lo, 64, 32).x, 0);
    EXPECT_DOUBLE_EQ(frei0r::fromEngine(p, hi, 64, 32).x, 1);
    EXPECT_DOUBLE_EQ(frei0r::fromEngine(p, past, 64, 32).x, 1);
    // An empty range gives its one value and reads as 0.
    p.maximum[0] = -2;
    frei0r::toEngine(p, number(1), 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], -2);
    EXPECT_DOUBLE_EQ(frei0r::fromEngine(p, lo, 64, 32).x, 0);
}

TEST(Frei0rMapping, AngleIsTurnsOfThreeHundredSixtyDegrees) {
    const gpu::Parameter p = param(LX_ANGLE);
    float out[4];
    frei0r::toEngine(p, number(0), 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 0);
    frei0r::toEngine(p, number(1), 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 360);
    frei0r::toEngine(p, number(2), 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 720);
    const float ninety[4] = {90, 0, 0, 0};
    EXPECT_DOUBLE_EQ(frei0r::fromEngine(p, ninety, 64, 32).x, 0.25);
}

TEST(Frei0rMapping, ColourIsHeldToTheUnitRangeAndOpaque) {
    const gpu::Parameter p = param(LX_COLOR);
    Value v;
    v.x = 0;
    v.y = 1;
    v.z = 1.5;
    float out[4];
    frei0r::toEngine(p, v, 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 0);
    EXPECT_FLOAT_EQ(out[1], 1);
    EXPECT_FLOAT_EQ(out[2], 1);
    EXPECT_FLOAT_EQ(out[3], 1);
    const float c[4] = {0.25f, 1, 0, 1};
    const Value back = frei0r::fromEngine(p, c, 64, 32);
    EXPECT_DOUBLE_EQ(back.x, 0.25);
    EXPECT_DOUBLE_EQ(back.y, 1);
    EXPECT_DOUBLE_EQ(back.z, 0);
    // A declared default is in the host's bytes, truncated as the host keeps it.
    gpu::Parameter declared = param(LX_COLOR);
    const float bytes[4] = {255.9f, 0, 128, 255};
    std::memcpy(declared.value, bytes, sizeof bytes);
    const Value d = frei0r::defaultValue(declared, 64, 32);
    EXPECT_DOUBLE_EQ(d.x, 1);
    EXPECT_DOUBLE_EQ(d.y, 0);
    EXPECT_NEAR(d.z, 128 / 255.0, 1e-7);
}

TEST(Frei0rMapping, PositionIsAFractionOfTheFrame) {
    const gpu::Parameter p = param(LX_POINT2D);
    Value v;
    v.x = 1;
    v.y = 1;
    float out[4];
    frei0r::toEngine(p, v, 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 64);
    EXPECT_FLOAT_EQ(out[1], 32);
    v.x = -0.5;
    v.y = 0;
    frei0r::toEngine(p, v, 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], -32);
    EXPECT_FLOAT_EQ(out[1], 0);
    const float pixels[4] = {16, 8, 0, 0};
    const Value back = frei0r::fromEngine(p, pixels, 64, 32);
    EXPECT_DOUBLE_EQ(back.x, 0.25);
    EXPECT_DOUBLE_EQ(back.y, 0.25);
}

TEST(Frei0rMapping, CheckboxTurnsOnAtOneHalf) {
    const gpu::Parameter p = param(LX_BOOL);
    float out[4];
    frei0r::toEngine(p, number(0.49), 64, 32, out);
    EXPECT_EQ(entry(out), 0);
    frei0r::toEngine(p, number(0.5), 64, 32, out);
    EXPECT_EQ(entry(out), 1);
    EXPECT_DOUBLE_EQ(frei0r::fromEngine(p, out, 64, 32).x, 1);
}

TEST(Frei0rMapping, PopupSpreadsItsEntriesOverTheUnitRange) {
    for (const uint32_t kind : {uint32_t(LX_POPUP), uint32_t(LX_TEXTURE)}) {
        gpu::Parameter p = param(kind);
        p.choiceCount = 3;
        float out[4];
        const std::pair<double, int32_t> cases[] = {{0, 1},    {0.24, 1}, {0.26, 2}, {0.5, 2},
                                                    {0.76, 3}, {1, 3},    {-1, 1},   {2, 3}};
        for (const auto& [x, want] : cases) {
            frei0r::toEngine(p, number(x), 64, 32, out);
            EXPECT_EQ(entry(out), want) << "kind " << kind << " at " << x;
        }
        for (const auto& [want, e] : {std::pair<double, int32_t>{0, 1}, {0.5, 2}, {1, 3}}) {
            float value[4] = {0, 0, 0, 0};
            std::memcpy(value, &e, sizeof e);
            EXPECT_DOUBLE_EQ(frei0r::fromEngine(p, value, 64, 32).x, want);
        }
    }
    // A texture popup starts at its first entry whatever its value slot holds.
    gpu::Parameter texture = param(LX_TEXTURE);
    texture.choiceCount = 2;
    texture.value[0] = 123.0f;
    EXPECT_DOUBLE_EQ(frei0r::defaultValue(texture, 64, 32).x, 0);
}

TEST(Frei0rMapping, PointIsThreeNumbersInAString) {
    const gpu::Parameter p = param(LX_POINT);
    Value v;
    v.text = "1.5,-2.5, 3";
    float out[4];
    frei0r::toEngine(p, v, 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 1.5);
    EXPECT_FLOAT_EQ(out[1], -2.5);
    EXPECT_FLOAT_EQ(out[2], 3);
    EXPECT_EQ(frei0r::fromEngine(p, out, 64, 32).text, "1.5,-2.5,3");
    // Spaces separate too; components not given are 0; text that is no
    // number stops the reading.
    v.text = "7 8";
    frei0r::toEngine(p, v, 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 7);
    EXPECT_FLOAT_EQ(out[1], 8);
    EXPECT_FLOAT_EQ(out[2], 0);
    v.text = "4,x,9";
    frei0r::toEngine(p, v, 64, 32, out);
    EXPECT_FLOAT_EQ(out[0], 4);
    EXPECT_FLOAT_EQ(out[1], 0);
    EXPECT_FLOAT_EQ(out[2], 0);
}

TEST(Frei0rMapping, KindsWithoutACounterpartAreNotShown) {
    for (const uint32_t kind : {LX_LAYER, LX_PATH, LX_GROUP_START, LX_GROUP_END, LX_UNKNOWN}) {
        EXPECT_EQ(frei0r::frei0rType(kind), -1) << kind;
    }
    EXPECT_EQ(frei0r::frei0rType(LX_FLOAT), F0R_PARAM_DOUBLE);
    EXPECT_EQ(frei0r::frei0rType(LX_ANGLE), F0R_PARAM_DOUBLE);
    EXPECT_EQ(frei0r::frei0rType(LX_POPUP), F0R_PARAM_DOUBLE);
    EXPECT_EQ(frei0r::frei0rType(LX_COLOR), F0R_PARAM_COLOR);
    EXPECT_EQ(frei0r::frei0rType(LX_POINT2D), F0R_PARAM_POSITION);
    EXPECT_EQ(frei0r::frei0rType(LX_BOOL), F0R_PARAM_BOOL);
    EXPECT_EQ(frei0r::frei0rType(LX_POINT), F0R_PARAM_STRING);
}

}  // namespace
