// cmake --install of this build into a scratch prefix, and a consumer built
// against it through find_package(gf3mq) and through pkg-config.
#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

TEST(InstallTest, AConsumerBuildsAgainstTheInstalledLibraryBothWays) {
  if (run_command("command -v pkg-config").status != 0) GTEST_SKIP() << "pkg-config is not installed";
  ScratchDir dir;
  const std::string prefix = dir.path() + "/prefix";
  CommandResult run = run_command("cmake --install '" + std::string(GF3MQ_BUILD_DIR) + "' --prefix '" + prefix + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* installed : {"bin/gf3mq-demo", "bin/gf3mq-keygen", "bin/gf3mq-tables", "bin/gf3mq-encrypt",
                                "bin/gf3mq-decrypt", "bin/gf3mq-check", "include/gf3mq/scheme/encrypt.h",
                                "include/gf3mq/field/composition.h", "lib/libgf3mq_linalg.a",
                                "lib/cmake/gf3mq/gf3mqConfig.cmake", "lib/pkgconfig/gf3mq.pc"})
    EXPECT_TRUE(file_exists(prefix + "/" + installed)) << installed;
  EXPECT_FALSE(file_exists(prefix + "/include/gf3mq/linalg/simd_bytes.h"));  // internal to the kernels
  const std::string flags = GF3MQ_CXX_FLAGS;  // the sanitizer build's consumers need its flags too
  const std::string expected = "[[1 2][0 1]] 0 257 0\n";

  run = run_command("cmake -S '" + std::string(GF3MQ_SOURCE_DIR) + "/tests/install_consumer' -B by-cmake " +
                    "-DCMAKE_PREFIX_PATH='" + prefix + "' -DCMAKE_CXX_FLAGS='" + flags +
                    "' && cmake --build by-cmake && by-cmake/consumer");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), expected.size())), expected);

  run = run_command("PKG_CONFIG_PATH='" + prefix + "/lib/pkgconfig' && export PKG_CONFIG_PATH && g++ " + flags +
                    " '" + GF3MQ_SOURCE_DIR + "/tests/install_consumer/main.cpp' $(pkg-config --cflags --libs gf3mq) " +
                    "-o by-pkg-config && ./by-pkg-config");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
}

}  // namespace
