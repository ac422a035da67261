// The effect as a host sees it: its registration, about text and
// parameters, as the JSON that `info --json` prints and the studio reads.
#pragma once

#include <ostream>
#include <string>

#include "hostsim/Host.h"
#include "hostsim/Registration.h"

namespace render {

// One parameter; the JSON texts are empty where they do not apply.
struct ParamInfo {
    int index, id;
    std::string name, type;
    std::string defaultJson, rangeJson, choicesJson;
    bool enabled;
    std::string valueJson, extraJson;  // current value; slider UI range and precision
};

ParamInfo describeParam(const hostsim::Host& host, int index);

// The whole effect. With `current`, every parameter also carries its
// current "value", and sliders their "sliderRange" and "precision".
void writeInfoJson(std::ostream& out, const std::string& modulePath, const hostsim::Registration& reg,
                   const std::string& about, const hostsim::Host& host, bool current = false);

}  // namespace render
