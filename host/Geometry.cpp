// Output geometry of a frame: the composition info the script reads, frame
// setup (both hosts) and smart pre-render (compositing host).
#include <algorithm>
#include <cstdint>
#include <string>

#include "Handlers.h"
#include "HostSupport.h"
#include "SequenceData.h"
#include "script/IPlugin.h"

namespace host {

namespace {

float ratioOrOne(int64_t num, int64_t den) {
    if (num <= 0 || den <= 0) return 1.0f;
    return static_cast<float>(num) / static_cast<float>(den);
}

void refreshFromComposition(SuiteCache& suites, PF_InData* in_data, SequenceData* data) {
    A_long width = 0;
    A_long height = 0;
    float aspect = 1.0f;
    AEGP_LayerH layer = nullptr;
    AEGP_CompH comp = nullptr;
    AEGP_ItemH item = nullptr;
    A_Ratio par{1, 1};
    const auto* effects = suites.get<AEGP_PFInterfaceSuite1>(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1);
    if (effects->AEGP_GetEffectLayer(in_data->effect_ref, &layer) == A_Err_NONE) {
        const auto* layers = suites.get<AEGP_LayerSuite5>(kAEGPLayerSuite, kAEGPLayerSuiteVersion5);
        if (layers->AEGP_GetLayerParentComp(layer, &comp) == A_Err_NONE) {
            const auto* comps = suites.get<AEGP_CompSuite4>(kAEGPCompSuite, kAEGPCompSuiteVersion4);
            if (comps->AEGP_GetItemFromComp(comp, &item) == A_Err_NONE) {
                const auto* items = suites.get<AEGP_ItemSuite6>(kAEGPItemSuite, kAEGPItemSuiteVersion6);
                if (items->AEGP_GetItemDimensions(item, &width, &height) == A_Err_NONE &&
                    items->AEGP_GetItemPixelAspectRatio(item, &par) == A_Err_NONE) {
                    aspect = ratioOrOne(par.num, par.den);
                }
            }
        }
    }
    data->compWidth = static_cast<uint32_t>(width);
    data->compHeight = static_cast<uint32_t>(height);
    data->compPixelAspect = aspect;
}

void refreshFromTimeline(PF_InData* in_data, SequenceData* data) {
    DirectSuite<PF_UtilitySuite3> utility(in_data, kPFUtilitySuite, {kPFUtilitySuiteVersion3});
    DirectSuite<PrSDKSequenceInfoSuite> info(in_data, kPrSDKSequenceInfoSuite, {kPrSDKSequenceInfoSuiteVersion2});
    if (!utility || !info) return;
    PrTimelineID timeline = 0;
    if (utility->GetContainingTimelineID(in_data->effect_ref, &timeline) != PF_Err_NONE) return;
    csSDK_uint32 num = 1;
    csSDK_uint32 den = 1;
    if (info->GetPixelAspectRatio(timeline, &num, &den) != 0) return;
    data->compPixelAspect = ratioOrOne(num, den);
    prRect frame{0, 0, 0, 0};
    if (info->GetFrameRect(timeline, &frame) != 0) return;
    data->compWidth = static_cast<uint32_t>(frame.right - frame.left);
    data->compHeight = static_cast<uint32_t>(frame.bottom - frame.top);
}

bool isEmpty(const PF_Rect& r) { return r.left >= r.right || r.top >= r.bottom; }

// Grows into so that it covers with; empty rectangles do not count.
void unite(PF_Rect& into, const PF_Rect& with) {
    if (isEmpty(with)) return;
    if (isEmpty(into)) {
        into = with;
        return;
    }
    into.left = std::min(into.left, with.left);
    into.top = std::min(into.top, with.top);
    into.right = std::max(into.right, with.right);
    into.bottom = std::max(into.bottom, with.bottom);
}

// Composition info, sequence, frame time and parameter values in place
// before the script's preRender.
void prepareSequence(SuiteCache& suites, PF_InData* in_data, SequenceData& data) {
    refreshCompositionInfo(suites, in_data, &data);
    selectSequence(data);
    script::effectPlugin().setFrameTime(frameSeconds(in_data));
    readParamValues(suites, in_data, false);
}

struct Size {
    uint32_t w, h;
    bool operator==(const Size& o) const { return w == o.w && h == o.h; }
    bool operator!=(const Size& o) const { return !(*this == o); }
};

// A host coordinate: signed 32 bits, saturated.
A_long hostCoordinate(int64_t v) { return static_cast<A_long>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Where a side of `outer` pixels starts so that `inner` sits centred in it
// (integer halves), offset by `base`.
A_long centredStart(uint32_t outer, uint32_t inner, int64_t base = 0) {
    return hostCoordinate(int64_t{outer / 2} - int64_t{inner / 2} + base);
}

// The output size held to what the engine can render.
Size renderable(Size out) {
    script::holdOutputSize(script::effectPlugin(), out.w, out.h);
    return out;
}

Size scriptOutputSize(Size input) {
    Size out = input;
    script::effectPlugin().preRender(input.w, input.h, &out.w, &out.h);
    return out;
}

void frameSetupCompositing(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    // The input layer comes already downsampled, so what the script asks
    // for at its size is not downsampled again. in_data's size (used when
    // there is no layer) is the full-resolution one, so that answer is.
    Size in{static_cast<uint32_t>(in_data->width), static_cast<uint32_t>(in_data->height)};
    PF_RationalScale downX = in_data->downsample_x;
    PF_RationalScale downY = in_data->downsample_y;
    if (params && params[0]) {
        in = {static_cast<uint32_t>(params[0]->u.ld.width), static_cast<uint32_t>(params[0]->u.ld.height)};
        downX = downY = PF_RationalScale{1, 1};
    }
    const Size wanted = scriptOutputSize(in);
    Size out{scale(wanted.w, downX.num, downX.den), scale(wanted.h, downY.num, downY.den)};
    if (wanted != in) out.w = scale(out.w, in_data->pixel_aspect_ratio.num, in_data->pixel_aspect_ratio.den);
    if (out != in) {
        out = renderable(out);
        out_data->width = static_cast<A_long>(out.w);
        out_data->height = static_cast<A_long>(out.h);
        out_data->origin.h = centredStart(out.w, in.w);
        out_data->origin.v = centredStart(out.h, in.h);
    }
    out_data->frame_data = nullptr;
}

PF_Err frameSetupEditing(SuiteCache& suites, PF_InData* in_data, PF_OutData* out_data) {
    const Size in{static_cast<uint32_t>(in_data->width), static_cast<uint32_t>(in_data->height)};
    const Size wanted = scriptOutputSize(in);
    const PF_RationalScale& dx = in_data->downsample_x;
    const PF_RationalScale& dy = in_data->downsample_y;
    const PF_RationalScale& par = in_data->pixel_aspect_ratio;
    Size out{scale(wanted.w, dx.num, dx.den), scale(wanted.h, dy.num, dy.den)};
    Size scaledIn{scale(in.w, dx.num, dx.den), scale(in.h, dy.num, dy.den)};
    if (wanted != in) {
        out.w = scale(out.w, par.num, par.den);
        scaledIn.w = scale(scaledIn.w, par.num, par.den);
        out = renderable(out);
        // The output only ever grows.
        const int64_t current[2] = {out_data->width, out_data->height};
        if (current[0] < int64_t{out.w} || current[1] < int64_t{out.h}) {
            out_data->width = static_cast<A_long>(out.w);
            out_data->height = static_cast<A_long>(out.h);
            out_data->origin.h = centredStart(out.w, scaledIn.w);
            out_data->origin.v = centredStart(out.h, scaledIn.h);
        }
    }
    const PF_HandleSuite1* handles = suites.handles();
    HostHandle frame(handles, sizeof(FrameData));
    if (!frame.valid()) return PF_Err_OUT_OF_MEMORY;
    {
        HandleLock lock(handles, frame.get());
        auto* size = static_cast<FrameData*>(lock.data());
        if (!size) return PF_Err_OUT_OF_MEMORY;
        *size = {out.w, out.h};
    }
    out_data->frame_data = frame.release();
    return PF_Err_NONE;
}

}  // namespace

uint32_t scale(uint32_t size, int32_t num, uint32_t den) {
    size = std::max<uint32_t>(size, 1);
    if (num <= 0 || den == 0 || static_cast<uint32_t>(num) == den) return size;
    const uint64_t scaled = (static_cast<uint64_t>(size) * static_cast<uint64_t>(num) + den / 2) / den;
    return static_cast<uint32_t>(std::clamp<uint64_t>(scaled, 1, UINT32_MAX));
}

void refreshCompositionInfo(SuiteCache& suites, PF_InData* in_data, SequenceData* data) {
    if (isPremiereHost(in_data)) {
        refreshFromTimeline(in_data, data);
    } else {
        refreshFromComposition(suites, in_data, data);
    }
}

PF_Err handleFrameSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    SequenceData* data = sequenceDataOf(in_data);
    if (!data) return PF_Err_NONE;
    SuiteCache suites(in_data);
    GLScope gl(!isLegacyHost(in_data));
    prepareSequence(suites, in_data, *data);
    if (isPremiereHost(in_data)) return frameSetupEditing(suites, in_data, out_data);
    frameSetupCompositing(in_data, out_data, params);
    return PF_Err_NONE;
}

PF_Err handleSmartPreRender(PF_InData* in_data, void* extra) {
    auto* pre = static_cast<PF_PreRenderExtra*>(extra);
    if (!pre || !pre->input || !pre->output || !pre->cb || !pre->cb->checkout_layer) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_RenderRequest request = pre->input->output_request;
    request.channel_mask = PF_ChannelMask_ARGB;
    request.preserve_rgb_of_zero_alpha = 1;
    PF_CheckoutResult checkout{};
    const PF_Err result =
        pre->cb->checkout_layer(in_data->effect_ref, 0, kInputCheckoutId, &request, in_data->current_time,
                                in_data->time_step, in_data->time_scale, &checkout);
    // Without a checkout there are no input rectangles to build on.
    if (result != PF_Err_NONE) return result;
    SequenceData* data = sequenceDataOf(in_data);
    if (!data) return result;

    SuiteCache suites(in_data);
    GLScope gl(!isLegacyHost(in_data));
    prepareSequence(suites, in_data, *data);
    const PF_Rect& inMax = checkout.max_result_rect;
    const Size in{static_cast<uint32_t>(inMax.right - inMax.left), static_cast<uint32_t>(inMax.bottom - inMax.top)};
    Size out = scriptOutputSize(in);
    if (out != in) out = renderable(out);
    PF_PreRenderOutput& output = *pre->output;
    if (out == in) {
        unite(output.result_rect, checkout.result_rect);
        unite(output.max_result_rect, checkout.max_result_rect);
    } else {
        // The enlarged output, centred on the input.
        PF_Rect enlarged;
        enlarged.left = centredStart(in.w, out.w, inMax.left);
        enlarged.top = centredStart(in.h, out.h, inMax.top);
        enlarged.right = hostCoordinate(int64_t{enlarged.left} + out.w);
        enlarged.bottom = hostCoordinate(int64_t{enlarged.top} + out.h);
        output.result_rect = enlarged;
        unite(output.max_result_rect, enlarged);
        output.flags = PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;
    }
    return result;
}

}  // namespace host
