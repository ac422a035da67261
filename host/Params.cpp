// Host side of the script's parameters: registration, value reads, user
// changes, UI refreshes and the effect-window events.
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "Handlers.h"
#include "HostSupport.h"
#include "SequenceData.h"
#include "script/IPlugin.h"

namespace host {

namespace {

// The two-way mapping between script positions and host indexes, and the
// first COLOR / POINT host index. Process-wide, filled at parameter setup
// and by every UI refresh; guarded by the entry lock.
struct ParamMaps {
    std::map<uint32_t, uint32_t> scriptToHost;
    std::map<uint32_t, uint32_t> hostToScript;
    uint32_t firstColor = 0;
    uint32_t firstPoint = 0;
};

ParamMaps& maps() {
    static ParamMaps instance;
    return instance;
}

constexpr int32_t kFlagsSupervised = PF_ParamFlag_SUPERVISE;
constexpr int32_t kFlagsCollapsedSupervised = PF_ParamFlag_COLLAPSE_TWIRLY | PF_ParamFlag_SUPERVISE;

bool hiddenFromHost(const gpu::Parameter& param) { return param.flags & gpu::kParamFlagSkipHostUpdate; }

// Kinds read only for a render: a layer's pixels are uploaded, a path has no
// value. A TEXTURE parameter's popup choice is read like any popup's.
bool isImageKind(uint32_t kind) { return kind == LX_LAYER || kind == LX_PATH; }

// BOOL and POPUP keep a 32-bit integer in the first value slot.
int32_t intSlot(const float value[4]) {
    int32_t v;
    std::memcpy(&v, &value[0], sizeof v);
    return v;
}
void setIntSlot(float value[4], int32_t v) { std::memcpy(&value[0], &v, sizeof v); }

int32_t saturatedInt(double v) {
    if (std::isnan(v)) return 0;
    if (v <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (v >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

// A colour component truncated to an integer and kept in 8 bits.
A_u_char colorByte(float v) { return static_cast<A_u_char>(saturatedInt(v) & 0xFF); }

// num/den as float; an invalid rational counts as 1.
float ratio(int32_t num, uint32_t den) {
    if (num == 0 || den == 0) return 1.0f;
    return static_cast<float>(num) / static_cast<float>(den);
}

// Fills def for the parameter's kind; false for kinds the host cannot show.
bool buildDefinition(const PF_InData* in_data, const gpu::Parameter& param, PF_ParamDef& def) {
    const float* v = param.value;
    switch (param.kind) {
        case LX_FLOAT: {
            def.param_type = PF_Param_FLOAT_SLIDER;
            def.flags = kFlagsCollapsedSupervised;
            PF_FloatSliderDef& fs = def.u.fs_d;
            fs.value = v[0];
            fs.dephault = v[0];
            fs.valid_min = fs.slider_min = param.minimum[0];
            fs.valid_max = fs.slider_max = param.maximum[0];
            // The precision is a signed byte in the flags.
            fs.precision =
                static_cast<int8_t>(param.flags >> gpu::kParamPrecisionShift);  // NOLINT(bugprone-signed-char-misuse)
            fs.display_flags = PF_ValueDisplayFlag_NONE;
            fs.curve_tolerance = AEFX_AUDIO_DEFAULT_CURVE_TOLERANCE;
            break;
        }
        case LX_POINT: {
            def.param_type = PF_Param_POINT_3D;
            def.flags = kFlagsCollapsedSupervised;
            PF_Point3DDef& pt = def.u.point3d_d;
            pt.x_value = pt.x_dephault = v[0];
            pt.y_value = pt.y_dephault = v[1];
            pt.z_value = pt.z_dephault = v[2];
            break;
        }
        case LX_COLOR:
            def.param_type = PF_Param_COLOR;
            def.flags = kFlagsCollapsedSupervised;
            def.u.cd.value = {255, colorByte(v[0]), colorByte(v[1]), colorByte(v[2])};
            def.u.cd.dephault = def.u.cd.value;
            break;
        case LX_LAYER:
            def.param_type = PF_Param_LAYER;
            def.flags = kFlagsSupervised;
            def.u.ld.dephault = PF_LayerDefault_NONE;
            break;
        case LX_POINT2D:
            def.param_type = PF_Param_POINT;
            def.flags = kFlagsCollapsedSupervised;
            def.u.td.x_value = def.u.td.x_dephault = fixedRounded(v[0]);
            def.u.td.y_value = def.u.td.y_dephault = fixedRounded(v[1]);
            def.u.td.restrict_bounds = 0;
            break;
        case LX_TEXTURE:
        case LX_POPUP:
            def.param_type = PF_Param_POPUP;
            def.flags = kFlagsSupervised;
            def.u.pd.num_choices = static_cast<A_short>(param.choiceCount);
            def.u.pd.u.namesptr = param.choices.c_str();
            if (param.kind == LX_POPUP) {
                def.u.pd.value = def.u.pd.dephault = static_cast<int16_t>(intSlot(v) & 0xFFFF);
            } else {
                def.u.pd.value = def.u.pd.dephault = 1;  // popup entries count from 1
            }
            break;
        case LX_PATH:
            def.param_type = PF_Param_PATH;
            def.flags = kFlagsSupervised;
            def.u.path_d.dephault = 0;
            break;
        case LX_BOOL:
            def.param_type = PF_Param_CHECKBOX;
            def.flags = kFlagsSupervised;
            def.u.bd.value = intSlot(v);
            def.u.bd.dephault = static_cast<PF_Boolean>(intSlot(v) & 0xFF);
            def.u.bd.u.nameptr = "";
            break;
        case LX_GROUP_START: def.param_type = PF_Param_GROUP_START; break;
        case LX_GROUP_END: def.param_type = PF_Param_GROUP_END; return true;  // no name
        case LX_ANGLE:
            def.param_type = PF_Param_ANGLE;
            def.flags = kFlagsCollapsedSupervised;
            def.u.ad.value = def.u.ad.dephault = fixedTruncated(v[0]);
            break;
        default: return false;
    }
    copyHostString(in_data, def.name, sizeof def.name, param.displayName);
    return true;
}

// Sets the options-button name (compositing host only). Returns the result
// the command goes on with.
PF_Err nameOptionsButton(PF_InData* in_data, PF_OutData* out_data) {
    if (!in_data->pica_basicP) {
        reportMessage(in_data, out_data, "Not able to release AEFX Suite.");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    DirectSuite<PF_EffectUISuite1> ui(in_data, kPFEffectUISuite, {kPFEffectUISuiteVersion1});
    if (!ui) {
        reportMessage(in_data, out_data, "Not able to acquire AEFX Suite.");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return ui->PF_SetOptionsButtonName(in_data->effect_ref, " ");
}

void uploadLayerParam(SuiteCache& suites, const PF_ParamDef& def, uint32_t position) {
    PF_LayerDef layer = def.u.ld;
    if (!layer.data) return;  // the texture keeps its previous image
    const WorldPixels pixels = worldPixels(suites, &layer);
    if (!pixels.data) return;
    GLScope gl(true);
    script::effectPlugin().uploadLayer(position, pixels.data, static_cast<uint32_t>(layer.width),
                                       static_cast<uint32_t>(layer.height), pixels.depth, layer.rowbytes);
}

}  // namespace

PF_Fixed fixedRounded(double value) { return saturatedInt(std::round(value * 65536.0)); }
PF_Fixed fixedTruncated(double value) { return saturatedInt(std::trunc(value * 65536.0)); }

uint32_t firstColorIndex() { return maps().firstColor; }
uint32_t firstPointIndex() { return maps().firstPoint; }

PF_Err handleParamsSetup(PF_InData* in_data, PF_OutData* out_data) {
    script::IPlugin& fx = script::effectPlugin();
    ParamMaps& m = maps();
    out_data->num_params = 1;  // the input layer
    const uint32_t count = fx.paramCount();
    for (uint32_t p = 0; p < count; ++p) {
        const gpu::Parameter& param = fx.getParam(p);
        if (hiddenFromHost(param)) continue;
        PF_ParamDef def;
        std::memset(&def, 0, sizeof def);
        // A kind the host cannot show takes no host index, so the indexes of
        // the parameters after it still match the host's.
        if (!buildDefinition(in_data, param, def)) continue;
        const uint32_t hostIndex = static_cast<uint32_t>(out_data->num_params);
        if (param.kind == LX_COLOR && m.firstColor == 0) m.firstColor = hostIndex;
        if (param.kind == LX_POINT && m.firstPoint == 0) m.firstPoint = hostIndex;
        def.uu.id = static_cast<A_long>(hostIndex + 2);
        if (!in_data->inter.add_param || in_data->inter.add_param(in_data->effect_ref, -1, &def) != PF_Err_NONE) {
            break;  // keep the parameters added so far
        }
        m.scriptToHost[p] = hostIndex;
        m.hostToScript[hostIndex] = p;
        ++out_data->num_params;
    }

    if (!isPremiereHost(in_data)) {
        const PF_Err err = nameOptionsButton(in_data, out_data);
        if (err != PF_Err_NONE) return err;
    }

    PF_CustomUIInfo ui;
    std::memset(&ui, 0, sizeof ui);
    ui.events = PF_CustomEFlag_EFFECT;
    if (!in_data->inter.register_ui) return PF_Err_INVALID_CALLBACK;
    return in_data->inter.register_ui(in_data->effect_ref, &ui);
}

void readParamValues(SuiteCache& suites, PF_InData* in_data, bool all) {
    script::IPlugin& fx = script::effectPlugin();
    const ParamMaps& m = maps();
    const PF_InteractCallbacks& inter = in_data->inter;
    if (!inter.checkout_param || !inter.checkin_param) return;
    const uint32_t count = fx.paramCount();
    for (uint32_t p = 0; p < count; ++p) {
        const gpu::Parameter& param = fx.getParam(p);
        if (hiddenFromHost(param) || (!all && isImageKind(param.kind))) continue;
        const auto found = m.scriptToHost.find(p);
        if (found == m.scriptToHost.end() || found->second == 0) continue;
        const auto hostIndex = static_cast<PF_ParamIndex>(found->second);
        PF_ParamDef def;
        std::memset(&def, 0, sizeof def);
        const PF_Err err = inter.checkout_param(in_data->effect_ref, hostIndex, in_data->current_time,
                                                in_data->time_step, in_data->time_scale, &def);
        if (err == PF_Err_NONE) readParamValue(suites, in_data, def, hostIndex);
        inter.checkin_param(in_data->effect_ref, &def);
        if (err != PF_Err_NONE) break;
    }
}

void readParamValue(SuiteCache& suites, PF_InData* in_data, const PF_ParamDef& def, int32_t hostIndex) {
    const ParamMaps& m = maps();
    const auto found = m.hostToScript.find(static_cast<uint32_t>(hostIndex));
    if (found == m.hostToScript.end()) return;
    const uint32_t position = found->second;
    script::IPlugin& fx = script::effectPlugin();
    const uint32_t flags = fx.getParam(position).flags;

    const float par = ratio(in_data->pixel_aspect_ratio.num, in_data->pixel_aspect_ratio.den);
    const float downX = ratio(in_data->downsample_x.num, in_data->downsample_x.den);
    const float downY = ratio(in_data->downsample_y.num, in_data->downsample_y.den);

    float value[4] = {0, 0, 0, 0};
    switch (def.param_type) {
        case PF_Param_LAYER: uploadLayerParam(suites, def, position); break;
        case PF_Param_ANGLE: value[0] = static_cast<float>(def.u.ad.value) * (1.0f / 65536.0f); break;
        case PF_Param_CHECKBOX: setIntSlot(value, def.u.bd.value); break;
        case PF_Param_POPUP: setIntSlot(value, def.u.pd.value); break;
        case PF_Param_COLOR: {
            const auto* colors = suites.get<PF_ColorParamSuite1>(kPFColorParamSuite, kPFColorParamSuiteVersion1);
            PF_PixelFloat color{0, 0, 0, 0};
            if (colors->PF_GetFloatingPointColorFromColorDef(in_data->effect_ref, &def, &color) != PF_Err_NONE) {
                return;  // keep the previous colour rather than store black
            }
            value[0] = color.red;
            value[1] = color.green;
            value[2] = color.blue;
            value[3] = color.alpha;
            break;
        }
        case PF_Param_POINT:
            value[0] = static_cast<float>(def.u.td.x_value) * (1.0f / 65536.0f);
            value[1] = static_cast<float>(def.u.td.y_value) * (1.0f / 65536.0f);
            if (flags & LX_PF_RemoveScale) {
                value[0] *= par / downX;
                value[1] *= 1.0f / downY;
            }
            break;
        case PF_Param_FLOAT_SLIDER:
            value[0] = static_cast<float>(def.u.fs_d.value);
            if (flags & LX_PF_ScaleByWidth) value[0] *= downX;
            if (flags & LX_PF_ScaleByHeight) value[0] *= downY;
            break;
        case PF_Param_POINT_3D:
            value[0] = static_cast<float>(def.u.point3d_d.x_value);
            value[1] = static_cast<float>(def.u.point3d_d.y_value);
            value[2] = static_cast<float>(def.u.point3d_d.z_value);
            break;
        default: break;
    }
    fx.setParamValue(position, value);
}

PF_Err handleUserChangedParam(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], void* extra) {
    const SequenceData* data = sequenceDataOf(in_data);
    if (!data) return PF_Err_NONE;
    // A block without a handle selects no instance, never the last one used.
    script::effectPlugin().setSequence(data->handle);
    const auto* change = static_cast<const PF_UserChangedParamExtra*>(extra);
    if (!change || change->param_index <= 0 || !params) return PF_Err_NONE;
    const int32_t index = change->param_index;
    // Only indexes this module registered are looked up in the host's array.
    if (maps().hostToScript.count(static_cast<uint32_t>(index)) == 0 || !params[index]) return PF_Err_NONE;
    SuiteCache suites(in_data);
    readParamValue(suites, in_data, *params[index], index);
    return PF_Err_NONE;
}

PF_Err handleUpdateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    const SequenceData* data = sequenceDataOf(in_data);
    if (!data) return PF_Err_NONE;
    selectSequence(*data);
    {
        SuiteCache suites(in_data);
        readParamValues(suites, in_data, false);
    }
    script::effectPlugin().updateUIFlags();
    refreshParamUI(in_data, out_data, params);
    return PF_Err_NONE;
}

void refreshParamUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    script::IPlugin& fx = script::effectPlugin();
    ParamMaps& m = maps();
    DirectSuite<PF_ParamUtilsSuite3> utils(
        in_data, kPFParamUtilsSuite,
        {kPFParamUtilsSuiteVersion3, kPFParamUtilsSuiteVersion1, kPFParamUtilsSuiteVersionOld});
    bool updateFailed = false;
    const uint32_t count = fx.paramCount();
    for (uint32_t p = 0; p < count; ++p) {
        const gpu::Parameter& param = fx.getParam(p);
        if (hiddenFromHost(param)) continue;
        const auto found = m.scriptToHost.find(p);
        if (found == m.scriptToHost.end() || found->second == 0) continue;
        const uint32_t hostIndex = found->second;
        // The host's array holds num_params entries (when it says); a
        // parameter set up for another instance or before the script
        // changed may lie past it.
        const bool inArray = in_data->num_params <= 0 || hostIndex < static_cast<uint32_t>(in_data->num_params);
        if (params && inArray && params[hostIndex]) {
            PF_ParamDef copy = *params[hostIndex];
            if (param.flags & gpu::kParamFlagDisabled) {
                copy.ui_flags |= PF_PUI_DISABLED;
            } else {
                copy.ui_flags &= ~PF_PUI_DISABLED;
            }
            formatHostString(in_data, copy.name, sizeof copy.name, param.displayName);
            if (utils && !updateFailed) {
                updateFailed = utils->PF_UpdateParamUI(in_data->effect_ref, static_cast<PF_ParamIndex>(hostIndex),
                                                       &copy) != PF_Err_NONE;
            }
        }
        m.hostToScript[hostIndex] = p;
    }
    out_data->out_flags |= PF_OutFlag_REFRESH_UI;
}

PF_Err handleEvent(void* extra) {
    auto* event = static_cast<PF_EventExtra*>(extra);
    if (!event) return PF_Err_NONE;
    const auto index = static_cast<uint32_t>(event->effect_win.index);
    if (index < maps().firstColor || index >= maps().firstPoint) return PF_Err_NONE;
    event->evt_out_flags = PF_EO_HANDLED_EVENT;
    return PF_Err_NONE;
}

}  // namespace host
