// Background work gives way to everything else.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <thread>

#include "src/link/os/thread.h"
#include "tests/cpp/posix_fixture.h"

namespace vl5::os {
namespace {

TEST(ThreadTest, IdlePriorityIsTheLowestTheSystemOffers) {
  int policy = -1, priority = -1, lowest = -2;
  std::thread([&] {
    // A raised start, where this user may raise it, that the portable
    // fallback then has to bring down (it cannot go below the normal policy).
    sched_param raised{};
    raised.sched_priority = (sched_get_priority_min(SCHED_RR) + sched_get_priority_max(SCHED_RR)) / 2;
    pthread_setschedparam(pthread_self(), SCHED_RR, &raised);
    RunAtIdlePriority();
    sched_param now{};
    pthread_getschedparam(pthread_self(), &policy, &now);
    priority = now.sched_priority;
    lowest = sched_get_priority_min(policy);
  }).join();
#ifdef SCHED_IDLE
  if (!test_support::kPortablePosix) {
    EXPECT_EQ(policy, SCHED_IDLE);
    return;
  }
#endif
  EXPECT_EQ(priority, lowest) << "policy " << policy;
}

}  // namespace
}  // namespace vl5::os
