// A small effect module for the hostsim tests. In the editing host it
// declares the BGRA formats and expects alpha last in memory. It uses the host the way an
// effect does (handle, pixel and parameter suites, checkouts, worlds) with
// plainly checkable results: the output is the input times the "Gain"
// slider, colour channels inverted when "Invert" is on. A control function
// (found with dlsym by the tests) switches on misbehaviour; for tests that
// run it in another process, FAKE_MODULE_SETUP_ERROR makes global setup
// return that error code and FAKE_MODULE_RENDER_MESSAGE is written into
// the message field at every render.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "sdk/PF_Suites.h"

namespace {

struct Control {
    bool leakSequenceData = false;
    bool keepSuite = false;  // acquires the handle suite at global setup and never releases it
} control;

bool isEditing(const PF_InData* in) { return in->appl_id == PF_APPL_ID_PREMIERE; }

template <typename Suite>
const Suite* acquire(PF_InData* in, const char* name, int32_t version) {
    const void* suite = nullptr;
    if (in->pica_basicP->AcquireSuite(name, version, &suite) != 0) return nullptr;
    return static_cast<const Suite*>(suite);
}

PF_Handle newHandle(PF_InData* in, uint64_t size) {
    auto* handles = acquire<PF_HandleSuite1>(in, kPFHandleSuite, kPFHandleSuiteVersion1);
    if (!handles) return nullptr;
    PF_Handle h = handles->host_new_handle(size);
    in->pica_basicP->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);
    return h;
}

void disposeHandle(PF_InData* in, PF_Handle h) {
    if (auto* handles = acquire<PF_HandleSuite1>(in, kPFHandleSuite, kPFHandleSuiteVersion1)) {
        handles->host_dispose_handle(h);
        in->pica_basicP->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);
    }
}

PF_Err globalSetup(PF_InData* in, PF_OutData* out) {
    if (const char* error = std::getenv("FAKE_MODULE_SETUP_ERROR")) return PF_Err(std::atoi(error));
    const void* instance = nullptr;
    if (in->utils->get_platform_data(in->effect_ref, PF_PlatData_RES_DLLINSTANCE, &instance) != 0) return 512;
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&globalSetup), &info) || info.dli_fbase != instance) return 512;
    out->my_version = PF_VERSION(1, 2, 0, 3, 0);
    out->out_flags = int32_t(PF_OutFlag_DEEP_COLOR_AWARE);
    out->out_flags2 = int32_t(PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE);
    out->global_data = newHandle(in, 8);
    if (!out->global_data) return PF_Err_BAD_CALLBACK_PARAM;
    if (control.keepSuite) acquire<PF_HandleSuite1>(in, kPFHandleSuite, kPFHandleSuiteVersion1);
    if (isEditing(in)) {
        auto* formats = acquire<PF_PixelFormatSuite1>(in, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
        if (!formats) return PF_Err_BAD_CALLBACK_PARAM;
        formats->ClearSupportedPixelFormats(in->effect_ref);
        for (uint32_t f : {PrPixelFormat_BGRA_4444_8u, PrPixelFormat_BGRA_4444_16u, PrPixelFormat_BGRA_4444_32f})
            formats->AddSupportedPixelFormat(in->effect_ref, f);
        in->pica_basicP->ReleaseSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
    }
    return PF_Err_NONE;
}

PF_Err paramsSetup(PF_InData* in, PF_OutData* out) {
    out->num_params = 1;
    auto add = [&](PF_ParamType type, const char* name, auto fill) {
        PF_ParamDef def{};
        def.param_type = type;
        std::strcpy(def.name, name);
        def.uu.id = out->num_params + 2;
        fill(def.u);
        if (in->inter.add_param(in->effect_ref, -1, &def) == 0) ++out->num_params;
    };
    add(PF_Param_FLOAT_SLIDER, "Gain", [](PF_ParamDefUnion& u) {
        u.fs_d.value = u.fs_d.dephault = 1.0f;
        u.fs_d.valid_min = u.fs_d.slider_min = 0;
        u.fs_d.valid_max = u.fs_d.slider_max = 2;
    });
    add(PF_Param_CHECKBOX, "Invert", [](PF_ParamDefUnion&) {});
    add(PF_Param_COLOR, "Tint", [](PF_ParamDefUnion& u) { u.cd.value = u.cd.dephault = {255, 255, 128, 0}; });
    add(PF_Param_POPUP, "Mode", [](PF_ParamDefUnion& u) {
        u.pd.num_choices = 3;
        u.pd.value = u.pd.dephault = 2;
        u.pd.u.namesptr = "One|Two|Three";
    });
    add(PF_Param_POINT, "Center", [](PF_ParamDefUnion& u) { u.td.x_value = u.td.x_dephault = 10 << 16; });
    add(PF_Param_LAYER, "Matte", [](PF_ParamDefUnion&) {});
    PF_CustomUIInfo ui{};
    ui.events = PF_CustomEFlag_EFFECT;
    return in->inter.register_ui(in->effect_ref, &ui);
}

// Output = input * Gain (colour channels inverted when Invert is on).
PF_Err render(PF_InData* in, PF_OutData* out, PF_EffectWorld* input, PF_EffectWorld* output) {
    if (const char* message = std::getenv("FAKE_MODULE_RENDER_MESSAGE"))
        in->utils->ansi.sprintf(out->return_msg, "%s", message);
    PF_ParamDef gain{}, invert{};
    PF_Err err = in->inter.checkout_param(in->effect_ref, 1, in->current_time, in->time_step, in->time_scale, &gain);
    in->inter.checkin_param(in->effect_ref, &gain);
    if (!err)
        err = in->inter.checkout_param(in->effect_ref, 2, in->current_time, in->time_step, in->time_scale, &invert);
    in->inter.checkin_param(in->effect_ref, &invert);
    if (err) return err;
    auto* pixels = acquire<PF_PixelDataSuite1>(in, kPFPixelDataSuite, kPFPixelDataSuiteVersion1);
    if (!pixels) return PF_Err_BAD_CALLBACK_PARAM;
    PF_Pixel8* p8 = nullptr;
    PF_Pixel16* p16 = nullptr;
    PF_PixelFloat* p32 = nullptr;
    pixels->get_pixel_data8(input, nullptr, &p8);
    pixels->get_pixel_data16(input, nullptr, &p16);
    pixels->get_pixel_data_float(input, nullptr, &p32);
    in->pica_basicP->ReleaseSuite(kPFPixelDataSuite, kPFPixelDataSuiteVersion1);
    const float full = p8 ? 255.0f : p16 ? 32768.0f : 1.0f;
    const int bytes = p8 ? 1 : p16 ? 2 : 4;
    const int alpha = isEditing(in) ? 3 : 0;
    if (!p8 && !p16 && !p32) return PF_Err_BAD_CALLBACK_PARAM;
    for (int y = 0; y < output->height && y < input->height; ++y) {
        const uint8_t* src = static_cast<const uint8_t*>(input->data) + size_t(y) * input->rowbytes;
        uint8_t* dst = static_cast<uint8_t*>(output->data) + size_t(y) * output->rowbytes;
        for (int x = 0; x < output->width && x < input->width; ++x) {
            for (int c = 0; c < 4; ++c) {
                const uint8_t* s = src + (x * 4 + c) * bytes;
                float v = bytes == 1   ? *s
                          : bytes == 2 ? *reinterpret_cast<const uint16_t*>(s) * 1.0f
                                       : *reinterpret_cast<const float*>(s) * 1.0f;
                if (c != alpha) {
                    v = float(v * gain.u.fs_d.value);
                    if (invert.u.bd.value) v = full - v;
                }
                if (bytes != 4) v = v < 0 ? 0 : v > full ? full : v + 0.5f;
                uint8_t* d = dst + (x * 4 + c) * bytes;
                if (bytes == 1) *d = uint8_t(v);
                else if (bytes == 2) *reinterpret_cast<uint16_t*>(d) = uint16_t(v);
                else *reinterpret_cast<float*>(d) = v;
            }
        }
    }
    return PF_Err_NONE;
}

PF_Err smartPreRender(PF_InData* in, PF_PreRenderExtra* extra) {
    PF_CheckoutResult result{};
    PF_Err err = extra->cb->checkout_layer(in->effect_ref, 0, 7, &extra->input->output_request, in->current_time,
                                           in->time_step, in->time_scale, &result);
    extra->output->result_rect = result.result_rect;
    extra->output->max_result_rect = result.max_result_rect;
    return err;
}

PF_Err smartRender(PF_InData* in, PF_OutData* out, PF_SmartRenderExtra* extra) {
    PF_EffectWorld* input = nullptr;
    PF_EffectWorld* output = nullptr;
    PF_Err err = extra->cb->checkout_layer_pixels(in->effect_ref, 7, &input);
    if (!err) err = extra->cb->checkout_output(in->effect_ref, &output);
    return err ? err : render(in, out, input, output);
}

// Pushes a disabled state and a new name for "Invert", with the newest
// parameter-utilities suite the host offers.
PF_Err updateParamsUI(PF_InData* in, PF_ParamDef* params[]) {
    for (int32_t version : {3, 2, 1}) {
        auto* utils = acquire<PF_ParamUtilsSuite3>(in, kPFParamUtilsSuite, version);
        if (!utils) continue;
        PF_ParamDef copy = *params[2];
        copy.ui_flags |= PF_PUI_DISABLED;
        std::strcpy(copy.name, "Invert (off)");
        PF_Err err = utils->PF_UpdateParamUI(in->effect_ref, 2, &copy);
        in->pica_basicP->ReleaseSuite(kPFParamUtilsSuite, version);
        return err;
    }
    return PF_Err_NONE;
}

// Reports the float colour of "Tint" in the message field.
PF_Err userChangedParam(PF_InData* in, PF_OutData* out, const PF_UserChangedParamExtra* extra) {
    if (extra->param_index != 3) return PF_Err_NONE;
    PF_ParamDef tint{};
    PF_Err err = in->inter.checkout_param(in->effect_ref, 3, in->current_time, in->time_step, in->time_scale, &tint);
    auto* colors = acquire<PF_ColorParamSuite1>(in, kPFColorParamSuite, kPFColorParamSuiteVersion1);
    PF_PixelFloat c{};
    if (!err && colors) err = colors->PF_GetFloatingPointColorFromColorDef(in->effect_ref, &tint, &c);
    if (colors) in->pica_basicP->ReleaseSuite(kPFColorParamSuite, kPFColorParamSuiteVersion1);
    in->inter.checkin_param(in->effect_ref, &tint);
    in->utils->ansi.sprintf(out->return_msg, "%.3f %.3f %.3f %.3f", c.red, c.green, c.blue, c.alpha);
    return err;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void FakeModule_control(bool leakSequenceData, bool keepSuite) {
    control.leakSequenceData = leakSequenceData;
    control.keepSuite = keepSuite;
}

extern "C" __attribute__((visibility("default"))) PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in, PF_OutData* out,
                                                                        PF_ParamDef* params[], PF_LayerDef* output,
                                                                        void* extra) {
    switch (cmd) {
        case PF_Cmd_ABOUT: in->utils->ansi.sprintf(out->return_msg, "Fake effect %d", 7); return PF_Err_NONE;
        case PF_Cmd_GLOBAL_SETUP: return globalSetup(in, out);
        case PF_Cmd_PARAMS_SETUP: return paramsSetup(in, out);
        case PF_Cmd_SEQUENCE_SETUP:
        case PF_Cmd_SEQUENCE_RESETUP:
            out->sequence_data = newHandle(in, 64);
            return out->sequence_data ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY;
        case PF_Cmd_SEQUENCE_FLATTEN:
            out->sequence_data = newHandle(in, 64);
            disposeHandle(in, in->sequence_data);
            return PF_Err_NONE;
        case PF_Cmd_SEQUENCE_SETDOWN:
            if (!control.leakSequenceData && in->sequence_data) disposeHandle(in, in->sequence_data);
            in->sequence_data = nullptr;
            return PF_Err_NONE;
        case PF_Cmd_FRAME_SETUP:
            if (isEditing(in)) out->frame_data = newHandle(in, 8);
            return PF_Err_NONE;
        case PF_Cmd_RENDER: return render(in, out, &params[0]->u.ld, output);
        case PF_Cmd_FRAME_SETDOWN:
            if (out->frame_data) disposeHandle(in, out->frame_data);
            out->frame_data = nullptr;
            return PF_Err_NONE;
        case PF_Cmd_USER_CHANGED_PARAM: return userChangedParam(in, out, static_cast<PF_UserChangedParamExtra*>(extra));
        case PF_Cmd_UPDATE_PARAMS_UI: return updateParamsUI(in, params);
        case PF_Cmd_EVENT: {
            auto* event = static_cast<PF_EventExtra*>(extra);
            if (event->effect_win.index == 3) event->evt_out_flags = PF_EO_HANDLED_EVENT;
            return PF_Err_NONE;
        }
        case PF_Cmd_SMART_PRE_RENDER: return smartPreRender(in, static_cast<PF_PreRenderExtra*>(extra));
        case PF_Cmd_SMART_RENDER: return smartRender(in, out, static_cast<PF_SmartRenderExtra*>(extra));
        default: return PF_Err_NONE;
    }
}
