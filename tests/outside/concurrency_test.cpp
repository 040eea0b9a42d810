// The ring and the sequence lock that carry audio and timings between threads, with real
// threads hammering them. Run under ThreadSanitizer by the test script.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "common/SeqLock.h"
#include "common/SpscRing.h"

namespace {

using kazout::SeqLock;
using kazout::SpscRing;

// Every value the producer writes arrives once, in order, whatever the sizes of the runs
// on either side and however the indices wrap around the ring.
TEST(SpscRing, CarriesEveryItemOnceInOrderAcrossThreads) {
  SpscRing<uint32_t> ring(1000);  // rounded up to 1024
  EXPECT_EQ(ring.Capacity(), 1024u);
  constexpr uint32_t kItems = 2000000;
  std::thread producer([&] {
    std::mt19937 rng(1);
    std::vector<uint32_t> block(700);
    uint32_t next = 0;
    while (next < kItems) {
      const size_t want = std::min<size_t>(1 + rng() % block.size(), kItems - next);
      for (size_t i = 0; i < want; ++i) block[i] = next + static_cast<uint32_t>(i);
      next += static_cast<uint32_t>(ring.Write(block.data(), want));
    }
  });
  std::mt19937 rng(2);
  std::vector<uint32_t> block(900);
  uint32_t expected = 0;
  bool inOrder = true;
  while (expected < kItems) {
    const size_t readable = ring.Readable();
    if (readable > 0 && ring.Peek(0) != expected) inOrder = false;
    const size_t got = ring.Read(block.data(), 1 + rng() % block.size());
    for (size_t i = 0; i < got; ++i) inOrder = inOrder && block[i] == expected++;
  }
  producer.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(ring.Readable(), 0u);
  EXPECT_EQ(ring.Written(), kItems);
  EXPECT_EQ(ring.Taken(), kItems);
}

TEST(SpscRing, RefusesWhatDoesNotFitAndDropsInPlace) {
  SpscRing<int> ring(4);
  const int items[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(ring.Write(items, 6), 4u);
  EXPECT_FALSE(ring.Push(7));
  EXPECT_EQ(ring.At(ring.Taken() + 2), 3);
  ring.Drop(3);
  int out = 0;
  EXPECT_TRUE(ring.Pop(&out));
  EXPECT_EQ(out, 4);
  EXPECT_FALSE(ring.Pop(&out));
}

struct Triple {
  uint64_t a, b, c;
};

// A reader never sees a value half written: the three words always belong together.
TEST(SeqLock, ReadersSeeOnlyWholeValues) {
  SeqLock<Triple> lock(Triple{0, 0, ~0ull});
  std::atomic<bool> done{false};
  std::atomic<uint64_t> torn{0}, reads{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      uint64_t last = 0;
      while (!done.load()) {
        const Triple t = lock.Load();
        if (t.b != t.a * 3 || t.c != ~t.a || t.a < last) torn.fetch_add(1);
        last = t.a;
        reads.fetch_add(1);
      }
    });
  }
  // Writes go on until the readers have had their share, however busy the machine is.
  uint64_t i = 0;
  while (++i <= 300000 || reads.load() < 10000) lock.Store(Triple{i, i * 3, ~i});
  done.store(true);
  for (auto& t : readers) t.join();
  EXPECT_EQ(torn.load(), 0u);
  EXPECT_EQ(lock.Load().a, i - 1);
}

}  // namespace
