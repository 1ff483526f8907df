// A buffer that cannot be allocated: the constructors throw std::bad_alloc
// and leave nothing behind. Array allocation is replaced in this program so
// the failure can be produced on demand; a real out-of-memory cannot.
#include "engine/streams.h"
#include "memory_streams.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_failingArraySize{0};
}

void* operator new[](size_t size) {
    if (size != 0 && size == g_failingArraySize.load())
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

namespace {

// An odd size that no other allocation in these tests asks for.
constexpr int kFailingCapacity = 777013;

struct FailingAllocations : ::testing::Test {
    void SetUp() override { g_failingArraySize = kFailingCapacity; }
    void TearDown() override { g_failingArraySize = 0; }
};

TEST_F(FailingAllocations, EveryBufferedStreamThrowsBadAlloc) {
    engine_testing::MemorySource source({});
    engine_testing::MemorySink sink;
    EXPECT_THROW({ CBufferedInputStream s(&source, kFailingCapacity); }, std::bad_alloc);
    EXPECT_THROW({ CBufferedOutputStream s(&sink, kFailingCapacity); }, std::bad_alloc);
    EXPECT_THROW({ CBufferedFileInputStream s(kFailingCapacity); }, std::bad_alloc);
    EXPECT_THROW({ CBufferedFileOutputStream s(kFailingCapacity); }, std::bad_alloc);
    // Other sizes still work.
    CBufferedOutputStream out(&sink, kFailingCapacity - 1);
    EXPECT_TRUE(out.WriteByte(1));
}

} // namespace
