// The thread helper that the load and the evaluation share.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "tasks.h"

TEST(Tasks, EveryTaskRunsExactlyOnceWhateverTheThreadCount) {
    for (int threads : {0, 1, 2, 8, 50}) {
        for (int ntasks : {0, 1, 3, 257}) {
            std::vector<std::atomic<int>> runs(static_cast<std::size_t>(ntasks));
            std::mutex lock;
            std::set<std::thread::id> seen;
            run_tasks(ntasks, threads, [&](int t) {
                runs[static_cast<std::size_t>(t)]++;
                std::lock_guard<std::mutex> hold(lock);
                seen.insert(std::this_thread::get_id());
            });
            for (int t = 0; t < ntasks; t++) EXPECT_EQ(runs[static_cast<std::size_t>(t)], 1) << threads << " " << t;
            // At most the threads asked for (this one included, at most 8), and
            // with one thread (or none asked) everything runs here.
            EXPECT_LE(seen.size(), static_cast<std::size_t>(threads < 1 ? 1 : (threads > 8 ? 8 : threads)));
            if (threads <= 1 && ntasks > 0) {
                EXPECT_EQ(*seen.begin(), std::this_thread::get_id());
            }
        }
    }
}
