#include "Keyframes.h"

#include "render/Values.h"

namespace render {

bool Keyframes::isAnimated(const std::string& text) { return text.find('@') != std::string::npos; }

Keyframes::Keyframes(const std::string& what, const std::string& text,
                     const std::function<std::vector<double>(const std::string&)>& parseValue, bool interpolate) {
    // Each key is VALUE@TIME[:hold]; keys are separated by the comma after
    // a time (values may hold commas of their own).
    size_t start = 0;
    while (start <= text.size()) {
        size_t at = text.find('@', start);
        if (at == std::string::npos) throw UsageError(what + ": key '" + text.substr(start) + "' needs VALUE@SECONDS");
        size_t end = text.find(',', at);
        std::string time = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        Keyframe key;
        const std::string holdSuffix = ":hold";
        if (time.size() > holdSuffix.size() &&
            time.compare(time.size() - holdSuffix.size(), holdSuffix.size(), holdSuffix) == 0) {
            key.hold = true;
            time.erase(time.size() - holdSuffix.size());
        }
        key.hold = key.hold || !interpolate;
        key.seconds = parseNumber(what + " key time", time);
        // Frames start at time 0 (--time is not negative either).
        if (key.seconds < 0)
            throw UsageError(what + ": key time " + time + " is negative; keys are at 0 seconds or later");
        key.value = parseValue(text.substr(start, at - start));
        if (!keys.empty() && key.seconds <= keys.back().seconds)
            throw UsageError(what + ": key times must increase, got " + time + " after " +
                             std::to_string(keys.back().seconds));
        keys.push_back(std::move(key));
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

std::vector<double> Keyframes::at(double seconds) const {
    if (seconds <= keys.front().seconds) return keys.front().value;
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        const Keyframe &a = keys[i], &b = keys[i + 1];
        if (seconds >= b.seconds) continue;
        if (a.hold) return a.value;
        const double f = (seconds - a.seconds) / (b.seconds - a.seconds);
        std::vector<double> v = a.value;
        for (size_t c = 0; c < v.size() && c < b.value.size(); ++c) v[c] += (b.value[c] - a.value[c]) * f;
        return v;
    }
    return keys.back().value;
}

}  // namespace render
