#include "volume_pages.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform.h"

#include "Display.h"
#include "main.h"

namespace {

// Process-wide, never reset: the volume has its pages for the process's whole life.
std::once_flag g_started;
std::atomic<bool> g_given{false};
bool g_clear_later = false;  // a worker of the batch: the zeros wait for the next load
bool g_zeros_owed = false;   // the volume holds a study and should hold zeros

void write_zeros() {
    VOLUME_PAGES_WAIT();
    std::memset(data, 0, sizeof data);
    g_zeros_owed = false;
}

}  // namespace

void VOLUME_PAGES_START() {
    std::call_once(g_started, [] {
        std::thread([] {
            VIEW_PLANES_PAGES();
            plat_give_pages(data, sizeof data);
            g_given.store(true, std::memory_order_release);
        }).detach();
        // The first load's own buffers (a 128-matrix study: the file's bytes, its rows, some
        // 12 MB) on pages the allocator already holds, as a second load finds them; meanwhile
        // the thread above has the volume's given.
        plat_keep_heap(std::size_t(24) << 20);
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

void VOLUME_CLEAR() {
    if (g_clear_later) {
        g_zeros_owed = true;
        return;
    }
    write_zeros();
}

void VOLUME_CLEAR_LATER(int later) {
    g_clear_later = later != 0;
    if (!g_clear_later) VOLUME_SETTLE();
}

void VOLUME_SETTLE() {
    if (!g_zeros_owed) return;
    write_zeros();
    DATA_CHANGED();
}

void VOLUME_OVERWRITTEN() { g_zeros_owed = false; }
