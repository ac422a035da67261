// Process-wide singletons.
//
// static_singleton<T>: instance() returns a function-local static T, built on
// first use and destroyed at process exit.
// dynamic_singleton<T>: instance() creates T with new when there is none;
// destroy() deletes it (creating it first if needed) so that the next
// instance() builds a fresh one.
//
// Neither locks: every caller runs under the module's entry lock.
#pragma once

namespace ustl {

template <class T>
class static_singleton {
public:
    static T& instance() {
        static T object;
        return object;
    }

protected:
    static_singleton() = default;
    ~static_singleton() = default;
    static_singleton(const static_singleton&) = delete;
    static_singleton& operator=(const static_singleton&) = delete;
};

template <class T>
class dynamic_singleton {
public:
    static T& instance() {
        if (!pointer) pointer = new T();
        return *pointer;
    }

    static void destroy() {
        instance();
        delete pointer;
        pointer = nullptr;
    }

    static bool exists() { return pointer != nullptr; }

protected:
    dynamic_singleton() = default;
    virtual ~dynamic_singleton() = default;
    dynamic_singleton(const dynamic_singleton&) = delete;
    dynamic_singleton& operator=(const dynamic_singleton&) = delete;

private:
    static inline T* pointer = nullptr;
};

}  // namespace ustl
