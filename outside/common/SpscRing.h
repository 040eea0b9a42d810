// A ring of items between exactly one producer thread and one consumer thread, neither of
// which ever waits or allocates: the capacity is fixed when the ring is made (before any
// stream starts), and each side only publishes its own count of items moved. Items are
// copied in and out in runs, so a ring of audio frames moves whole blocks at a time.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kazout {

template <typename T>
class SpscRing {
 public:
  // `capacity` is rounded up to a power of two.
  explicit SpscRing(size_t capacity) : items_(RoundUp(capacity)), mask_(items_.size() - 1) {}

  size_t Capacity() const { return items_.size(); }

  // Producer side.
  size_t Writable() const {
    return items_.size() -
           static_cast<size_t>(write_.load(std::memory_order_relaxed) -
                               read_.load(std::memory_order_acquire));
  }
  // Copies in as many of `count` items as fit; answers how many.
  size_t Write(const T* from, size_t count) {
    const uint64_t w = write_.load(std::memory_order_relaxed);
    const size_t n = std::min(count, Writable());
    for (size_t done = 0; done < n;) {
      const size_t at = static_cast<size_t>((w + done) & mask_);
      const size_t run = std::min(n - done, items_.size() - at);
      std::copy_n(from + done, run, &items_[at]);
      done += run;
    }
    write_.store(w + n, std::memory_order_release);
    return n;
  }
  bool Push(const T& item) { return Write(&item, 1) == 1; }
  // Items written since the ring was made: the index the next item gets. Any thread.
  uint64_t Written() const { return write_.load(std::memory_order_acquire); }

  // Consumer side.
  size_t Readable() const {
    return static_cast<size_t>(write_.load(std::memory_order_acquire) -
                               read_.load(std::memory_order_relaxed));
  }
  // The item `offset` places after the next one to read; offset < Readable().
  const T& Peek(size_t offset) const {
    return items_[static_cast<size_t>((read_.load(std::memory_order_relaxed) + offset) & mask_)];
  }
  // Copies out up to `count` items and takes them; answers how many.
  size_t Read(T* to, size_t count) {
    const uint64_t r = read_.load(std::memory_order_relaxed);
    const size_t n = std::min(count, Readable());
    for (size_t done = 0; done < n;) {
      const size_t at = static_cast<size_t>((r + done) & mask_);
      const size_t run = std::min(n - done, items_.size() - at);
      std::copy_n(&items_[at], run, to + done);
      done += run;
    }
    read_.store(r + n, std::memory_order_release);
    return n;
  }
  bool Pop(T* item) { return Read(item, 1) == 1; }
  // The readable items that lie in one piece from the next one to read: how many, and
  // where (*data). The consumer takes them with Drop when done.
  size_t ReadableRun(const T** data) const {
    const uint64_t r = read_.load(std::memory_order_relaxed);
    const size_t at = static_cast<size_t>(r & mask_);
    *data = &items_[at];
    return std::min(Readable(), items_.size() - at);
  }
  // The item with absolute index `index` (Taken() <= index < Written()), for a consumer
  // that works through what is readable in place before it takes it.
  const T& At(uint64_t index) const { return items_[static_cast<size_t>(index & mask_)]; }
  // Takes `count` items without copying them (count <= Readable()).
  void Drop(size_t count) {
    read_.store(read_.load(std::memory_order_relaxed) + count, std::memory_order_release);
  }
  // Items taken since the ring was made. Any thread.
  uint64_t Taken() const { return read_.load(std::memory_order_acquire); }

 private:
  static size_t RoundUp(size_t n) {
    size_t p = 1;
    while (p < n) p <<= 1;
    return p;
  }

  std::vector<T> items_;
  const uint64_t mask_;
  alignas(64) std::atomic<uint64_t> write_{0};
  alignas(64) std::atomic<uint64_t> read_{0};
};

}  // namespace kazout
