#include "infra/bulk_memory.h"

#include <sanitizer/asan_interface.h>
#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

// Linux 5.14 and later; an older kernel answers EINVAL and the pages fault in on first use.
#ifndef MADV_POPULATE_WRITE
constexpr int MADV_POPULATE_WRITE = 23;
#endif

}  // namespace

std::shared_ptr<BulkRegion> BulkRegion::Map(size_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX / 2 - kHugePage) {
        return nullptr;
    }
    const size_t size = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    // One huge page more than needed, so that an aligned start lies inside; the rest is given back.
    const size_t mapped = size + kHugePage;
    void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        return nullptr;
    }
    char* const raw = static_cast<char*>(p);
    char* const base = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(raw) + kHugePage - 1) &
                                               ~uintptr_t(kHugePage - 1));
    const size_t head = size_t(base - raw);
    if (head > 0) {
        munmap(raw, head);
    }
    if (mapped - head > size) {
        munmap(base + size, mapped - head - size);
    }
    madvise(base, size, MADV_HUGEPAGE);
    madvise(base, size, MADV_POPULATE_WRITE);
    // Under AddressSanitizer only the bytes handed out may be touched, as with operator new.
    ASAN_POISON_MEMORY_REGION(base, size);
    return std::shared_ptr<BulkRegion>(new BulkRegion(base, size));
}

BulkRegion::~BulkRegion() {
    ASAN_UNPOISON_MEMORY_REGION(FBase, FSize);
    munmap(FBase, FSize);
}

void* BulkRegion::Take(size_t bytes, size_t align) {
    const size_t start = (FUsed + align - 1) & ~(align - 1);
    if (start > FSize || bytes > FSize - start) {
        return nullptr;
    }
    FUsed = start + bytes;
    ASAN_UNPOISON_MEMORY_REGION(FBase + start, bytes);
    return FBase + start;
}

bool BulkRegion::Owns(const void* p) const {
    const auto at = reinterpret_cast<uintptr_t>(p);
    const auto base = reinterpret_cast<uintptr_t>(FBase);
    return at >= base && at < base + FSize;
}
