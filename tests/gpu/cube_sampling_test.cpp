// A cube-map read in an effect's shader compiles on the GL and samples the
// 2D texture bound to it in the equirectangular projection.
#include "GLFixture.h"

#include <cmath>

class CubeSamplingTest : public GLTest {};

// Directions chosen to land on texel centres of a 4 x 4 texture:
// u = (atan(x, z) + 3.141526) / 6.283052, v = acos(y) / 3.141526.
// (u, v) = (0.875, 0.375) is column 3, row 1 (texel 7); (0.125, 0.875) is
// column 0, row 3 (texel 12).
TEST_F(CubeSamplingTest, TextureCubeReadsTheEquirectangularTexel) {
    const auto direction = [](double u, double v) {
        const double azimuth = u * 6.283052 - 3.141526, polar = v * 3.141526;
        return std::to_string(std::sin(azimuth)) + ", " + std::to_string(std::cos(polar)) + ", " +
               std::to_string(std::cos(azimuth));
    };
    const uint32_t shaderId = context().createShader(
        "cube", "uniform samplerCube tex;\nvoid main() {\n  vec3 d = gl_TexCoord[0].x < 0.5 ? vec3(" +
                    direction(0.875, 0.375) + ") : vec3(" + direction(0.125, 0.875) +
                    ");\n  gl_FragColor = textureCube(tex, d);\n}\n");

    // Sixteen texels in host order, each told apart by its red and green.
    std::vector<uint8_t> texels;
    for (uint8_t i = 0; i < 16; ++i) texels.insert(texels.end(), {255, uint8_t(16 * i), i, uint8_t(200 - i)});
    gpu::Texture& texture = context().getTexture(context().createTexture(4, 4, 8));
    ASSERT_TRUE(texture.upload(texels.data(), 4, 4, 8, 16, true, false));
    texture.setParameter(GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    texture.setParameter(GL_TEXTURE_MAG_FILTER, GL_NEAREST);

    gpu::RenderTarget& target = context().getRenderTarget(context().createRenderTarget(2, 1, 8));
    drawInto(target, shaderId, texture.glName());
    const std::vector<uint8_t> expected = {255, 16 * 7, 7, 200 - 7, 255, 16 * 12, 12, 200 - 12};
    EXPECT_EQ(readBack<uint8_t>(target), expected);
}
