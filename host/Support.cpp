// Pieces the handlers share: the GL scope, world pixel lookup and sequence
// selection.
#include "Handlers.h"
#include "SequenceData.h"
#include "script/IPlugin.h"

namespace host {

GLScope::GLScope(bool take) : held(take && script::effectPlugin().lockGL()) {}

GLScope::~GLScope() {
    if (held) script::effectPlugin().unlockGL();
}

WorldPixels worldPixels(SuiteCache& suites, PF_LayerDef* world) {
    const PF_PixelDataSuite1* pixels = suites.pixelData();
    WorldPixels found;
    PF_PixelFloat* asFloat = nullptr;
    PF_Pixel16* as16 = nullptr;
    PF_Pixel8* as8 = nullptr;
    if (pixels->get_pixel_data_float(world, nullptr, &asFloat) == PF_Err_NONE && asFloat) {
        found = {asFloat, 32};
    } else if (pixels->get_pixel_data16(world, nullptr, &as16) == PF_Err_NONE && as16) {
        found = {as16, 16};
    } else if (pixels->get_pixel_data8(world, nullptr, &as8) == PF_Err_NONE && as8) {
        found = {as8, 8};
    }
    return found;
}

void selectSequence(const SequenceData& data) {
    script::IPlugin& fx = script::effectPlugin();
    // A block without a handle selects no sequence rather than leaving the
    // last instance's current.
    fx.setSequence(data.handle);
    fx.setContextExtent(data.compWidth, data.compHeight, data.compPixelAspect);
}

}  // namespace host
