#pragma once

// Work done at the same moment by several processes: forked children of the test, each on
// connections of its own.

#include <gtest/gtest.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace testsupport {

// Starts `count` children that each run `work` and exit 0 when it returned true, then waits for
// them all: each must have exited 0. A child leaves with _exit, so none of the parent's
// destructors or test machinery runs in it. Call it in ASSERT_NO_FATAL_FAILURE.
inline void inConcurrentChildren(int count, const std::function<bool()>& work) {
    std::vector<pid_t> children;
    for (int p = 0; p < count; ++p) {
        pid_t pid = ::fork();
        if (pid == 0) ::_exit(work() ? 0 : 1);
        ASSERT_GT(pid, 0);
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

}  // namespace testsupport
