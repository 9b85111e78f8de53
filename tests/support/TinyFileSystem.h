// A small file system of its own for a test: the test runs again in a child process of the test
// program, inside a private user and mount namespace where a fresh tmpfs of the given size is
// mounted at a new folder. Needs `unshare` and a kernel that lets the user make namespaces (or
// root); where that is impossible the test is told so and can skip.
//
//   TEST(Suite, Name) {
//       if (const auto folder = telv::test::TinyFileSystemFolder()) { ...the test on *folder...; return; }
//       const telv::test::TinyFileSystemRun run = telv::test::RunInTinyFileSystem(64 * 1024);
//       if (!run.Available) GTEST_SKIP() << run.Output;
//       EXPECT_TRUE(run.Passed) << run.Output;
//   }
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace telv::test {

// Inside the child: the folder where the small file system is mounted; nothing elsewhere.
std::optional<std::string> TinyFileSystemFolder();

struct TinyFileSystemRun {
    bool Available = false;  // false: no namespace or mount possible here (Output says why)
    bool Passed = false;     // the child ran the current test and it passed
    std::string Output;      // the child's output
};

// Runs the current test in the child, with a tmpfs of sizeBytes mounted read-write, or
// read-only when readOnly is set.
TinyFileSystemRun RunInTinyFileSystem(std::size_t sizeBytes, bool readOnly = false);

}  // namespace telv::test
