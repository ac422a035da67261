// The studio server: routes, the shared state behind them, the event
// stream, reloads and the signal handling of serve().
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "media/Still.h"
#include "render/TestCard.h"
#include "Assets.h"
#include "Files.h"
#include "studio/RenderProcess.h"
#include "studio/Rules.h"
#include "studio/SourceEffect.h"
#include "studio/Studio.h"
#include "Watcher.h"

extern char** environ;

namespace studio {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using std::chrono::milliseconds;

// Announcements for the page: reloads, errors, failures, new frames. Every
// event has a number; a client waits for those after the last it saw.
class EventLog {
public:
    void post(const std::string& type, const json& data) {
        std::lock_guard<std::mutex> lock(mutex);
        items.push_back({next++, "event: " + type + "\ndata: " + data.dump() + "\n\n"});
        if (items.size() > 64) items.pop_front();
        changed.notify_all();
    }
    uint64_t last() {
        std::lock_guard<std::mutex> lock(mutex);
        return next - 1;
    }
    // The events after `after` in stream form (empty after `wait` with
    // none), advancing `after`; false once the log is closed.
    bool wait(uint64_t& after, std::chrono::seconds wait, std::string& out) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, wait, [&] { return closed || next - 1 > after; });
        if (closed) return false;
        for (const auto& item : items)
            if (item.first > after) out += "id: " + std::to_string(item.first) + "\n" + item.second;
        after = next - 1;
        return true;
    }
    void close() {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<uint64_t, std::string>> items;
    uint64_t next = 1;
    bool closed = false;
};

struct Settings {
    std::string host = "ae";
    unsigned width = kCardWidth, height = kCardHeight;  // the test card's size
    unsigned downsample = 1;
    std::string input = "card";  // card, photo, file (--input) or upload:NAME

    json toJson() const {
        return {{"host", host}, {"width", width}, {"height", height}, {"downsample", downsample}, {"input", input}};
    }
};

struct Param {
    std::string name, value;  // value in --param form, for the command; layer images as absolute paths
    json typed;               // what the render process is sent: the page's value, a layer's absolute path
    bool live = false;        // taken by the current render process
};

struct Frame {
    bool valid = false;
    uint64_t revision = 0;
    double time = 0;
    unsigned depth = 8;
    hostsim::Image image;
    int32_t originX = 0, originY = 0;  // the frame's top left in layer pixels
    std::string message;
};

// Every connection gets a thread of its own, up to kMaxConnections at once
// (more wait for one to come free): an event stream, an idle keep-alive
// connection or a client that sends its request slowly holds only its own
// thread, never the one the page's next request needs. Threads, once made,
// wait for the next connection; shutdown() serves what is queued and joins
// them.
class ConnectionThreads : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> job) override {
        std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(std::move(job));
        if (jobs.size() > idle && threads.size() < kMaxConnections) threads.emplace_back([this] { work(); });
        wake.notify_one();
    }
    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        for (std::thread& t : threads) t.join();
    }

private:
    void work() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            ++idle;
            wake.wait(lock, [&] { return stopping || !jobs.empty(); });
            --idle;
            if (jobs.empty()) return;
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    std::vector<std::thread> threads;
    size_t idle = 0;
    bool stopping = false;
};

class HttpError : public std::runtime_error {
public:
    HttpError(int s, const std::string& what) : std::runtime_error(what), status(s) {}
    int status;
};

void sendJson(httplib::Response& res, const json& body, int status = 200) {
    res.status = status;
    res.set_content(body.dump(), "application/json");
}

// The first `limit` bytes of a file, enough for any image header.
std::string readHead(const std::string& path, size_t limit = 1 << 20) {
    std::ifstream in(path, std::ios::binary);
    std::string head(limit, '\0');
    in.read(head.data(), std::streamsize(limit));
    head.resize(size_t(in.gcount()));
    return head;
}

// An image file read after its header's size was checked (413 beyond the limits).
hostsim::Image readCheckedImage(const std::string& path) {
    const std::string why = imageSizeRefusal(readHead(path));
    if (!why.empty()) throw HttpError(413, "the image " + fs::path(path).filename().string() + " is not read: " + why);
    return media::readImage(path);
}

// Bodies of JSON requests must say so: a form or a cross-site request
// without a preflight can only send text/plain and form types.
void requireJson(const httplib::Request& req) {
    if (!hasMediaType(req.get_header_value("Content-Type"), "application/json"))
        throw HttpError(415, "the body must be sent as Content-Type: application/json");
}

bool isImageName(const fs::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {".png", ".exr", ".jpg", ".jpeg", ".bmp", ".gif", ".psd", ".hdr", ".tga"})
        if (ext == known) return true;
    return false;
}

std::string shellQuote(const std::string& text) {
    if (text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./=,:") ==
        std::string::npos)
        return text;
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

double numberParam(const httplib::Request& req, const char* name, double fallback, double lo, double hi) {
    if (!req.has_param(name)) return fallback;
    const std::string text = req.get_param_value(name);
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(v) || v < lo || v > hi)
        throw HttpError(400, std::string(name) + " must be a number from " + std::to_string(lo) + " to " +
                                 std::to_string(hi) + ", got '" + text + "'");
    return v;
}

class Studio {
public:
    explicit Studio(const Options& o) : options(o), token(newToken()) {
        char pattern[] = "/tmp/lumivex-studio-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a working folder in /tmp");
        workDir = pattern;
        fs::create_directory(fs::path(workDir) / "uploads");
        if (!options.input.empty()) settings.input = "file";
    }
    ~Studio() {
        std::error_code ec;
        fs::remove_all(workDir, ec);
    }

    int run();

private:
    milliseconds timeout() const { return milliseconds(long(options.renderTimeout * 1000)); }
    std::string uploads() const { return (fs::path(workDir) / "uploads").string(); }

    // --- the render process (all with `mutex` held) --------------------------
    Reply call(const ProcessRequest& request);
    void ensureProcess();
    void refreshInfo();
    const Frame& frameAt(double time, unsigned depth);
    void changed();
    std::string inputPath(const std::string& input) const;
    void reload(const std::vector<std::string>& files);

    // --- routes --------------------------------------------------------------
    void routes(httplib::Server& server);
    void applyParams(const httplib::Request& req);
    void reportErrors();
    void putParams(const httplib::Request& req, httplib::Response& res);
    void putSettings(const httplib::Request& req, httplib::Response& res);
    void getFrame(const httplib::Request& req, httplib::Response& res, const std::string& format);
    void upload(const httplib::Request& req, httplib::Response& res);
    json errorsJson() const;
    std::string command(double time, unsigned depth) const;

    Options options;
    const std::string token;
    std::string workDir;
    int port = 0;
    EventLog events;
    std::atomic<uint64_t> frameTickets{0};

    std::mutex mutex;  // everything below
    std::unique_ptr<RenderProcess> process;
    std::string failure;        // why the render process stopped; cleared by the next change
    std::vector<Param> params;  // values the user set, in order
    Settings settings;
    std::string infoText;   // the effect as the process last described it
    json info;              // the same, parsed
    uint64_t revision = 1;  // counts changes of the effect, its values and the settings
    Frame frame;
    json errors = json::array();
    double lastTime = 0;
    unsigned lastDepth = 8;
    json reported = errorsJson();  // the errors as the page last heard them
    int uploadCount = 0;           // uploads kept, and their bytes
    unsigned long long uploadBytes = 0;
    std::mutex decoding;  // one upload decoded at a time
};

Reply Studio::call(const ProcessRequest& request) {
    try {
        return process->call(request, timeout());
    } catch (const ProcessFailure& e) {
        process.reset();
        failure = e.what();
        frame.valid = false;
        events.post("failure", {{"message", failure}});
        reportErrors();
        throw;
    }
}

std::string Studio::inputPath(const std::string& input) const {
    if (input == "card") return "";
    if (input == "photo") {
        if (!fs::exists(kPhotographPath))
            throw HttpError(400, std::string("the photograph ") + kPhotographPath + " is not installed");
        return kPhotographPath;
    }
    if (input == "file" && !options.input.empty()) return options.input;
    if (input.rfind("upload:", 0) == 0)
        if (auto path = confinedPath(uploads(), input.substr(7))) return *path;
    throw HttpError(
        400, "input '" + input + "' is not the test card, the photograph, the --input file or an uploaded image");
}

void Studio::ensureProcess() {
    if (process) return;
    if (!failure.empty()) throw ProcessFailure(failure);
    try {
        process = std::make_unique<RenderProcess>(options.renderCommand, timeout());
    } catch (const ProcessFailure& e) {
        failure = e.what();
        events.post("failure", {{"message", failure}});
        reportErrors();
        throw;
    }
    Reply r =
        call(StartHost{settings.host, settings.downsample, settings.width, settings.height, inputPath(settings.input)});
    if (!r.ok) {
        process.reset();
        failure = "the host could not start the effect: " + r.text;
        events.post("failure", {{"message", failure}});
        reportErrors();
        throw ProcessFailure(failure);
    }
    // Values are kept by name also when the effect does not take them now
    // (a script error leaves it without parameters, an edit may rename
    // one): each is put back whenever a later load takes it again.
    for (Param& p : params) p.live = call(SetParam{p.name, p.typed}).ok;
    refreshInfo();
}

void Studio::refreshInfo() {
    Reply r = call(Describe{});
    if (!r.ok) throw HttpError(500, "the effect cannot be described: " + r.text);
    info = std::move(r.effect);
    if (!info.is_object() || !info.contains("parameters")) {
        infoText = info.dump();
        return;
    }
    // A layer's value is what the page chose: a file of the effect folder or
    // an upload, as the page names them.
    for (json& p : info["parameters"]) {
        if (p.value("type", "") != "layer") continue;
        for (const Param& kept : params) {
            if (!kept.live || kept.name != p.value("name", "")) continue;
            const fs::path path(kept.value);
            p["value"] = path.parent_path() == fs::path(uploads())
                             ? "upload:" + path.filename().string()
                             : path.lexically_relative(options.effectDir).generic_string();
        }
    }
    infoText = info.dump();
}

const Frame& Studio::frameAt(double time, unsigned depth) {
    lastTime = time;
    lastDepth = depth;
    if (frame.valid && frame.revision == revision && frame.time == time && frame.depth == depth) return frame;
    ensureProcess();
    Reply r = call(RenderFrame{time, depth});
    if (!r.ok) throw HttpError(422, r.text);
    frame = {true, revision, time, depth, std::move(r.frame), r.originX, r.originY, r.text};
    errors = json::array();
    std::vector<EffectError> found = parseEffectErrors(frame.message);
    if (options.source) found = options.source->translate(found);
    for (const EffectError& e : found)
        errors.push_back({{"file", e.file},
                          {"line", e.line},
                          {"message", e.message},
                          {"severity", e.warning ? "warning" : "error"}});
    reportErrors();
    events.post("frame", {{"revision", revision}, {"time", time}, {"depth", depth}});
    return frame;
}

// Tells the page when the errors or the failure changed, a failure that
// went away included.
void Studio::reportErrors() {
    json now = errorsJson();
    if (now == reported) return;
    reported = now;
    events.post("errors", now);
}

json Studio::errorsJson() const {
    json out = {{"errors", errors}};
    out["failure"] = failure.empty() ? json(nullptr) : json(failure);
    return out;
}

void Studio::changed() {
    ++revision;
    failure.clear();
}

void Studio::reload(const std::vector<std::string>& files) {
    if (options.source) {
        // An imported file is imported again first, outside the lock (it
        // takes a while), and put in place once no process reads the folder.
        unsigned width, height;
        {
            std::lock_guard<std::mutex> lock(mutex);
            width = settings.width, height = settings.height;
        }
        options.source->import(width, height);
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        process.reset();
        if (options.source) options.source->install();
        changed();
    }
    events.post("reload", {{"files", files}});
    // Render at once, so that the page hears of errors and the new frame
    // without asking.
    std::lock_guard<std::mutex> lock(mutex);
    try {
        frameAt(lastTime, lastDepth);
    } catch (const std::exception&) {
        // Kept in `failure` or the errors; the page asks again.
    }
}

// Applies a JSON object of display name to value. Every value is checked
// and converted before any reaches the effect; one the effect still refuses
// restores the values as they were (the render process starts again with
// them), so a failed change changes nothing. An empty layer value gives the
// layer back to the host: the render process starts again without it.
void Studio::applyParams(const httplib::Request& req) {
    requireJson(req);
    if (req.body.size() > kMaxJsonBody)
        throw HttpError(413, "parameter changes are limited to " + std::to_string(kMaxJsonBody) + " bytes");
    json body = json::parse(req.body, nullptr, false);
    if (!body.is_object()) throw HttpError(400, "parameter changes must be a JSON object of parameter name to value");
    changed();  // also lets a failed render process start again
    ensureProcess();
    std::vector<Param> changes;
    std::vector<std::string> unset;
    for (auto& [name, value] : body.items()) {
        std::string text;
        try {
            text = paramText(value);
        } catch (const std::invalid_argument& e) {
            throw HttpError(400, "parameter '" + name + "': " + e.what());
        }
        std::string type;
        for (const json& p : info.value("parameters", json::array()))
            if (p.value("name", "") == name) type = p.value("type", "");
        if (type == "layer" && text.empty()) {
            unset.push_back(name);
            continue;
        }
        if (type == "layer") {
            std::optional<std::string> path = text.rfind("upload:", 0) == 0 ? confinedPath(uploads(), text.substr(7))
                                              : options.effectDir.empty()   ? std::nullopt
                                                                            : confinedPath(options.effectDir, text);
            if (!path)
                throw HttpError(403, "layer '" + name + "': '" + text +
                                         "' is not an image in the effect folder or an uploaded one");
            text = *path;
        }
        changes.push_back({name, text, type == "layer" ? json(text) : value, true});
    }
    const std::vector<Param> before = params;
    if (!unset.empty()) {
        params.erase(std::remove_if(
                         params.begin(), params.end(),
                         [&](const Param& p) { return std::find(unset.begin(), unset.end(), p.name) != unset.end(); }),
                     params.end());
        process.reset();
        try {
            ensureProcess();
        } catch (const ProcessFailure&) {
            params = before;
            throw;
        }
    }
    for (const Param& change : changes) {
        Reply r;
        try {
            r = call(SetParam{change.name, change.typed});
        } catch (const ProcessFailure&) {
            params = before;  // the next render process starts with the former values
            throw;
        }
        if (!r.ok) {
            params = before;
            process.reset();
            throw HttpError(400, r.text);
        }
        auto same = std::find_if(params.begin(), params.end(), [&](const Param& p) { return p.name == change.name; });
        if (same != params.end()) *same = change;
        else params.push_back(change);
    }
    refreshInfo();
    // Other tabs (and this one) show the values in use.
    events.post("values", {{"revision", revision}, {"effect", info}});
}

void Studio::putParams(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> lock(mutex);
    applyParams(req);
    res.set_content(infoText, "application/json");
}

void Studio::putSettings(const httplib::Request& req, httplib::Response& res) {
    requireJson(req);
    if (req.body.size() > kMaxJsonBody)
        throw HttpError(413, "settings are limited to " + std::to_string(kMaxJsonBody) + " bytes");
    json body = json::parse(req.body, nullptr, false);
    if (!body.is_object()) throw HttpError(400, "PUT /api/settings needs a JSON object");
    std::lock_guard<std::mutex> lock(mutex);
    Settings s = settings;
    auto count = [&](const char* key, unsigned& into, unsigned lo, unsigned hi) {
        if (!body.contains(key)) return;
        if (!body[key].is_number_unsigned() || body[key].get<unsigned long long>() < lo ||
            body[key].get<unsigned long long>() > hi)
            throw HttpError(400, std::string(key) + " must be a whole number from " + std::to_string(lo) + " to " +
                                     std::to_string(hi));
        into = body[key].get<unsigned>();
    };
    count("width", s.width, 16, kMaxFrameSide);
    count("height", s.height, 16, kMaxFrameSide);
    count("downsample", s.downsample, 1, 16);
    if (body.contains("host")) s.host = body["host"].is_string() ? body["host"].get<std::string>() : "";
    if (s.host != "ae" && s.host != "premiere") throw HttpError(400, "host must be \"ae\" or \"premiere\"");
    if (body.contains("input")) s.input = body["input"].is_string() ? body["input"].get<std::string>() : "";
    if (1ull * s.width * s.height > kMaxFramePixels)
        throw HttpError(400, "the frame may have at most " + std::to_string(kMaxFramePixels) + " pixels");
    inputPath(s.input);  // throws for an input that is not allowed
    settings = s;
    process.reset();
    changed();
    sendJson(res, settings.toJson());
}

void Studio::getFrame(const httplib::Request& req, httplib::Response& res, const std::string& format) {
    const uint64_t ticket = ++frameTickets;
    const double time = numberParam(req, "time", 0, 0, 1e6);
    const double depthValue = numberParam(req, "depth", 8, 8, 32);
    const unsigned depth = unsigned(depthValue);
    if (depth != depthValue || (depth != 8 && depth != 16 && depth != 32))
        throw HttpError(400, "depth must be 8, 16 or 32");
    const unsigned bits =
        format == "png" ? (req.has_param("bits") ? unsigned(numberParam(req, "bits", 8, 8, 16)) : depth) : 32;
    std::lock_guard<std::mutex> lock(mutex);
    // POST carries parameter changes: they are applied whether or not a
    // newer request has come, and the frame answer starts with the effect
    // as GET /api/effect describes it after them.
    const bool withChanges = req.method == "POST";
    if (withChanges) applyParams(req);
    // The newest request wins: one that waited while a newer one arrived
    // is not rendered at all.
    if (ticket != frameTickets.load()) throw HttpError(409, "a newer frame request replaced this one");
    const Frame& f = frameAt(time, depth);
    if (format == "raw") {
        // For the page: 8-bit RGBA rows as a canvas takes them, no encoding
        // on the way from the render to the screen.
        const std::string& prefix = withChanges ? infoText : std::string();
        std::string bytes(prefix.size() + f.image.rgba.size(), '\0');
        prefix.copy(bytes.data(), prefix.size());
        uint8_t* out = reinterpret_cast<uint8_t*>(bytes.data() + prefix.size());
        for (float v : f.image.rgba)
            *out++ =
                uint8_t(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);  // NOLINT(bugprone-incorrect-roundings): v >= 0
        res.body = std::move(bytes);                                 // set_content would copy the frame once more
        res.set_header("Content-Type", "application/octet-stream");
        res.set_header("X-Lumivex-Width", std::to_string(f.image.width));
        res.set_header("X-Lumivex-Height", std::to_string(f.image.height));
        res.set_header("X-Lumivex-Origin-X", std::to_string(f.originX));
        res.set_header("X-Lumivex-Origin-Y", std::to_string(f.originY));
        if (withChanges) res.set_header("X-Lumivex-Effect-Length", std::to_string(prefix.size()));
    } else {
        const std::vector<uint8_t> bytes = media::encodeImage("frame." + format, f.image, bits == 8 ? 8 : 16);
        res.set_content(reinterpret_cast<const char*>(bytes.data()), bytes.size(),
                        format == "png" ? "image/png" : "image/x-exr");
    }
    res.set_header("X-Lumivex-Revision", std::to_string(f.revision));
    res.set_header("Cache-Control", "no-store");
}

// An upload is checked (its declared size before decoding), decoded, scaled
// down once to fit the chosen frame size, and kept as a 16-bit PNG (an EXR
// where values lie outside 0 to 1): renders read a small file, and the
// working folder stays bounded.
void Studio::upload(const httplib::Request& req, httplib::Response& res) {
    if (!hasMediaType(req.get_header_value("Content-Type"), "application/octet-stream"))
        throw HttpError(415, "an upload must be sent as Content-Type: application/octet-stream");
    if (req.body.empty()) throw HttpError(400, "the upload is empty");
    const std::string why = imageSizeRefusal(req.body.substr(0, 1 << 20));
    if (!why.empty()) throw HttpError(413, "the upload is not read: " + why);
    // With `mutex` held: refuses when `bytes` more would not fit.
    const auto full = [&](unsigned long long bytes) {
        if (uploadCount >= int(kMaxUploads) || uploadBytes + bytes > kMaxUploadStorage)
            throw HttpError(507, "the studio keeps at most " + std::to_string(kMaxUploads) + " uploads and " +
                                     std::to_string(kMaxUploadStorage >> 20) + " MiB of them; restart it to make room");
    };
    std::string stem;
    for (char c : fs::path(req.get_param_value("name")).stem().string())
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') stem += c;
    stem = stem.empty() ? "image" : stem.substr(0, 64);
    unsigned width, height;
    {
        std::lock_guard<std::mutex> lock(mutex);
        full(0);
        width = settings.width;
        height = settings.height;
    }
    std::lock_guard<std::mutex> one(decoding);
    hostsim::Image image;
    try {
        image = fitWithin(media::decodeImage(std::vector<uint8_t>(req.body.begin(), req.body.end()), "the upload"),
                          width, height);
    } catch (const std::exception& e) {
        throw HttpError(415, std::string("the upload is not an image the studio reads: ") + e.what());
    }
    const bool unit = std::all_of(image.rgba.begin(), image.rgba.end(), [](float v) { return v >= 0 && v <= 1; });
    std::lock_guard<std::mutex> lock(mutex);
    full(0);
    const std::string name = std::to_string(uploadCount + 1) + "-" + stem + (unit ? ".png" : ".exr");
    const fs::path path = fs::path(uploads()) / name;
    media::writeImage(path.string(), image, 16);
    const unsigned long long bytes = fs::file_size(path);
    try {
        full(bytes);
    } catch (const HttpError&) {
        fs::remove(path);
        throw;
    }
    ++uploadCount;
    uploadBytes += bytes;
    sendJson(res, {{"value", "upload:" + name}, {"width", image.width}, {"height", image.height}});
}

std::string Studio::command(double time, unsigned depth) const {
    std::string cmd = "lumivex render";
    if (!options.effectDir.empty()) cmd += " --effect " + shellQuote(options.effectDir);
    else cmd += " --module " + shellQuote(options.modulePath);
    const std::string input = settings.input == "card" ? "" : inputPath(settings.input);
    if (input.empty()) cmd += " --size " + std::to_string(settings.width) + "x" + std::to_string(settings.height);
    else cmd += " --input " + shellQuote(input);
    if (settings.host != "ae") cmd += " --host " + settings.host;
    if (settings.downsample != 1) cmd += " --downsample " + std::to_string(settings.downsample);
    if (depth != 8) cmd += " --depth " + std::to_string(depth);
    if (time != 0) {
        std::ostringstream t;
        t << time;
        cmd += " --time " + t.str();
    }
    for (const Param& p : params)
        if (p.live) cmd += " --param " + shellQuote(p.name + "=" + p.value);
    return cmd + " --output " + (depth == 32 ? "frame.exr" : "frame.png");
}

void Studio::routes(httplib::Server& server) {
    using httplib::Request;
    using httplib::Response;
    // Every handler runs inside this wrapper: errors become JSON answers.
    auto guarded = [](auto handler) {
        return [handler](const Request& req, Response& res) {
            try {
                handler(req, res);
            } catch (const HttpError& e) {
                sendJson(res, {{"error", e.what()}}, e.status);
            } catch (const ProcessFailure& e) {
                sendJson(res, {{"error", e.what()}, {"failure", true}}, 503);
            } catch (const std::invalid_argument& e) {
                sendJson(res, {{"error", e.what()}}, 400);
            } catch (const std::exception& e) {
                sendJson(res, {{"error", e.what()}}, 500);
            }
        };
    };
    // Every answer: the page may not be framed (clickjacking), runs only
    // its own script, and no other origin may embed what it serves.
    server.set_default_headers({
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' blob:; "
         "connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
        {"X-Frame-Options", "DENY"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"Cross-Origin-Resource-Policy", "same-origin"},
    });
    // Who may ask: a loopback Host (no DNS rebinding), no other web page
    // (Origin, Sec-Fetch-Site), and the token in its header or the query.
    // The page's script and style are the same for everyone and need no
    // token; cookies are never looked at.
    server.set_pre_routing_handler([this](const Request& req, Response& res) {
        const auto refuse = [&](const std::string& why) {
            sendJson(res, {{"error", why}}, 403);
            return httplib::Server::HandlerResponse::Handled;
        };
        const std::string host = req.get_header_value("Host");
        if (!isLoopbackHost(host, port)) return refuse("the Host header must name 127.0.0.1 or localhost");
        if (!isSameOrigin(req.method, host, req.get_header_value("Origin"), req.get_header_value("Sec-Fetch-Site")))
            return refuse("requests from other web pages are refused");
        for (size_t i = 0; i < kAssetCount; ++i)
            if (req.path == kAssets[i].route && req.path != "/") return httplib::Server::HandlerResponse::Unhandled;
        const std::string given =
            req.has_header(kTokenHeader) ? req.get_header_value(kTokenHeader) : req.get_param_value("token");
        if (!sameToken(token, given))
            return refuse("this request needs the studio's token: open the address the studio printed");
        return httplib::Server::HandlerResponse::Unhandled;
    });
    for (size_t i = 0; i < kAssetCount; ++i) {
        const Asset a = kAssets[i];
        server.Get(a.route, [a](const Request&, Response& res) {
            res.set_content(reinterpret_cast<const char*>(a.data), a.size, a.type);
        });
    }
    server.Get("/api/effect", guarded([this](const Request&, Response& res) {
                   std::lock_guard<std::mutex> lock(mutex);
                   ensureProcess();
                   res.set_content(infoText, "application/json");
               }));
    server.Put("/api/params", guarded([this](const Request& q, Response& s) { putParams(q, s); }));
    server.Get("/api/settings", guarded([this](const Request&, Response& res) {
                   std::lock_guard<std::mutex> lock(mutex);
                   json out = settings.toJson();
                   out["photograph"] = fs::exists(kPhotographPath);
                   out["inputFile"] = options.input.empty() ? json(nullptr) : json(options.input);
                   out["effectDir"] = options.effectDir.empty() ? json(nullptr) : json(options.effectDir);
                   sendJson(res, out);
               }));
    server.Put("/api/settings", guarded([this](const Request& q, Response& s) { putSettings(q, s); }));
    server.Get("/api/frame.png", guarded([this](const Request& q, Response& s) { getFrame(q, s, "png"); }));
    server.Get("/api/frame.raw", guarded([this](const Request& q, Response& s) { getFrame(q, s, "raw"); }));
    server.Post("/api/frame.raw", guarded([this](const Request& q, Response& s) { getFrame(q, s, "raw"); }));
    server.Get("/api/frame.exr", guarded([this](const Request& q, Response& s) { getFrame(q, s, "exr"); }));
    server.Get("/api/input.png", guarded([this](const Request&, Response& res) {
                   std::lock_guard<std::mutex> lock(mutex);
                   const std::string input = inputPath(settings.input);
                   const std::vector<uint8_t> bytes = media::encodeImage(
                       "input.png",
                       input.empty() ? render::makeTestCard(settings.width, settings.height) : readCheckedImage(input),
                       8);
                   res.set_content(reinterpret_cast<const char*>(bytes.data()), bytes.size(), "image/png");
               }));
    server.Get("/api/pixel", guarded([this](const Request& req, Response& res) {
                   std::lock_guard<std::mutex> lock(mutex);
                   if (!frame.valid) throw HttpError(404, "no frame yet");
                   const double x = numberParam(req, "x", 0, 0, frame.image.width - 1),
                                y = numberParam(req, "y", 0, 0, frame.image.height - 1);
                   const float* p = frame.image.pixel(uint32_t(x), uint32_t(y));
                   // As the host's pixels hold them: 0-255, 0-32768 or float.
                   const double scale = frame.depth == 8 ? 255 : frame.depth == 16 ? 32768 : 1;
                   json v = json::array();
                   for (int c = 0; c < 4; ++c) v.push_back(frame.depth == 32 ? double(p[c]) : std::round(p[c] * scale));
                   sendJson(res, {{"x", uint32_t(x)}, {"y", uint32_t(y)}, {"depth", frame.depth}, {"rgba", v}});
               }));
    server.Get("/api/errors", guarded([this](const Request&, Response& res) {
                   std::lock_guard<std::mutex> lock(mutex);
                   sendJson(res, errorsJson());
               }));
    server.Get("/api/command", guarded([this](const Request& req, Response& res) {
                   const double time = numberParam(req, "time", 0, 0, 1e6);
                   const unsigned depth = unsigned(numberParam(req, "depth", 8, 8, 32));
                   std::lock_guard<std::mutex> lock(mutex);
                   sendJson(res, {{"command", command(time, depth)}});
               }));
    server.Get("/api/files", guarded([this](const Request&, Response& res) {
                   json files = json::array();
                   std::error_code ec;
                   if (!options.effectDir.empty())
                       for (fs::recursive_directory_iterator it(options.effectDir, ec), end;
                            !ec && it != end && files.size() < 500; it.increment(ec))
                           if (it->is_regular_file(ec) && isImageName(it->path()))
                               files.push_back(it->path().lexically_relative(options.effectDir).generic_string());
                   sendJson(res, {{"files", files}});
               }));
    server.Post("/api/upload", guarded([this](const Request& q, Response& s) { upload(q, s); }));
    // The editor's text files (studio/Files.h): for an imported file the
    // author's own, never the generated effect the next import replaces.
    if (options.source)
        addSourceRoutes(server, options.source->sourceFolder(), [source = options.source] { return source->files(); });
    else addSourceRoutes(server, options.effectDir);
    server.Get("/api/events", [this](const Request&, Response& res) {
        auto last = std::make_shared<uint64_t>(events.last());
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider("text/event-stream", [this, last](size_t offset, httplib::DataSink& sink) {
            std::string out;
            // A first line at once: the browser counts the stream as open
            // when it sees the headers, which go out with the first data.
            if (offset == 0) out = ": open\n\n";
            else if (!events.wait(*last, std::chrono::seconds(15), out)) return false;
            if (out.empty()) out = ": still here\n\n";
            return sink.write(out.data(), out.size());
        });
    });
}

int Studio::run() {
    // SIGINT and SIGTERM are taken by one thread (below); every other thread,
    // started after this, inherits the blocked mask. A client that goes
    // away leaves a broken pipe: an error, not a signal.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    server.new_task_queue = [] { return new ConnectionThreads; };
    server.set_payload_max_length(kMaxUploadBody);
    server.set_read_timeout(5, 0);
    // Answers go out at once: with Nagle's algorithm a small answer written
    // after its headers waits for the client's delayed acknowledgement.
    server.set_tcp_nodelay(true);
    routes(server);
    port = options.port == 0 ? server.bind_to_any_port("127.0.0.1")
                             : (server.bind_to_port("127.0.0.1", options.port) ? options.port : -1);
    if (port <= 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(options.port) +
                                 " (is the port in use?)");

    std::unique_ptr<Watcher> watcher;
    const auto onChange = [this](const std::vector<std::string>& files) { reload(files); };
    const std::string watched = options.effectDir.empty() ? options.modulePath : options.effectDir;
    if (options.source)
        watcher = std::make_unique<Watcher>(
            options.source->sourceFolder(), [this](const std::string& name) { return options.source->reads(name); },
            milliseconds(40), onChange);
    else watcher = std::make_unique<Watcher>(watched, milliseconds(40), onChange);

    std::atomic<bool> done{false};
    std::thread signals([&] {
        const timespec tick{0, 200 * 1000 * 1000};
        while (!done) {
            if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) break;
        }
        events.close();
        server.stop();
    });

    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/?token=" + token;
    std::cout << "Studio: " << url << std::endl;
    pid_t opener = -1;
    if (options.open && (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"))) {
        const char* argv[] = {"xdg-open", url.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&opener, "xdg-open", &actions, nullptr, const_cast<char**>(argv), environ) != 0) opener = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    const bool served = server.listen_after_bind();
    done = true;
    events.close();
    signals.join();
    watcher.reset();
    {
        std::lock_guard<std::mutex> lock(mutex);
        process.reset();
    }
    if (opener > 0) waitpid(opener, nullptr, WNOHANG);
    std::cerr << "Studio stopped.\n";
    return served ? 0 : 1;
}

}  // namespace

int serve(const Options& options) {
    Studio studio(options);
    return studio.run();
}

}  // namespace studio
