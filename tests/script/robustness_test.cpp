// A script that makes ten thousand LX_ calls with random functions, argument
// counts and hostile arguments (wrong kinds, released ids, NaN, Infinity,
// huge and negative numbers, strings, objects, functions) must neither crash
// nor throw, and the engine must still render a correct frame afterwards.
// Run under -DLUMIVEX_SANITIZE=ON this also checks for leaks and bad access.
#include <cstdlib>

#include "EngineFixture.h"

namespace {

const char* kHostileScript = R"JS(
var seed = 12345;
function rnd(n) { seed = (seed * 1103515245 + 12345) % 2147483648; return seed % n; }
var names = Object.keys(this).filter(function (k) { return k.indexOf('LX_') == 0 && typeof this[k] == 'function'; }, this);
var pool = [0, -0, -1, 1, 2, 3.7, 0.5, NaN, Infinity, -Infinity, 1e10, -1e10, -2147483649, 2147483648, 4294967295,
            16777217, 16777218, 0x02000001, 0x03000001, 0x03000002, 0x04000001, 0x04000002, 0x05000001, 0x06000001,
            0x06000002, 0xFF000001, 'abc', '', '16777217', '0x03000001', null, undefined, true, false, {}, [],
            [1, 2, 3, 4], [NaN, 'x'], [0, 0, -5, 1e9], { valueOf: function () { return 0x03000001; } },
            { toString: function () { return 'tex'; } }, function () {},
            'void main() { gl_FragColor = vec4(1.0); }', 'uniform float a; void main() { gl_FragColor = vec4(a); }'];
var made = [];
function arg() { return made.length && rnd(3) == 0 ? made[rnd(made.length)] : pool[rnd(pool.length)]; }
var calls = 0, thrown = 0, mode = 'hostile', solid = 0;
function setup() {
  LX_initParam('a', LX_Type.FLOAT);
  LX_initParam('l', LX_Type.LAYER);
  LX_initParam('c', LX_Type.COLOR);
  LX_initParam('p', LX_Type.POPUP);
}
function draw() {
  if (mode != 'hostile') {
    LX_renderShader(solid, LX_getSequenceRT());
    return;
  }
  for (var i = 0; i < 250; ++i) {
    var f = this[names[rnd(names.length)]];
    var args = [];
    for (var k = rnd(7); k > 0; --k) args.push(arg());
    try {
      var result = f.apply(null, args);
      ++calls;
      if (typeof result == 'number' && result > 0xFFFFFF) { made.push(result); if (made.length > 64) made.shift(); }
    } catch (e) {
      ++thrown;
    }
  }
  // Shaders that failed to build would replace the next frames with their errors.
  for (var id = 0x02000001; id < 0x02000400; ++id) if (LX_getShaderError(id) != '') LX_release(id);
}
)JS";

}  // namespace

TEST_F(EngineTest, TenThousandHostileCallsThenACorrectFrame) {
    load(kHostileScript);
    EXPECT_EQ(eval("names.length"), "32");
    for (int i = 0; i < 40; ++i) {
        frame(16, 8);
        ASSERT_EQ(engine().getErrorText(), "") << "frame " << i;
    }
    EXPECT_EQ(eval("calls + ',' + thrown"), "10000,0");

    eval(
        "(mode = 'final', solid = LX_initShader('solid', 'void main() { gl_FragColor = vec4(0.0, 0.5, 1.0, 1.0); }'))");
    EXPECT_EQ(frame(16, 8), std::make_pair(16u, 8u));
    ASSERT_EQ(engine().getErrorText(), "");
    const std::vector<uint8_t> pixels = output();
    ASSERT_EQ(pixels.size(), 16u * 8u * 4u);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        EXPECT_EQ(pixels[i], 255) << i;
        EXPECT_EQ(pixels[i + 1], 0) << i;
        EXPECT_NEAR(pixels[i + 2], 128, 1) << i;
        EXPECT_EQ(pixels[i + 3], 255) << i;
    }
}
