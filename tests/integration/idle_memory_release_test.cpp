// Freed heap memory goes back to the system once the program is quiet.
#include "platform/linux/idle_memory_release.h"

#include "support/resident_size.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using pvx::testing::residentKiB;

TEST(IdleMemoryRelease, GivesFreedHeapPagesBackOnceQuiet)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's allocator holds freed memory back";
#endif
    // What a burst of clients leaves: small blocks on the heap, freed but
    // for one in sixteen, which keeps the C library from shrinking the heap
    // by itself.
    constexpr std::size_t kBlock = 4000;
    std::vector<std::unique_ptr<char[]>> blocks(8192);
    for (auto &block : blocks) {
        block = std::make_unique<char[]>(kBlock);
        std::memset(block.get(), 1, kBlock);
    }
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (i % 16 != 15)
            blocks[i].reset();
    }
    const qint64 held = residentKiB();

    pvx::platform::IdleMemoryRelease release(100ms);
    release.activity();
    EXPECT_TRUE(waitUntil([&] { return residentKiB() < held - 16 * 1024; }, 5s))
        << "held " << held << " KiB, now " << residentKiB() << " KiB";
}
