#include "Watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace studio {

namespace fs = std::filesystem;

namespace {
constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                             IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
}

Watcher::Watcher(const std::string& path, std::chrono::milliseconds settleTime, Callback cb)
    : Watcher(
          fs::is_directory(path) ? path : fs::path(path).parent_path().string(),
          fs::is_directory(path)
              ? std::function<bool(const std::string&)>()
              : [only = fs::path(path).filename().string()](const std::string& name) { return name == only; },
          settleTime, std::move(cb)) {}

Watcher::Watcher(const std::string& folder, std::function<bool(const std::string& name)> accept,
                 std::chrono::milliseconds settleTime, Callback cb)
    : root(folder), wanted(std::move(accept)), settle(settleTime), callback(std::move(cb)) {
    fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0 || wakeFd < 0) {
        const std::string cause = std::strerror(errno);
        if (fd >= 0) close(fd);
        if (wakeFd >= 0) close(wakeFd);
        throw std::runtime_error("cannot watch " + folder + " for changes: " + cause);
    }
    if (!wanted) {
        addTree(root);
    } else {
        int wd = inotify_add_watch(fd, root.c_str(), kEvents);
        if (wd >= 0) folders[wd] = "";
    }
    thread = std::thread([this] { run(); });
}

Watcher::~Watcher() {
    stopping = true;
    const uint64_t one = 1;
    if (write(wakeFd, &one, sizeof one) < 0) { /* the thread also polls with a timeout */
    }
    thread.join();
    close(fd);
    close(wakeFd);
}

void Watcher::addTree(const std::string& folder) {
    int wd = inotify_add_watch(fd, folder.c_str(), kEvents);
    if (wd < 0) return;
    std::string rel = fs::path(folder).lexically_relative(root).generic_string();
    folders[wd] = rel == "." ? "" : rel;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec)) addTree(it->path().string());
}

void Watcher::run() {
    alignas(inotify_event) char buffer[16 * 1024];
    std::set<std::string> changed;
    auto lastEvent = std::chrono::steady_clock::now();
    while (!stopping) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int timeout = changed.empty() ? 1000 : int(settle.count());
        int r = poll(p, 2, timeout);
        if (stopping) break;
        if (r > 0 && (p[0].revents & POLLIN)) {
            ssize_t n;
            while ((n = read(fd, buffer, sizeof buffer)) > 0) {
                for (char* at = buffer; at < buffer + n;) {
                    const inotify_event* e = reinterpret_cast<const inotify_event*>(at);
                    at += sizeof(inotify_event) + e->len;
                    auto folder = folders.find(e->wd);
                    if (folder == folders.end()) continue;
                    const std::string name = e->len ? e->name : "";
                    if (wanted && !(e->mask & IN_IGNORED) && !wanted(name)) continue;
                    const std::string rel = folder->second.empty() ? name : folder->second + "/" + name;
                    if ((e->mask & IN_ISDIR) && (e->mask & (IN_CREATE | IN_MOVED_TO)) && !wanted)
                        addTree((fs::path(root) / rel).string());
                    if (e->mask & IN_IGNORED) folders.erase(folder);
                    else changed.insert(rel);
                }
            }
            lastEvent = std::chrono::steady_clock::now();
        }
        if (!changed.empty() && std::chrono::steady_clock::now() - lastEvent >= settle) {
            callback(std::vector<std::string>(changed.begin(), changed.end()));
            changed.clear();
        }
    }
}

}  // namespace studio
