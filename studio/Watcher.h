// Watches a folder and its subfolders (or one file) through inotify and
// calls back once a burst of changes has settled, so that an editor's
// save (write, rename, touch) gives one reload.
//
// Threads: the watcher runs its own thread; the callback is called on it,
// one call at a time, with the names that changed (relative to the
// watched folder). Destruction stops the thread and waits for it.
// Errors: the constructor throws std::runtime_error when inotify is not
// available; folders that appear later are watched as they appear.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace studio {

class Watcher {
public:
    using Callback = std::function<void(const std::vector<std::string>& changed)>;
    // `path` a folder (watched recursively) or a file (its folder watched,
    // other names ignored).
    Watcher(const std::string& path, std::chrono::milliseconds settle, Callback callback);
    // `folder` alone (not its subfolders), only the names `wanted` accepts.
    Watcher(const std::string& folder, std::function<bool(const std::string& name)> wanted,
            std::chrono::milliseconds settle, Callback callback);
    ~Watcher();
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

private:
    void addTree(const std::string& folder);
    void run();

    int fd = -1, wakeFd = -1;
    std::string root;
    std::function<bool(const std::string& name)> wanted;  // unset: every name, subfolders included
    std::chrono::milliseconds settle;
    Callback callback;
    std::map<int, std::string> folders;  // watch descriptor -> path relative to root
    std::atomic<bool> stopping{false};
    std::thread thread;
};

}  // namespace studio
