#include "platform/program_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

TEST(ProgramDirectoryTest, IsTheFolderHoldingTheRunningTestProgram) {
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    const std::string dir = mwdx::ProgramDirectory();

    EXPECT_EQ(dir, exe.parent_path().string());
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), '/');
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(dir) / exe.filename()));
    EXPECT_EQ(mwdx::ProgramName(), exe.stem().string());
}

} // namespace
