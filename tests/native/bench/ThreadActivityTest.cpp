// Reading the threads' CPU time and context switches from a proc-style tree.
#include "ThreadActivity.h"

#include <gtest/gtest.h>

#include <fstream>
#include <system_error>

namespace {

class ThreadActivityTest : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove_all(root); }

    void AddThread(const std::string& id, const std::string& schedstat, const std::string& status) {
        const std::filesystem::path thread = root / id;
        std::filesystem::create_directories(thread);
        std::ofstream(thread / "schedstat") << schedstat;
        std::ofstream(thread / "status") << status;
    }

    const std::filesystem::path root =
        std::filesystem::temp_directory_path() /
        ("nx-task-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
};

TEST_F(ThreadActivityTest, CpuFromSchedstatAndBothKindsOfContextSwitches) {
    AddThread("4200", "1234567 890 12\n",
              "Name:\tnxmeasure\nState:\tS (sleeping)\nvoluntary_ctxt_switches:\t7\n"
              "nonvoluntary_ctxt_switches:\t2\n");
    AddThread("4201", "0 0 0\n", "voluntary_ctxt_switches:\t0\nnonvoluntary_ctxt_switches:\t0\n");
    const auto threads = ReadThreadCounters(root);
    ASSERT_EQ(threads.size(), 2u);
    EXPECT_EQ(threads.at("4200").cpu, std::chrono::nanoseconds(1234567));
    EXPECT_EQ(threads.at("4200").contextSwitches, 9u);
    EXPECT_EQ(threads.at("4201").cpu, std::chrono::nanoseconds(0));
    EXPECT_EQ(threads.at("4201").contextSwitches, 0u);
}

TEST_F(ThreadActivityTest, MissingDirectoryGivesNothing) {
    EXPECT_TRUE(ReadThreadCounters(root / "absent").empty());
    EXPECT_TRUE(ReadThreadCounters({}).empty());
}

TEST_F(ThreadActivityTest, ThisProcessShowsItsOwnThread) {
    const std::filesystem::path tasks = "/proc/self/task";
    std::error_code error;
    const std::filesystem::directory_iterator first(tasks, error);
    if (error || first == std::filesystem::directory_iterator() ||
        !std::filesystem::exists(first->path() / "schedstat")) {
        GTEST_SKIP() << "this kernel keeps no per-thread schedstat under " << tasks;
    }
    const auto threads = ReadThreadCounters(tasks);
    ASSERT_FALSE(threads.empty());
    EXPECT_GT(threads.begin()->second.cpu.count(), 0) << "the test itself has run";
}

}  // namespace
