// Writing one file whole: what lies at the path is looked at again once the
// content is on disk, so that a FIFO, a link or a folder put there meanwhile
// is left as it is and no temporary stays behind.
#include "files/whole_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

TEST(WholeFileTest, WritesTheContentUnderThePathWithTheMode) {
  ScratchDir dir;
  write_file("out.txt", "old");
  gf3mq::FileProblem problem;
  ASSERT_TRUE(gf3mq::write_whole_file(
      "out.txt", 0640, gf3mq::Placement::replace, [](int fd) { return write(fd, "new", 3) == 3; }, &problem))
      << problem.message();
  EXPECT_EQ(read_file("out.txt"), "new");
  struct stat info {};
  ASSERT_EQ(lstat("out.txt", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(list_dir("."), std::vector<std::string>{"out.txt"});
}

TEST(WholeFileTest, WhatAppearsAtThePathWhileTheContentIsWrittenIsLeftAsItIs) {
  struct Case {
    const char* what;
    std::function<void()> put;  // puts it at "out.txt"
    mode_t type;
  };
  const std::vector<Case> cases = {
      {"a FIFO", [] { ASSERT_EQ(mkfifo("out.txt", 0600), 0); }, S_IFIFO},
      {"a symbolic link", [] { ASSERT_EQ(symlink("elsewhere.txt", "out.txt"), 0); }, S_IFLNK},
      {"a folder", [] { ASSERT_EQ(mkdir("out.txt", 0700), 0); }, S_IFDIR},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    gf3mq::FileProblem problem;
    const bool written = gf3mq::write_whole_file(
        "out.txt", 0600, gf3mq::Placement::replace,
        [&](int fd) {
          c.put();  // the path was free when the write began
          return write(fd, "new", 3) == 3;
        },
        &problem);
    EXPECT_FALSE(written) << c.what;
    EXPECT_EQ(problem.file, "out.txt") << c.what;
    EXPECT_NE(problem.problem.find("not a regular file: it is left as it is"), std::string::npos)
        << c.what << ": " << problem.problem;
    struct stat info {};
    ASSERT_EQ(lstat("out.txt", &info), 0) << c.what;
    EXPECT_EQ(info.st_mode & S_IFMT, c.type) << c.what;
    EXPECT_EQ(list_dir("."), std::vector<std::string>{"out.txt"}) << c.what;  // no temporary left
  }
}

}  // namespace
