// The heap kept at start-up: the first load's buffers find pages already there.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>

namespace {
long minor_faults() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_minflt;
}
}  // namespace

// The bug was that the kept block, as large as the mapping threshold set for it, got a mapping of
// its own and went back to the system with its pages at its free.
TEST(KeptHeap, ABufferTakenAfterItFindsItsPagesThere) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator takes no mallopt";
#endif
    const std::size_t kept = std::size_t(24) << 20, buffer = std::size_t(4) << 20;
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    plat_keep_heap(kept);
    const long before = minor_faults();
    auto* p = static_cast<volatile char*>(std::malloc(buffer));  // volatile: written, not optimised away
    ASSERT_NE(p, nullptr);
    for (std::size_t n = 0; n < buffer; n += page) p[n] = 1;
    const long taken = minor_faults() - before;
    std::free(const_cast<char*>(p));
    EXPECT_LT(taken, 16) << "page faults for a 4 MiB buffer written after a 24 MiB heap was kept (1,024 pages)";
}
#endif
