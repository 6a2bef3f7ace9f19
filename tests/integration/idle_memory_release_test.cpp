// Freed heap memory goes back to the system once the program is quiet.
#include "platform/linux/idle_memory_release.h"

#include "support/resident_size.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace std::chrono_literals;

TEST(IdleMemoryRelease, GivesFreedHeapPagesBackOnceQuiet)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's allocator holds freed memory back";
#endif
    // What a burst leaves: heap blocks freed but for one in sixteen, which
    // keeps the C library from shrinking the heap by itself.
    std::vector<std::unique_ptr<char[]>> blocks(8192);
    for (auto &block : blocks)
        block = std::make_unique<char[]>(4000); // zeroed, so resident
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (i % 16 != 15)
            blocks[i].reset();
    }
    const qint64 held = pvx::testing::residentKiB();
    pvx::platform::IdleMemoryRelease release(100ms);
    release.activity();
    EXPECT_TRUE(waitUntil([&] { return pvx::testing::residentKiB() < held - 16 * 1024; }, 5s)) << held << " KiB";
}
