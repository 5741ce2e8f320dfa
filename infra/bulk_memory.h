// Memory for large arrays that are allocated and filled at once (a table's columns read from its
// cache): one anonymous mapping per batch, aligned to 2 MiB and advised for transparent huge pages,
// so that filling tens of megabytes takes one page fault per 2 MiB instead of one per 4 KiB.
//
// A BulkRegion hands out its bytes once, front to back, and never takes them back: it is unmapped
// when the last array that holds it (through a RegionAllocator) is gone. A RegionAllocator without a
// region, or whose region is used up, takes memory from operator new like std::allocator, so an array
// that grows later simply moves out of the region.
//
// Thread-safety: a region is handed out by one thread at a time (the one filling the arrays); the
// allocators that hold it may then live on any thread.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

class BulkRegion {
  public:
    // A region of at least `bytes` bytes, populated when the kernel allows; null when it could not
    // be mapped. Huge pages and populating are only requests: a kernel that refuses them leaves
    // plain pages that fault on first use.
    static std::shared_ptr<BulkRegion> Map(size_t bytes);
    ~BulkRegion();
    BulkRegion(const BulkRegion&) = delete;
    BulkRegion& operator=(const BulkRegion&) = delete;

    // `bytes` bytes aligned to `align` (a power of two up to 64), or null when the region holds no
    // more. The memory is zero on its first hand-out.
    void* Take(size_t bytes, size_t align);
    bool Owns(const void* p) const;

  private:
    BulkRegion(char* base, size_t size) : FBase(base), FSize(size) {}
    char* FBase;
    size_t FSize;
    size_t FUsed = 0;
};

template <typename T>
class RegionAllocator {
  public:
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;

    RegionAllocator() = default;
    explicit RegionAllocator(std::shared_ptr<BulkRegion> region) : FRegion(std::move(region)) {}
    template <typename U>
    RegionAllocator(const RegionAllocator<U>& other) : FRegion(other.Region()) {}

    // A copied array takes ordinary memory and does not keep the region alive.
    RegionAllocator select_on_container_copy_construction() const { return {}; }

    T* allocate(size_t n) {
        if (n > std::allocator_traits<std::allocator<T>>::max_size(std::allocator<T>())) {
            throw std::bad_array_new_length();
        }
        if (FRegion) {
            if (void* p = FRegion->Take(n * sizeof(T), alignof(T))) {
                return static_cast<T*>(p);
            }
        }
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, size_t n) {
        if (!FRegion || !FRegion->Owns(p)) {
            std::allocator<T>().deallocate(p, n);
        }
    }

    const std::shared_ptr<BulkRegion>& Region() const { return FRegion; }

    template <typename U>
    bool operator==(const RegionAllocator<U>& other) const {
        return FRegion == other.Region();
    }

  private:
    std::shared_ptr<BulkRegion> FRegion;
};
