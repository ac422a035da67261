// The effect as a host sees it: its registration, about text and
// parameters, as one JSON object that `info --json` prints and the studio
// passes on. Keys keep the order they are listed in. Numbers from the
// effect are kept to six significant digits (the precision the listing has
// always shown); a number that is not finite becomes null.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "hostsim/Host.h"
#include "hostsim/Registration.h"

namespace render {

using Json = nlohmann::ordered_json;

// One parameter: "index", "id", "name", "type", "enabled", and where they
// apply "default", "range" and "choices". With `current` also its current
// "value", and for a slider its "sliderRange" and "precision".
Json describeParam(const hostsim::Host& host, int index, bool current = false);

// The whole effect: "module", "registration", "about", "globalSetup" and
// "parameters", each parameter as describeParam gives it.
Json describeEffect(const std::string& modulePath, const hostsim::Registration& reg, const std::string& about,
                    const hostsim::Host& host, bool current = false);

// One value on one line, with a space after each comma and colon.
std::string inlineJson(const Json& value);

// The effect description as `info --json` prints it: one top-level key a
// line, one parameter a line.
void writeInfoJson(std::ostream& out, const Json& effect);

}  // namespace render
