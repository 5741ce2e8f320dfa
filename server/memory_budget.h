// Bytes that many holders draw on together, up to a ceiling: the texts the server's sessions have
// received in part. Not thread-safe: the protocol thread owns it and every session.
#pragma once

#include <cstdint>

class MemoryBudget {
  public:
    explicit MemoryBudget(int64_t limit) : limit_(limit) {}

    // Takes the bytes when they fit under the ceiling.
    bool take(int64_t bytes) {
        if (bytes > limit_ - used_) {
            return false;
        }
        used_ += bytes;
        return true;
    }
    void give(int64_t bytes) { used_ -= bytes; }
    int64_t used() const { return used_; }

  private:
    int64_t limit_;
    int64_t used_ = 0;
};
