#include "Av.h"

#ifdef __linux__
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <vector>

namespace media {

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

// The frame-number field of a pattern: its position, length and digits.
struct Field {
    size_t at = std::string::npos, length = 0;
    int width = 0;
};

Field findField(const std::string& name) {
    Field f;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') continue;
        if (i + 1 < name.size() && name[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j]))) ++j;
        if (j < name.size() && name[j] == 'd' && j - i <= 3) {
            f.at = i;
            f.length = j + 1 - i;
            f.width = j > i + 1 ? std::stoi(name.substr(i + 1, j - i - 1)) : 0;
            return f;
        }
    }
    return f;
}

// The frame numbers of the files on disk that the pattern names, lowest
// first, and the name of one of them.
struct Numbered {
    std::vector<long long> numbers;
    std::string nameOf(long long n) const {
        char formatted[32];
        std::snprintf(formatted, sizeof formatted, "%0*lld", width, n);
        return (folder / (prefix + formatted + suffix)).string();
    }
    fs::path folder;
    std::string prefix, suffix;
    int width = 0;
};

Numbered sequenceFiles(const std::string& pattern) {
    fs::path p(pattern);
    const std::string name = p.filename().string();
    const Field f = findField(name);
    const std::string prefix = name.substr(0, f.at), suffix = name.substr(f.at + f.length);
    fs::path folder = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    Numbered found{{}, p.parent_path(), prefix, suffix, f.width};
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::string file = entry.path().filename().string();
        if (file.size() <= prefix.size() + suffix.size() || file.compare(0, prefix.size(), prefix) != 0 ||
            file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        std::string digits = file.substr(prefix.size(), file.size() - prefix.size() - suffix.size());
        if (digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        long long n = std::stoll(digits);
        char formatted[32];
        std::snprintf(formatted, sizeof formatted, "%0*lld", f.width, n);
        if (digits != formatted) continue;  // 7 for %04d, 0007 for %d: another naming
        found.numbers.push_back(n);
    }
    if (ec) throw Error(pattern + ": cannot list " + folder.string() + ": " + ec.message());
    if (found.numbers.empty()) throw Error(pattern + ": no files match the frame pattern");
    std::sort(found.numbers.begin(), found.numbers.end());
    return found;
}

}  // namespace

bool isSequencePattern(const std::string& path) {
    return findField(fs::path(path).filename().string()).at != std::string::npos;
}

bool isClipName(const std::string& path) {
    if (isSequencePattern(path)) return true;
    const std::string ext = lowerExtension(path);
    for (const char* known : {".mp4", ".mov", ".mkv", ".webm", ".avi", ".gif"})
        if (ext == known) return true;
    return false;
}

bool isVideoOutputName(const std::string& path) {
    const std::string ext = lowerExtension(path);
    for (const char* known : {".mp4", ".mov", ".mkv", ".webm", ".gif"})
        if (ext == known) return true;
    return false;
}

std::vector<std::string> sequenceFileNames(const std::string& pattern) {
    std::vector<std::string> names;
    try {
        const Numbered files = sequenceFiles(pattern);
        for (long long n : files.numbers) names.push_back(files.nameOf(n));
    } catch (const Error&) {
        // No match, or a folder that cannot be listed: no files.
    }
    return names;
}

namespace av {

std::string errorText(int status) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, text, sizeof text);
    return text;
}

int check(int status, const std::string& file, const char* what) {
    if (status < 0) throw Error(file + ": " + what + ": " + errorText(status));
    return status;
}

Frame allocFrame() {
    Frame f(av_frame_alloc());
    if (!f) throw std::bad_alloc();
    return f;
}

Packet allocPacket() {
    Packet p(av_packet_alloc());
    if (!p) throw std::bad_alloc();
    return p;
}

void quiet() {
    // The libraries' own log lines (encoder banners, statistics) would
    // interleave with the command's output; errors come back as statuses.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

void backgroundThread(const char* name) {
#ifdef __linux__
    pthread_setname_np(pthread_self(), name);
    // A thread's nice value is its own on Linux, and threads it starts
    // inherit it. A failure leaves the thread as it was.
    setpriority(PRIO_PROCESS, id_t(gettid()), 19);
#else
    (void)name;
#endif
}

Input openInput(const std::string& path, AVRational rate) {
    quiet();
    AVDictionary* options = nullptr;
    const AVInputFormat* format = nullptr;
    if (isSequencePattern(path)) {
        format = av_find_input_format("image2");
        av_dict_set_int(&options, "start_number", sequenceFiles(path).numbers.front(), 0);
        av_dict_set(&options, "framerate", (std::to_string(rate.num) + "/" + std::to_string(rate.den)).c_str(), 0);
    } else if (!fs::is_regular_file(path)) {
        throw Error(path + ": " + (fs::exists(path) ? "not a file" : "no such file"));
    }
    AVFormatContext* raw = nullptr;
    int status = avformat_open_input(&raw, path.c_str(), format, &options);
    av_dict_free(&options);
    check(status, path, "cannot open");
    Input input(raw);
    check(avformat_find_stream_info(input.get(), nullptr), path, "cannot read its streams");
    return input;
}

void checkSequenceComplete(const std::string& pattern) {
    const Numbered files = sequenceFiles(pattern);
    size_t i = 0;
    while (i < files.numbers.size() && files.numbers[i] == files.numbers.front() + (long long)i) ++i;
    if (i == files.numbers.size()) return;
    throw Error(pattern + ": " + files.nameOf(files.numbers.front() + (long long)i) +
                " is missing; the sequence goes on to " + files.nameOf(files.numbers.back()));
}

int videoStream(AVFormatContext* input, const std::string& path) {
    int index = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) throw Error(path + ": has no video stream");
    return index;
}

}  // namespace av
}  // namespace media
