#include <cstdio>
#include <ostream>
#include <iostream>
#include <sstream>

#include "hostsim/Error.h"
#include "tools/lumivex/Commands.h"
#include "tools/lumivex/Session.h"
#include "tools/lumivex/TestCard.h"

namespace lumivex {
namespace {

const char* const kHelp =
    "usage: lumivex info [--module FILE | --effect DIR] [--json]\n"
    "\n"
    "Shows an effect as a host sees it: first the registration resource (name,\n"
    "match name, category, version, flags), which needs no engine, then the\n"
    "about text and every parameter with its type, default, range and\n"
    "identifier. Without --module or --effect the default module built next\n"
    "to the command is used. --effect DIR describes the effect folder DIR run\n"
    "by the engine module. --json prints one JSON object instead of text.\n"
    "Finally one small frame is drawn: a shader or script error there is\n"
    "reported on stderr after the listing, with exit status 3.\n";

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

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
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

struct ParamInfo {
    int index, id;
    std::string name, type;
    std::string defaultJson, rangeJson, choicesJson;  // empty when not applicable
    bool enabled;
    std::string valueJson, extraJson;  // current value; slider UI range and precision
};

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

ParamInfo describe(const hostsim::Host& host, int index) {
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

void printRegistrationText(const std::string& module, const hostsim::Registration& r) {
    std::cout << "Module:       " << module << "\n"
              << "Name:         " << r.name << "\n"
              << "Match name:   " << r.matchName << "\n"
              << "Category:     " << r.category << "\n"
              << "Version:      " << hostsim::versionText(r.version) << " (" << hex(r.version) << ")\n"
              << "API version:  " << r.apiMajor << "." << r.apiMinor << "\n"
              << "Flags:        " << hex(r.outFlags) << "\n"
              << "Flags2:       " << hex(r.outFlags2) << "\n"
              << "Entry point:  " << r.entryPoint << "\n";
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

// The exit status for the test frame: 0 when the effect drew it, 3 (with
// the effect's error text on stderr) when it drew its error frame; a host
// error code from the module throws as any other command failure does.
int frameStatus(const hostsim::RenderResult& frame, const hostsim::Host& host) {
    std::cout.flush();
    if (frame.result != PF_Err_NONE) check(frame.result, "rendering a test frame", host);
    const std::string message = effectError(frame);
    if (message.empty()) return 0;
    std::cerr << "lumivex: the effect reported an error when drawing a frame: " << message << "\n";
    return 3;
}

}  // namespace

void writeInfoJson(std::ostream& out, const std::string& modulePath, const hostsim::Registration& reg,
                   const std::string& about, const hostsim::Host& host, bool current) {
    out << "{\n  " << registrationJson(modulePath, reg) << ",\n  \"about\": " << jsonString(about)
        << ",\n  \"globalSetup\": {\"version\": " << host.effectVersion() << ", \"outFlags\": " << host.effectFlags()
        << ", \"outFlags2\": " << host.effectFlags2() << "},\n  \"parameters\": [";
    for (int i = 1; i < host.paramCount(); ++i) {
        const ParamInfo p = describe(host, i);
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

int runInfo(const std::vector<std::string>& argv) {
    ParsedArgs args = parseArgs("info", argv, {{"--module", nullptr, true, false},
                                               {"--effect", nullptr, true, false},
                                               {"--json", nullptr, false, false}});
    if (args.has("--help")) {
        std::cout << kHelp;
        return 0;
    }
    if (!args.positional.empty()) throw UsageError("unexpected argument '" + args.positional[0] + "' for 'info'");
    const bool json = args.has("--json");
    ModuleChoice choice = chooseModule(args);
    hostsim::Registration reg = readRegistration(choice);
    if (!json) printRegistrationText(choice.path, reg);
    std::cout.flush();

    // The rest needs the engine: run the module as a host would.
    auto module = loadModule(choice, reg);
    hostsim::Host host(*module, hostsim::HostConfig{});
    check(host.globalSetup(), "global setup", host);
    std::string about;
    check(host.about(&about), "about", host);
    check(host.paramsSetup(), "parameter setup", host);
    check(host.sequenceSetup(), "sequence setup", host);
    check(host.updateParamsUI(), "parameter UI update", host);
    std::vector<ParamInfo> params;
    for (int i = 1; i < host.paramCount(); ++i) params.push_back(describe(host, i));
    // A script or shader error shows only when a frame is drawn: one small
    // frame tells whether the effect runs at all. Reported after the listing.
    host.setInput(makeTestCard(16, 16));
    const hostsim::RenderResult frame = host.render(0);
    host.finish();

    if (json) {
        writeInfoJson(std::cout, choice.path, reg, about, host);
        return frameStatus(frame, host);
    }
    std::string indented = "  ";
    for (char c : about) indented += c == '\n' ? std::string("\n  ") : std::string(1, c);
    std::cout << "\nAbout:\n" << indented << "\n\nParameters (host index, identifier, name, type):\n";
    if (params.empty()) std::cout << "  (none)\n";
    for (const ParamInfo& p : params) {
        std::cout << "  " << p.index << "  id " << p.id << "  " << p.name << "  " << p.type;
        if (!p.defaultJson.empty()) std::cout << "  default " << p.defaultJson;
        if (!p.rangeJson.empty()) std::cout << "  range " << p.rangeJson;
        if (!p.choicesJson.empty()) std::cout << "  choices " << p.choicesJson;
        if (!p.enabled) std::cout << "  (disabled)";
        std::cout << "\n";
    }
    return frameStatus(frame, host);
}

}  // namespace lumivex
