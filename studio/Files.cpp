// The editor's file routes: list, read and save the effect's text files.
#include "Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "studio/Rules.h"

namespace studio {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

struct Refusal {
    int status;
    std::string message;
};

// A request's body as JSON: a save carries the text, JSON-escaped.
constexpr size_t kMaxSaveBody = 2 * kMaxSourceSize + 4096;

bool isUtf8Text(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0) return false;
        const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
        i += length;
    }
    return true;
}

// Names a text as read: FNV-1a of its bytes, in hexadecimal.
std::string versionOf(const std::string& text) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
    return out;
}

// The editor's files: every text file under `root`, or only the names `only` gives.
struct Sources {
    std::string root;
    std::function<std::vector<std::string>()> only;

    bool offers(const std::string& relative) const {
        if (!only) return true;
        const std::vector<std::string> names = only();
        return std::find(names.begin(), names.end(), relative) != names.end();
    }
};

// The real path of the editor's text file `relative`, or a refusal.
std::string sourcePath(const Sources& sources, const std::string& relative) {
    const fs::path rel(relative);
    if (relative.empty() || rel.is_absolute() ||
        std::any_of(rel.begin(), rel.end(), [](const fs::path& part) { return part == ".."; }))
        throw Refusal{403, "'" + relative + "' is not a file inside the effect folder"};
    if (!isSourceName(relative)) throw Refusal{415, "'" + relative + "' is not a text file the editor opens"};
    if (!sources.offers(relative))
        throw Refusal{403, "'" + relative + "' is not a file the import reads: the effect is made anew from those"};
    const std::optional<std::string> path = confinedPath(sources.root, relative);
    if (!path) throw Refusal{403, "'" + relative + "' is not a file inside the effect folder"};
    return *path;
}

std::string readSource(const std::string& path, const std::string& relative) {
    std::error_code ec;
    if (fs::file_size(path, ec) > kMaxSourceSize || ec)
        throw Refusal{413,
                      "'" + relative + "' is larger than the editor's " + std::to_string(kMaxSourceSize) + " bytes"};
    std::ifstream in(path, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    if (!in.eof() && in.fail()) throw Refusal{500, "cannot read '" + relative + "'"};
    if (!isUtf8Text(text)) throw Refusal{415, "'" + relative + "' is not UTF-8 text"};
    return text;
}

// Writes `text` over `path` through a new file in the same folder, renamed
// over the old one, with the old file's permissions.
void replaceFile(const std::string& path, const std::string& text, const std::string& relative) {
    const fs::path target(path);
    std::string temp = (target.parent_path() / ("." + target.filename().string() + ".save-XXXXXX")).string();
    const int fd = mkstemp(temp.data());
    if (fd < 0) throw Refusal{500, "cannot write beside '" + relative + "'"};
    struct stat old {};
    bool ok = stat(path.c_str(), &old) == 0 && fchmod(fd, old.st_mode & 07777) == 0;
    for (size_t at = 0; ok && at < text.size();) {
        const ssize_t n = write(fd, text.data() + at, text.size() - at);
        ok = n > 0;
        at += ok ? size_t(n) : 0;
    }
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        throw Refusal{500, "cannot save '" + relative + "'"};
    }
}

json listSources(const Sources& sources) {
    json files = json::array();
    std::error_code ec;
    const std::string& root = sources.root;
    if (root.empty()) return files;
    if (sources.only) {
        for (const std::string& rel : sources.only())
            if (isSourceName(rel) && confinedPath(root, rel) && fs::is_regular_file(fs::path(root) / rel, ec))
                files.push_back({{"path", rel}, {"size", fs::file_size(fs::path(root) / rel, ec)}});
    } else {
        for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end && files.size() < 500;
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            // Hidden files and folders (an editor's backups, a save's new file) are not the effect's.
            if (name.empty() || name[0] == '.') {
                if (it->is_directory(ec)) it.disable_recursion_pending();
                continue;
            }
            const std::string rel = it->path().lexically_relative(root).generic_string();
            if (!it->is_regular_file(ec) || !isSourceName(rel) || !confinedPath(root, rel)) continue;
            files.push_back({{"path", rel}, {"size", it->file_size(ec)}});
        }
    }
    std::sort(files.begin(), files.end(), [](const json& a, const json& b) { return a["path"] < b["path"]; });
    return files;
}

json saveSource(const Sources& sources, const httplib::Request& req) {
    if (!hasMediaType(req.get_header_value("Content-Type"), "application/json"))
        throw Refusal{415, "the body must be sent as Content-Type: application/json"};
    if (req.body.size() > kMaxSaveBody)
        throw Refusal{413, "a save is limited to " + std::to_string(kMaxSaveBody) + " bytes"};
    const json body = json::parse(req.body, nullptr, false);
    if (!body.is_object() || !body.contains("path") || !body["path"].is_string() || !body.contains("text") ||
        !body["text"].is_string() || (body.contains("version") && !body["version"].is_string()))
        throw Refusal{400, "a save needs a JSON object with the strings \"path\" and \"text\""};
    const std::string relative = body["path"].get<std::string>(), text = body["text"].get<std::string>();
    const std::string path = sourcePath(sources, relative);
    if (text.size() > kMaxSourceSize)
        throw Refusal{413, "the editor saves at most " + std::to_string(kMaxSourceSize) + " bytes"};
    if (!isUtf8Text(text)) throw Refusal{415, "the text is not UTF-8 without NUL characters"};
    if (body.contains("version") && versionOf(readSource(path, relative)) != body["version"].get<std::string>())
        throw Refusal{409, "'" + relative + "' changed on disk since it was opened"};
    replaceFile(path, text, relative);
    return {{"path", relative}, {"version", versionOf(text)}};
}

// Runs a route's work and sends its JSON answer, or the refusal as {"error"}.
template <class Work>
void answer(httplib::Response& res, Work work) {
    try {
        res.set_content(work().dump(), "application/json");
    } catch (const Refusal& r) {
        res.status = r.status;
        res.set_content(json{{"error", r.message}}.dump(), "application/json");
    }
}

}  // namespace

bool isSourceName(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {".js", ".frag", ".vert", ".fs", ".vs", ".glsl", ".xml", ".txt", ".json", ".md"})
        if (ext == known) return true;
    return false;
}

void addSourceRoutes(httplib::Server& server, const std::string& root, std::function<std::vector<std::string>()> only) {
    const Sources sources{root, std::move(only)};
    server.Get("/api/sources", [sources](const httplib::Request&, httplib::Response& res) {
        answer(res, [&] { return json{{"files", listSources(sources)}}; });
    });
    server.Get("/api/source", [sources](const httplib::Request& req, httplib::Response& res) {
        answer(res, [&] {
            const std::string relative = req.get_param_value("path");
            const std::string text = readSource(sourcePath(sources, relative), relative);
            return json{{"path", relative}, {"text", text}, {"version", versionOf(text)}};
        });
    });
    server.Put("/api/source", [sources](const httplib::Request& req, httplib::Response& res) {
        answer(res, [&] { return saveSource(sources, req); });
    });
}

}  // namespace studio
