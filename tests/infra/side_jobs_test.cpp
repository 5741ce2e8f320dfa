#include "infra/side_jobs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Every job runs exactly once, whether the helper or the finishing caller takes it, and Finish
// returns only after the last one; the object can be used again after Finish.
TEST(SideJobsTest, RunsEveryJobOnceBeforeFinishReturns) {
    SideJobs jobs;
    for (int round = 0; round < 3; ++round) {
        std::vector<std::atomic<int>> runs(200);
        std::atomic<int> onCaller{0};
        const auto caller = std::this_thread::get_id();
        for (auto& r : runs) {
            jobs.Add([&r, &onCaller, caller] {
                onCaller += std::this_thread::get_id() == caller ? 1 : 0;
                r += 1;
            });
        }
        jobs.Finish();
        for (const auto& r : runs) {
            ASSERT_EQ(r.load(), 1);
        }
        EXPECT_LE(onCaller.load(), 200);
    }
}

TEST(SideJobsTest, DestructionWaitsForQueuedJobs) {
    std::atomic<int> done{0};
    {
        SideJobs jobs;
        for (int i = 0; i < 20; ++i) {
            jobs.Add([&done] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                done += 1;
            });
        }
    }
    EXPECT_EQ(done.load(), 20);
}

}  // namespace
