#include "volume_pages.h"

#include <future>
#include <mutex>

#include "platform.h"

#include "main.h"

namespace {

// Process-wide, never reset: the volume has its pages for the process's whole life.
std::once_flag g_started;
std::future<void> g_giving;  // waited for at exit by its own destructor when no one waited before

}  // namespace

void VOLUME_PAGES_START() {
    std::call_once(g_started, [] {
        g_giving = std::async(std::launch::async, [] { plat_give_pages(data, sizeof data); });
    });
}

void VOLUME_PAGES_WAIT() {
    // The start and the waits all run on the program's thread.
    if (g_giving.valid()) g_giving.wait();
}
