#include "render/Description.h"

#include <cstdio>
#include <initializer_list>
#include <sstream>

namespace render {
namespace {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

std::string number(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

std::string list(std::initializer_list<double> values) {
    std::string out = "[";
    for (double v : values) out += (out.size() > 1 ? ", " : "") + number(v);
    return out + "]";
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

std::string colorList(const PF_Pixel& c) {
    return list({double(c.red), double(c.green), double(c.blue), double(c.alpha)});
}

std::string registrationJson(const std::string& module, const hostsim::Registration& r) {
    hostsim::VersionFields v = hostsim::splitVersion(r.version);
    std::ostringstream s;
    s << "\"module\": " << jsonString(module) << ",\n  \"registration\": {\"name\": " << jsonString(r.name)
      << ", \"matchName\": " << jsonString(r.matchName) << ", \"category\": " << jsonString(r.category)
      << ", \"version\": {\"major\": " << v.major << ", \"minor\": " << v.minor << ", \"bugFix\": " << v.bugFix
      << ", \"stage\": " << v.stage << ", \"build\": " << v.build << ", \"word\": " << r.version << "}"
      << ", \"apiVersion\": \"" << r.apiMajor << "." << r.apiMinor << "\", \"outFlags\": " << r.outFlags
      << ", \"outFlags2\": " << r.outFlags2 << ", \"entryPoint\": " << jsonString(r.entryPoint) << "}";
    return s.str();
}

}  // namespace

ParamInfo describeParam(const hostsim::Host& host, int index) {
    const PF_ParamDef& d = host.param(index);
    ParamInfo p{index, d.uu.id, d.name, typeOf(d.param_type), "", "", "", (d.ui_flags & PF_PUI_DISABLED) == 0, "", ""};
    const PF_ParamDefUnion& u = d.u;
    switch (d.param_type) {
        case PF_Param_FLOAT_SLIDER:
            p.defaultJson = number(u.fs_d.dephault);
            p.rangeJson = list({u.fs_d.valid_min, u.fs_d.valid_max});
            p.valueJson = number(u.fs_d.value);
            p.extraJson = ", \"sliderRange\": " + list({u.fs_d.slider_min, u.fs_d.slider_max}) +
                          ", \"precision\": " + std::to_string(u.fs_d.precision);
            break;
        case PF_Param_ANGLE:
            p.defaultJson = number(u.ad.dephault / 65536.0);
            p.valueJson = number(u.ad.value / 65536.0);
            break;
        case PF_Param_CHECKBOX:
            p.defaultJson = u.bd.dephault ? "true" : "false";
            p.valueJson = u.bd.value ? "true" : "false";
            break;
        case PF_Param_COLOR:
            p.defaultJson = colorList(u.cd.dephault);
            p.valueJson = colorList(u.cd.value);
            break;
        case PF_Param_POINT:
            p.defaultJson = list({u.td.x_dephault / 65536.0, u.td.y_dephault / 65536.0});
            p.valueJson = list({u.td.x_value / 65536.0, u.td.y_value / 65536.0});
            break;
        case PF_Param_POINT_3D:
            p.defaultJson = list({u.point3d_d.x_dephault, u.point3d_d.y_dephault, u.point3d_d.z_dephault});
            p.valueJson = list({u.point3d_d.x_value, u.point3d_d.y_value, u.point3d_d.z_value});
            break;
        case PF_Param_POPUP: {
            p.defaultJson = std::to_string(u.pd.dephault);
            p.valueJson = std::to_string(u.pd.value);
            p.choicesJson = "[";
            for (const std::string& c : host.popupChoices(index))
                p.choicesJson += (p.choicesJson.size() > 1 ? ", " : "") + jsonString(c);
            p.choicesJson += "]";
            break;
        }
        default: break;
    }
    return p;
}

void writeInfoJson(std::ostream& out, const std::string& modulePath, const hostsim::Registration& reg,
                   const std::string& about, const hostsim::Host& host, bool current) {
    out << "{\n  " << registrationJson(modulePath, reg) << ",\n  \"about\": " << jsonString(about)
        << ",\n  \"globalSetup\": {\"version\": " << host.effectVersion() << ", \"outFlags\": " << host.effectFlags()
        << ", \"outFlags2\": " << host.effectFlags2() << "},\n  \"parameters\": [";
    for (int i = 1; i < host.paramCount(); ++i) {
        const ParamInfo p = describeParam(host, i);
        out << (i > 1 ? ",\n" : "\n") << "    {\"index\": " << p.index << ", \"id\": " << p.id
            << ", \"name\": " << jsonString(p.name) << ", \"type\": " << jsonString(p.type)
            << ", \"enabled\": " << (p.enabled ? "true" : "false");
        if (!p.defaultJson.empty()) out << ", \"default\": " << p.defaultJson;
        if (!p.rangeJson.empty()) out << ", \"range\": " << p.rangeJson;
        if (!p.choicesJson.empty()) out << ", \"choices\": " << p.choicesJson;
        if (current && !p.valueJson.empty()) out << ", \"value\": " << p.valueJson << p.extraJson;
        out << "}";
    }
    out << (host.paramCount() <= 1 ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace render
