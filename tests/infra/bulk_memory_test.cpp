#include "infra/bulk_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

template <typename T>
using RegionArray = std::vector<T, RegionAllocator<T>>;

TEST(BulkRegionTest, HandsOutAlignedZeroBytesOnceUntilItIsUsedUp) {
    const auto region = BulkRegion::Map(3 << 20);
    ASSERT_NE(region, nullptr);
    auto* first = static_cast<char*>(region->Take(3, 1));
    auto* second = static_cast<char*>(region->Take(16, 8));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(second) % 8, 0u);
    EXPECT_GE(second, first + 3) << "bytes are never handed out twice";
    EXPECT_TRUE(region->Owns(first));
    const std::vector<char> zero(16, '\0');
    EXPECT_EQ(std::memcmp(second, zero.data(), zero.size()), 0);
    EXPECT_EQ(region->Take(size_t(1) << 40, 1), nullptr);
    EXPECT_EQ(region->Take(SIZE_MAX, 1), nullptr);
    int outside = 0;
    EXPECT_FALSE(region->Owns(&outside));
    EXPECT_EQ(BulkRegion::Map(0), nullptr);
}

TEST(RegionAllocatorTest, ArraysMoveOutOfAUsedUpRegionAndKeepItAliveTillTheLastGoes) {
    std::weak_ptr<BulkRegion> watched;
    RegionArray<int32_t> grown;
    {
        auto region = BulkRegion::Map(1);
        watched = region;
        RegionArray<int32_t> a(100, 7, RegionAllocator<int32_t>(region));
        EXPECT_TRUE(region->Owns(a.data()));
        // Far beyond the region: the array grows into ordinary memory and keeps its values.
        a.resize(2'000'000, 9);
        EXPECT_FALSE(region->Owns(a.data()));
        EXPECT_EQ(a[99], 7);
        EXPECT_EQ(a[1'999'999], 9);
        RegionArray<int32_t> b(10, 1, RegionAllocator<int32_t>(region));
        const RegionArray<int32_t> copy = b;
        EXPECT_EQ(copy.get_allocator().Region(), nullptr) << "a copy does not hold the region";
        grown = std::move(b);
        region.reset();
        EXPECT_FALSE(watched.expired());
    }
    EXPECT_FALSE(watched.expired()) << "the moved array still lives in the region";
    EXPECT_EQ(grown, RegionArray<int32_t>(10, 1));
    grown = RegionArray<int32_t>();
    EXPECT_TRUE(watched.expired());
}

}  // namespace
