// A value written by one thread and read by any number of others without either side ever
// waiting on a lock: the writer bumps a sequence count around its write (odd while
// writing), and a reader that saw the count change, or saw it odd, reads again. For small
// trivially copyable values (a few words) written at a modest rate, such as the timing of
// the last audio period. The words are atomics, so a read that races a write is a retried
// read, never a data race.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace kazout {

template <typename T>
class SeqLock {
  static_assert(std::is_trivially_copyable_v<T>, "a sequence lock copies its value word by word");

 public:
  SeqLock() : SeqLock(T{}) {}
  explicit SeqLock(const T& value) { Put(value); }

  // The writing thread only (one at a time).
  void Store(const T& value) {
    const uint32_t seq = seq_.load(std::memory_order_relaxed);
    seq_.store(seq + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    Put(value);
    seq_.store(seq + 2, std::memory_order_release);
  }

  // Any thread.
  T Load() const {
    for (;;) {
      const uint32_t before = seq_.load(std::memory_order_acquire);
      T value;
      Get(&value);
      std::atomic_thread_fence(std::memory_order_acquire);
      if (!(before & 1) && seq_.load(std::memory_order_relaxed) == before) return value;
    }
  }

 private:
  static constexpr size_t kWords = (sizeof(T) + sizeof(uint64_t) - 1) / sizeof(uint64_t);

  void Put(const T& value) {
    uint64_t words[kWords] = {};
    std::memcpy(words, &value, sizeof(T));
    for (size_t i = 0; i < kWords; ++i) words_[i].store(words[i], std::memory_order_relaxed);
  }
  void Get(T* value) const {
    uint64_t words[kWords];
    for (size_t i = 0; i < kWords; ++i) words[i] = words_[i].load(std::memory_order_relaxed);
    std::memcpy(value, words, sizeof(T));
  }

  std::atomic<uint32_t> seq_{0};
  std::atomic<uint64_t> words_[kWords];
};

}  // namespace kazout
