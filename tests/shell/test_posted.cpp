// Posted messages: the one way a worker thread hands a result to the window's
// thread. The headless back end queues them and runs them when asked, as a
// desktop back end's message loop does.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "headless.h"
#include "layout.h"
#include "main.h"
#include "shell_fixture.h"

namespace {

struct Received {
    unsigned msg;
    std::uintptr_t wparam;
    std::thread::id thread;
};
std::vector<Received> received;  // touched only by the thread that runs the posted messages

std::intptr_t recorder(HWND_ hwnd, unsigned msg, std::uintptr_t wparam, std::intptr_t) {
    if (msg < VM_APP) return 0;  // the creation's own initialisation
    received.push_back(Received{msg, wparam, std::this_thread::get_id()});
    // A handler may post again: that message runs in the same drain, after the others.
    if (wparam == 7) plat_post_message(hwnd, VM_APP + 1, 700, 0);
    return 0;
}

}  // namespace

TEST_F(Shell, MessagesPostedFromAWorkerRunInOrderOnTheLoopsThread) {
    received.clear();
    HWND_ target = plat_create_window(TPL_D3WIN, nullptr, recorder);
    constexpr int kCount = 2000;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int n = 0; n < kCount; n++) plat_post_message(target, VM_APP, static_cast<std::uintptr_t>(n), 0);
        done = true;
    });
    // Drain while the worker posts, as a loop would between inputs.
    int ran = 0;
    while (!done) ran += headless::run_posted();
    worker.join();
    ran += headless::run_posted();

    ASSERT_EQ(ran, kCount + 1);
    ASSERT_EQ(received.size(), static_cast<std::size_t>(kCount + 1));
    std::size_t n = 0;
    for (const Received& r : received) {
        EXPECT_EQ(r.thread, std::this_thread::get_id());
        if (r.msg == VM_APP + 1) {
            EXPECT_EQ(r.wparam, 700u);
            continue;
        }
        EXPECT_EQ(r.msg, VM_APP);
        EXPECT_EQ(r.wparam, n) << "out of order";
        n++;
    }
    EXPECT_EQ(headless::run_posted(), 0);

    // The program's own window takes a posted command as a sent one, but only
    // when the loop runs it; a reset drops what is still waiting.
    plat_post_message(WINDOW, VM_COMMAND, ID_PALETTE_NEXT, 0);
    EXPECT_EQ(palet, 0);
    EXPECT_EQ(headless::run_posted(), 1);
    EXPECT_EQ(palet, 1);
    plat_post_message(WINDOW, VM_COMMAND, ID_PALETTE_NEXT, 0);
    headless::reset();
    EXPECT_EQ(headless::run_posted(), 0);
}
