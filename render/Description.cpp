#include "render/Description.h"

#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <sstream>

namespace render {
namespace {

// A number as the effect gave it, to six significant digits: a whole
// number below a million as an integer, so that it reads as one.
Json number(double v) {
    if (!std::isfinite(v)) return nullptr;
    std::ostringstream text;
    text << v;
    const double shown = std::strtod(text.str().c_str(), nullptr);
    const bool whole = shown == std::trunc(shown) && std::fabs(shown) < 1e6 && !(shown == 0 && std::signbit(shown));
    return whole ? Json(static_cast<long long>(shown)) : Json(shown);
}

Json list(std::initializer_list<double> values) {
    Json out = Json::array();
    for (double v : values) out.push_back(number(v));
    return out;
}

std::string typeOf(PF_ParamType t) {
    switch (t) {
        case PF_Param_LAYER: return "layer";
        case PF_Param_ANGLE: return "angle";
        case PF_Param_CHECKBOX: return "checkbox";
        case PF_Param_COLOR: return "color";
        case PF_Param_POINT: return "point";
        case PF_Param_POPUP: return "popup";
        case PF_Param_FLOAT_SLIDER: return "slider";
        case PF_Param_PATH: return "path";
        case PF_Param_GROUP_START: return "group-start";
        case PF_Param_GROUP_END: return "group-end";
        case PF_Param_POINT_3D: return "point3d";
        default: return "type " + std::to_string(t);
    }
}

Json colorList(const PF_Pixel& c) { return Json::array({c.red, c.green, c.blue, c.alpha}); }

// Texts from the effect are not always whole UTF-8 (a name cut at the
// host's length limit): broken sequences become U+FFFD, and the JSON stays
// readable.
std::string quoted(const std::string& text) { return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

Json describeParam(const hostsim::Host& host, int index, bool current) {
    const PF_ParamDef& d = host.param(index);
    Json p = {{"index", index},
              {"id", d.uu.id},
              {"name", std::string(d.name)},
              {"type", typeOf(d.param_type)},
              {"enabled", (d.ui_flags & PF_PUI_DISABLED) == 0}};
    Json value;
    const PF_ParamDefUnion& u = d.u;
    switch (d.param_type) {
        case PF_Param_FLOAT_SLIDER:
            p["default"] = number(u.fs_d.dephault);
            p["range"] = list({u.fs_d.valid_min, u.fs_d.valid_max});
            value = number(u.fs_d.value);
            break;
        case PF_Param_ANGLE:
            p["default"] = number(u.ad.dephault / 65536.0);
            value = number(u.ad.value / 65536.0);
            break;
        case PF_Param_CHECKBOX:
            p["default"] = bool(u.bd.dephault);
            value = bool(u.bd.value);
            break;
        case PF_Param_COLOR:
            p["default"] = colorList(u.cd.dephault);
            value = colorList(u.cd.value);
            break;
        case PF_Param_POINT:
            p["default"] = list({u.td.x_dephault / 65536.0, u.td.y_dephault / 65536.0});
            value = list({u.td.x_value / 65536.0, u.td.y_value / 65536.0});
            break;
        case PF_Param_POINT_3D:
            p["default"] = list({u.point3d_d.x_dephault, u.point3d_d.y_dephault, u.point3d_d.z_dephault});
            value = list({u.point3d_d.x_value, u.point3d_d.y_value, u.point3d_d.z_value});
            break;
        case PF_Param_POPUP:
            p["default"] = u.pd.dephault;
            p["choices"] = host.popupChoices(index);
            value = u.pd.value;
            break;
        default: break;
    }
    if (current && !value.is_null()) {
        p["value"] = value;
        if (d.param_type == PF_Param_FLOAT_SLIDER) {
            p["sliderRange"] = list({u.fs_d.slider_min, u.fs_d.slider_max});
            p["precision"] = u.fs_d.precision;
        }
    }
    return p;
}

Json describeEffect(const std::string& modulePath, const hostsim::Registration& reg, const std::string& about,
                    const hostsim::Host& host, bool current) {
    const hostsim::VersionFields v = hostsim::splitVersion(reg.version);
    Json params = Json::array();
    for (int i = 1; i < host.paramCount(); ++i) params.push_back(describeParam(host, i, current));
    return {{"module", modulePath},
            {"registration",
             {{"name", reg.name},
              {"matchName", reg.matchName},
              {"category", reg.category},
              {"version",
               {{"major", v.major},
                {"minor", v.minor},
                {"bugFix", v.bugFix},
                {"stage", v.stage},
                {"build", v.build},
                {"word", reg.version}}},
              {"apiVersion", std::to_string(reg.apiMajor) + "." + std::to_string(reg.apiMinor)},
              {"outFlags", reg.outFlags},
              {"outFlags2", reg.outFlags2},
              {"entryPoint", reg.entryPoint}}},
            {"about", about},
            {"globalSetup",
             {{"version", host.effectVersion()}, {"outFlags", host.effectFlags()}, {"outFlags2", host.effectFlags2()}}},
            {"parameters", params}};
}

std::string inlineJson(const Json& value) {
    std::string out;
    switch (value.type()) {
        case Json::value_t::object:
            for (const auto& [key, item] : value.items())
                out += (out.empty() ? "{" : ", ") + quoted(key) + ": " + inlineJson(item);
            return out.empty() ? "{}" : out + "}";
        case Json::value_t::array:
            for (const Json& item : value) out += (out.empty() ? "[" : ", ") + inlineJson(item);
            return out.empty() ? "[]" : out + "]";
        case Json::value_t::string: return quoted(value.get_ref<const std::string&>());
        case Json::value_t::number_float: {
            // Six significant digits, as number() keeps them.
            std::ostringstream text;
            text << value.get<double>();
            return text.str();
        }
        default: return value.dump();
    }
}

void writeInfoJson(std::ostream& out, const Json& effect) {
    const char* separator = "{\n  ";
    for (const auto& [key, value] : effect.items()) {
        out << separator << quoted(key) << ": ";
        separator = ",\n  ";
        if (key != "parameters" || value.empty()) {
            out << inlineJson(value);
            continue;
        }
        const char* line = "[\n    ";
        for (const Json& p : value) {
            out << line << inlineJson(p);
            line = ",\n    ";
        }
        out << "\n  ]";
    }
    out << "\n}\n";
}

}  // namespace render
