// The frame render path: input upload, the script's draw, readback into
// the host's output world, and the editing host's frame data.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ImageLib/Surface.h"
#include "Handlers.h"
#include "HostSupport.h"
#include "SequenceData.h"
#include "script/IPlugin.h"

namespace host {

namespace {

struct Area {
    uint32_t w, h;
};

uint32_t bytesPerPixel(uint32_t depth) { return depth * 4 / 8; }

PF_Err copyThrough(PF_InData* in_data, PF_LayerDef* input, PF_LayerDef* output) {
    if (!in_data->utils || !in_data->utils->copy) return PF_Err_INVALID_CALLBACK;
    return in_data->utils->copy(in_data->effect_ref, input, output, nullptr, nullptr);
}

// Whether a world's rows can hold width pixels of this depth.
bool worldHolds(const PF_LayerDef& world, uint32_t depth) {
    if (!world.data || world.width <= 0 || world.height <= 0 || depth == 0) return false;
    const int64_t rowBytes = world.rowbytes < 0 ? -int64_t(world.rowbytes) : int64_t(world.rowbytes);
    return rowBytes >= int64_t(world.width) * bytesPerPixel(depth);
}

// The editing host's output size from frame setup, kept inside the output
// world whatever the frame data says; the whole world when there is none.
Area renderArea(SuiteCache& suites, PF_InData* in_data, PF_OutData* out_data, const PF_LayerDef& output) {
    const Area world{static_cast<uint32_t>(output.width), static_cast<uint32_t>(output.height)};
    const PF_Handle handle = out_data->frame_data ? out_data->frame_data : in_data->frame_data;
    if (!handle) return world;
    HandleLock lock(suites.handles(), handle);
    const auto* frame = static_cast<const FrameData*>(lock.data());
    if (!frame) return world;
    return {std::clamp<uint32_t>(frame->width, 1, world.w), std::clamp<uint32_t>(frame->height, 1, world.h)};
}

void uploadCompositingInput(SuiteCache& suites, PF_LayerDef* input) {
    const WorldPixels pixels = worldPixels(suites, input);
    if (!pixels.data || !worldHolds(*input, pixels.depth)) return;
    script::effectPlugin().uploadLayer(script::kInputLayerIndex, pixels.data, static_cast<uint32_t>(input->width),
                                       static_cast<uint32_t>(input->height), pixels.depth, input->rowbytes);
}

// The editing host's input: the source area at the pre-effect origin,
// cropped to the input world, copied into a tightly packed buffer.
void uploadEditingInput(PF_InData* in_data, const PF_LayerDef& input, uint32_t depth) {
    if (!worldHolds(input, depth)) return;
    const uint32_t bpp = bytesPerPixel(depth);
    const uint32_t x0 = static_cast<uint32_t>(std::clamp<A_long>(in_data->pre_effect_source_origin_x, 0, input.width));
    const uint32_t y0 = static_cast<uint32_t>(std::clamp<A_long>(in_data->pre_effect_source_origin_y, 0, input.height));
    const uint32_t w = std::min(scale(static_cast<uint32_t>(std::max<A_long>(in_data->width, 1)),
                                      in_data->downsample_x.num, in_data->downsample_x.den),
                                static_cast<uint32_t>(input.width) - x0);
    const uint32_t h = std::min(scale(static_cast<uint32_t>(std::max<A_long>(in_data->height, 1)),
                                      in_data->downsample_y.num, in_data->downsample_y.den),
                                static_cast<uint32_t>(input.height) - y0);
    if (w == 0 || h == 0) return;
    const size_t row = size_t(w) * bpp;
    std::vector<uint8_t> packed(row * h);
    const auto* base = static_cast<const uint8_t*>(input.data);
    for (uint32_t y = 0; y < h; ++y) {
        std::memcpy(packed.data() + row * y, base + int64_t(y0 + y) * input.rowbytes + size_t(x0) * bpp, row);
    }
    script::effectPlugin().uploadLayer(script::kInputLayerIndex, packed.data(), w, h, depth, static_cast<int32_t>(row));
}

void copyRow(const uint8_t* src, uint8_t* dst, uint32_t pixels, uint32_t depth) {
    if (depth != 16) {
        std::memcpy(dst, src, size_t(pixels) * bytesPerPixel(depth));
        return;
    }
    // Narrowed a block at a time through an aligned buffer, which the
    // compiler turns into vector code (the rows need not be aligned). Whole
    // blocks move with a fixed size, so without a call to memcpy.
    constexpr size_t kBlock = 64;
    uint16_t block[kBlock] = {};
    const auto narrowBlock = [&](size_t done, size_t n) {
        std::memcpy(block, src + 2 * done, 2 * n);
        for (uint16_t& v : block) v = ImageLib::narrowToHost16(v);
        std::memcpy(dst + 2 * done, block, 2 * n);
    };
    const size_t values = size_t(pixels) * 4;
    size_t done = 0;
    for (; done + kBlock <= values; done += kBlock) narrowBlock(done, kBlock);
    if (done < values) narrowBlock(done, values - done);
}

// Copies the w x h readback (rows bottom-up, tightly packed) into the
// world, its first row landing on the area's last row. The area sits at the
// top-left corner or centred, and always inside the world.
void copyReadback(const uint8_t* readback, Area area, uint32_t depth, const PF_LayerDef& world, uint8_t* dst,
                  bool centred) {
    const uint32_t worldW = static_cast<uint32_t>(world.width);
    const uint32_t worldH = static_cast<uint32_t>(world.height);
    const uint32_t w = std::min(area.w, worldW);
    const uint32_t h = std::min(area.h, worldH);
    const uint32_t dx = centred ? (worldW - w) / 2 : 0;
    const uint32_t dy = centred ? (worldH - h) / 2 : 0;
    const uint32_t bpp = bytesPerPixel(depth);
    const size_t srcRow = size_t(area.w) * bpp;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* from = readback + srcRow * (area.h - 1 - y);
        uint8_t* to = dst + int64_t(dy + y) * world.rowbytes + size_t(dx) * bpp;
        copyRow(from, to, w, depth);
    }
}

}  // namespace

double frameSeconds(const PF_InData* in_data) {
    return in_data->time_scale ? double(in_data->current_time) / double(in_data->time_scale) : 0.0;
}

uint32_t depthOfPixelFormat(uint32_t format) {
    switch (format) {
        case PrPixelFormat_ARGB_4444_8u:
        case PrPixelFormat_XRGB_4444_8u:
        case PrPixelFormat_BGRA_4444_8u: return 8;
        case PrPixelFormat_ARGB_4444_16u:
        case PrPixelFormat_XRGB_4444_16u:
        case PrPixelFormat_BGRA_4444_16u:
        case PF_PixelFormat_ARGB64: return 16;
        case PrPixelFormat_ARGB_4444_32f:
        case PrPixelFormat_XRGB_4444_32f:
        case PrPixelFormat_BGRA_4444_32f:
        case PF_PixelFormat_ARGB128: return 32;
        default: return 0;
    }
}

uint32_t pixelDepth(PF_LayerDef* world, PF_InData* in_data, PF_OutData* out_data) {
    uint32_t format = PF_PixelFormat_INVALID;
    if (isPremiereHost(in_data)) {
        DirectSuite<PF_PixelFormatSuite1> formats(in_data, kPFPixelFormatSuite, {kPFPixelFormatSuiteVersion1});
        PrPixelFormat found = PrPixelFormat_Invalid;
        if (formats && formats->GetPixelFormat(world, &found) == PF_Err_NONE) format = found;
    } else {
        DirectSuite<PF_WorldSuite2> worlds(in_data, kPFWorldSuite, {kPFWorldSuiteVersion2});
        PF_PixelFormat found = static_cast<PF_PixelFormat>(PF_PixelFormat_INVALID);
        if (!worlds) {
            reportMessage(in_data, out_data, "Couldn't load suite.");
        } else if (worlds->PF_GetPixelFormat(world, &found) == PF_Err_NONE) {
            format = static_cast<uint32_t>(found);
        }
    }
    return depthOfPixelFormat(format);
}

PF_Err handleRender(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                    PF_LayerDef* input) {
    if (!input) {
        if (!params || !params[0]) return PF_Err_NONE;
        input = &params[0]->u.ld;
    }
    if (!output) return PF_Err_BAD_CALLBACK_PARAM;
    const uint32_t depth = pixelDepth(input, in_data, out_data);
    const SequenceData* data = sequenceDataOf(in_data);
    // Without an instance, or in a pixel format the engine cannot take, the
    // input goes through unchanged.
    if (!data || depth == 0) return copyThrough(in_data, input, output);

    script::IPlugin& fx = script::effectPlugin();
    selectSequence(*data);
    fx.setInputOrigin(output->origin_x, output->origin_y);
    SuiteCache suites(in_data);
    const bool editing = isPremiereHost(in_data);
    PF_Err result = PF_Err_NONE;
    Area area{static_cast<uint32_t>(std::max<A_long>(output->width, 0)),
              static_cast<uint32_t>(std::max<A_long>(output->height, 0))};
    if (editing) {
        area = renderArea(suites, in_data, out_data, *output);
        if (area.w < static_cast<uint32_t>(output->width) || area.h < static_cast<uint32_t>(output->height)) {
            const PF_Pixel transparent{0, 0, 0, 0};
            result = in_data->utils && in_data->utils->fill
                         ? in_data->utils->fill(in_data->effect_ref, &transparent, nullptr, output)
                         : PF_Err_INVALID_CALLBACK;
        }
    }
    readParamValues(suites, in_data, true);

    // Where the result goes, found before the engine hands out its readback.
    uint8_t* destination = nullptr;
    if (editing) {
        if (worldHolds(*output, depth)) destination = static_cast<uint8_t*>(output->data);
    } else {
        const WorldPixels out = worldPixels(suites, output);
        if (out.depth == depth && worldHolds(*output, depth)) destination = static_cast<uint8_t*>(out.data);
    }

    GLScope gl(true);
    if (!gl.taken()) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    if (editing) {
        uploadEditingInput(in_data, *input, depth);
    } else {
        uploadCompositingInput(suites, input);
    }
    fx.render(frameSeconds(in_data), area.w, area.h, depth);
    // The frame shows a failing shader or script. The text also goes into
    // the message field for a host that looks, without the flag that would
    // raise an alert on every frame while the effect stays broken.
    const std::string errors = fx.getErrorText();
    if (!errors.empty()) formatHostString(in_data, out_data->return_msg, sizeof(out_data->return_msg), errors);
    const auto* readback = static_cast<const uint8_t*>(fx.readOutput());
    if (readback && destination) {
        copyReadback(readback, area, depth, *output, destination, editing);
    } else if (result == PF_Err_NONE) {
        result = copyThrough(in_data, input, output);
    }
    if (readback) fx.releaseOutput();
    return result;
}

PF_Err handleSmartRender(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], void* extra) {
    const auto* smart = static_cast<const PF_SmartRenderExtra*>(extra);
    if (!smart || !smart->cb || !smart->cb->checkout_layer_pixels || !smart->cb->checkout_output) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_EffectWorld* input = nullptr;
    throwIfError(smart->cb->checkout_layer_pixels(in_data->effect_ref, kInputCheckoutId, &input));
    PF_EffectWorld* output = nullptr;
    throwIfError(smart->cb->checkout_output(in_data->effect_ref, &output));
    return handleRender(in_data, out_data, params, output, input);
}

PF_Err handleFrameSetdown(PF_InData* in_data, PF_OutData* out_data) {
    const PF_Handle frame = out_data->frame_data ? out_data->frame_data : in_data->frame_data;
    if (!frame) return PF_Err_NONE;
    SuiteCache suites(in_data);
    suites.handles()->host_dispose_handle(frame);
    // The host may hand the same handle back in both records.
    if (out_data->frame_data == frame) out_data->frame_data = nullptr;
    if (in_data->frame_data == frame) in_data->frame_data = nullptr;
    return PF_Err_NONE;
}

}  // namespace host
