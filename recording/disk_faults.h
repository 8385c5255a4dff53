#pragma once
// A stand-in for a disk that fills up or refuses new files, for tests of the record writer: the
// AVI files that share it may grow only by the free bytes it has left (a write beyond that is cut
// short and fails with ENOSPC, as on a full disk), give the bytes back when they shrink or are
// removed, and fail to be created with a chosen error. Thread-safe: a test changes it while the
// writer thread writes.
#include <cstdint>
#include <mutex>
#include <optional>

namespace vidora {

class DiskFaults {
  public:
    // Bytes that files may still grow by; nullopt: as many as the real disk has.
    void setFreeBytes(std::optional<uint64_t> bytes) {
        std::lock_guard lock(mutex_);
        free_ = bytes;
    }
    std::optional<uint64_t> freeBytes() const {
        std::lock_guard lock(mutex_);
        return free_;
    }
    // Creating a file fails with this error (EACCES, EROFS, ...); 0: creating works.
    void setCreateError(int error) {
        std::lock_guard lock(mutex_);
        createError_ = error;
    }
    int createError() const {
        std::lock_guard lock(mutex_);
        return createError_;
    }

    // For the files: how many of `bytes` more they may take.
    uint64_t take(uint64_t bytes) {
        std::lock_guard lock(mutex_);
        if (!free_)
            return bytes;
        const uint64_t granted = bytes < *free_ ? bytes : *free_;
        *free_ -= granted;
        return granted;
    }
    // For the files: they shrank by `bytes`.
    void give(uint64_t bytes) {
        std::lock_guard lock(mutex_);
        if (free_)
            *free_ += bytes;
    }

  private:
    mutable std::mutex mutex_;
    std::optional<uint64_t> free_;
    int createError_ = 0;
};

}  // namespace vidora
