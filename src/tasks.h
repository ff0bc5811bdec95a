// The program's one thread helper: a few independent tasks shared between the
// calling thread and some helpers, for the load (planes of the volume) and the
// evaluation (rays, sectors, bull's-eye rows). Nothing else in the program
// starts a thread.
#ifndef VESMORA_TASKS_H
#define VESMORA_TASKS_H

#include <atomic>
#include <system_error>
#include <thread>

// The one choice of how many threads work on a task list: the processors the
// system reports, 1 when it reports none, at most 8 (run_tasks takes no more).
// Every split of the program gives results that depend on the task number only,
// so this choice changes the time taken, never a value.
inline int worker_threads() {
    const unsigned hw = std::thread::hardware_concurrency();
    return hw < 1 ? 1 : hw > 8 ? 8 : static_cast<int>(hw);
}

// Runs f(0) .. f(ntasks - 1), each exactly once, on this thread and up to
// threads - 1 helpers (at most 7), handing the tasks out in order; returns when
// all have run. A helper that cannot be had leaves its share to the others, so
// without any everything runs here. Which thread runs a task is left open: a
// task must depend on its number only.
template <class F>
void run_tasks(int ntasks, int threads, F&& f) {
    std::atomic<int> next{0};
    auto worker = [&]() {
        for (;;) {
            const int t = next.fetch_add(1);
            if (t >= ntasks) break;
            f(t);
        }
    };
    std::thread helpers[7];
    const int nhelpers = threads - 1 < 0 ? 0 : (threads - 1 > 7 ? 7 : threads - 1);
    for (int h = 0; h < nhelpers && h + 1 < ntasks; h++) {
        try {
            helpers[h] = std::thread(worker);
        } catch (const std::system_error&) {
            break;  // no thread to be had: the tasks run on the threads there are
        }
    }
    worker();
    for (std::thread& h : helpers)
        if (h.joinable()) h.join();
}

#endif
