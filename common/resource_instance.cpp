// Keeps the resource module handle. It is set once on the GUI thread before
// windows exist and only read afterwards, but an atomic costs nothing and
// makes a read from a worker thread well defined.
#include "common/resource_instance.h"

#include <atomic>

namespace {
std::atomic<HINSTANCE> g_resourceInstance{nullptr};
}

HINSTANCE GetResourceInstance() {
    HINSTANCE instance = g_resourceInstance.load(std::memory_order_relaxed);
    return instance ? instance : ::GetModuleHandleW(nullptr);
}

void SetResourceInstance(HINSTANCE instance) {
    g_resourceInstance.store(instance, std::memory_order_relaxed);
}
