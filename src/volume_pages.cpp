#include "volume_pages.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "platform.h"

#include "main.h"

namespace {

// Process-wide, never reset: the volume has its pages for the process's whole life.
std::once_flag g_started;
std::atomic<bool> g_given{false};

}  // namespace

void VOLUME_PAGES_START() {
    std::call_once(g_started, [] {
        std::thread([] {
            plat_give_pages(data, sizeof data);
            g_given.store(true, std::memory_order_release);
        }).detach();
    });
}

void VOLUME_PAGES_WAIT() {
    // Not done yet: this thread asks for the pages left too, rather than waiting on the other.
    // Asking twice changes no value, and a child of fork (whose copy of the other thread never
    // runs) cannot wait forever.
    if (g_given.load(std::memory_order_acquire)) return;
    plat_give_pages(data, sizeof data);
    g_given.store(true, std::memory_order_release);
}
