// The frei0r glue: the frei0r API (frei0r.h, exported by Plugin.cpp) over
// the module's effect engine, so that every effect also runs in the hosts
// of that API. An instance is one Sequence of the engine, made at
// f0r_construct for one frame size; f0r_update renders one frame at 8 bits
// from and to the host's RGBA8888 rows (straight alpha).
//
// Parameters, as frei0r shows them (declaration order; hidden parameters,
// groups, layers and paths are left out):
//   FLOAT   double, 0 to 1 is the slider's minimum to maximum (held there)
//   ANGLE   double, 0 to 1 is 0 to 360 degrees (not held: 2 is two turns)
//   COLOR   colour, r, g, b from 0 to 1 (held there); alpha is always 1
//   POINT2D position, x and y as fractions of the frame's width and height
//           from its top left (not held: points may lie outside)
//   BOOL    bool, on at 0.5 and above
//   POPUP, TEXTURE  double, 0 to 1 spread evenly over the entries (the
//           nearest one is taken; 0 the first, 1 the last)
//   POINT   string "x,y,z", three numbers as the script reads them
// A LAYER parameter has no frei0r counterpart: the script sees the engine's
// placeholder image, as for a layer the host never set.
//
// Errors: nothing throws out of the frei0r functions. A script or shader
// error renders the error frame; a frame the engine cannot render at all is
// passed through unchanged; a failed construction returns null.
// Threads: every frei0r call takes the plug-in's entry lock, so calls from
// any number of host threads run one at a time; GL work takes the engine's
// GL lock inside it. The glue starts no threads.
// Ownership: instances belong to the host between f0r_construct and
// f0r_destruct; the engine lives until the process ends (f0r_deinit keeps
// it, as global setdown does).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gpu/Parameter.h"

namespace script {
class IPlugin;
}  // namespace script

namespace frei0r {

// One parameter as frei0r passes it: bool and double in x; colour r, g, b in
// x, y, z; position in x, y; string in text.
struct Value {
    double x = 0, y = 0, z = 0;
    std::string text;
};

// One frei0r parameter over the script parameter at `position`.
struct Slot {
    uint32_t position = 0;
    int type = 0;  // F0R_PARAM_*
    std::string name;
    std::string explanation;
};

// The script's parameters that frei0r shows, in order.
std::vector<Slot> exposedParams(script::IPlugin& fx);

// The engine's four value slots for a frei0r value of `param`, in a frame of
// width x height pixels (as the host glue hands them to the script).
void toEngine(const gpu::Parameter& param, const Value& value, uint32_t width, uint32_t height, float out[4]);

// The frei0r value of an engine value as the script reads it during a
// frame (colours from 0 to 1).
Value fromEngine(const gpu::Parameter& param, const float value[4], uint32_t width, uint32_t height);

// The frei0r value of the parameter's declared default (colours in the
// host's 0 to 255, as setup() gives them).
Value defaultValue(const gpu::Parameter& param, uint32_t width, uint32_t height);

// The frei0r kind of a parameter kind, or -1 for kinds frei0r cannot show.
int frei0rType(uint32_t kind);

}  // namespace frei0r
