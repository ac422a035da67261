// Animated parameter values of `lumivex render`: "VALUE@SECONDS,..." with
// ":hold" after a key to keep its value until the next. A value is one or
// more numbers (a colour or point has several, separated by commas too).
// Between keys values are interpolated linearly per component; before the
// first key and after the last they hold. Errors throw UsageError naming
// the option text.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace render {

struct Keyframe {
    double seconds = 0;
    std::vector<double> value;
    bool hold = false;  // keep this value until the next key
};

class Keyframes {
public:
    // True when `text` is a list of keys rather than one value.
    static bool isAnimated(const std::string& text);
    // `parseValue` turns one key's value text into its numbers; `what` names
    // the parameter in errors. Keys must come in increasing time order.
    // With `interpolate` false (popups, checkboxes) every key holds.
    Keyframes(const std::string& what, const std::string& text,
              const std::function<std::vector<double>(const std::string&)>& parseValue, bool interpolate);

    std::vector<double> at(double seconds) const;
    const std::vector<Keyframe>& all() const { return keys; }

private:
    std::vector<Keyframe> keys;
};

}  // namespace render
