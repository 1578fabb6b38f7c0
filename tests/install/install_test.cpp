// cmake --install of this build into a scratch prefix: every installed
// header compiles on its own, and a consumer builds against the libraries
// through find_package(gf3mq) and through pkg-config, with this build's
// compiler and flags.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// The headers under include/gf3mq of the prefix, as a consumer includes
// them ("attack/recover.h"), sorted.
std::vector<std::string> installed_headers(const std::string& prefix) {
  const std::filesystem::path include = prefix + "/include/gf3mq";
  std::vector<std::string> headers;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(include))
    if (entry.is_regular_file() && entry.path().extension() == ".h")
      headers.push_back(entry.path().lexically_relative(include).string());
  std::sort(headers.begin(), headers.end());
  return headers;
}

// This build installed into a scratch prefix, the scratch folder current.
class InstallTest : public testing::Test {
 protected:
  void SetUp() override {
    if (run_command("command -v pkg-config").status != 0) GTEST_SKIP() << "pkg-config is not installed";
    const CommandResult run =
        run_command("cmake --install '" + std::string(GF3MQ_BUILD_DIR) + "' --prefix '" + prefix + "'");
    ASSERT_EQ(run.status, 0) << run.err;
  }
  ScratchDir dir;
  const std::string prefix = dir.path() + "/prefix";
};

TEST_F(InstallTest, AConsumerBuildsAgainstTheInstalledLibraryBothWays) {
  CommandResult run;
  for (const char* installed : {"bin/gf3mq-demo",
                                "bin/gf3mq-keygen",
                                "bin/gf3mq-tables",
                                "bin/gf3mq-encrypt",
                                "bin/gf3mq-decrypt",
                                "bin/gf3mq-check",
                                "bin/gf3mq-attack",
                                "bin/gf3mq-show",
                                "include/gf3mq/learn/key_algebra.h",
                                "include/gf3mq/scheme/encrypt.h",
                                "include/gf3mq/scheme/composition.h",
                                "include/gf3mq/attack/public_forms.h",
                                "include/gf3mq/attack/recover.h",
                                "include/gf3mq/attack/relations.h",
                                "include/gf3mq/attack/relations_file.h",
                                "lib/libgf3mq_runtime.a",
                                "lib/libgf3mq_files.a",
                                "lib/libgf3mq_linalg.a",
                                "lib/libgf3mq_field.a",
                                "lib/libgf3mq_scheme.a",
                                "lib/libgf3mq_learn.a",
                                "lib/libgf3mq_attack.a",
                                "lib/cmake/gf3mq/gf3mqConfig.cmake",
                                "lib/cmake/gf3mq/gf3mqTargets.cmake",
                                "lib/pkgconfig/gf3mq.pc"})
    EXPECT_TRUE(file_exists(prefix + "/" + installed)) << installed;
  // Internal to the kernel sources.
  EXPECT_FALSE(file_exists(prefix + "/include/gf3mq/runtime/simd_bytes.h"));
  EXPECT_FALSE(file_exists(prefix + "/include/gf3mq/field/poly_mul_planes.h"));
  const std::string compiler = GF3MQ_CXX_COMPILER;
  const std::string flags = GF3MQ_CXX_FLAGS;  // the sanitizer build's consumers need its flags too

  // Each header alone in a translation unit of its own, with the project's
  // warnings: one compiler run for all of them.
  const std::vector<std::string> headers = installed_headers(prefix);
  ASSERT_GT(headers.size(), 40u);
  std::string units;
  for (std::size_t i = 0; i < headers.size(); ++i) {
    const std::string unit = "header" + std::to_string(i) + ".cpp";
    write_file(unit, "#include \"" + headers[i] + "\"\n");
    units += " " + unit;
  }
  run = run_command("'" + compiler + "' -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -I'" + prefix +
                    "/include/gf3mq'" + units);
  EXPECT_EQ(run.status, 0) << run.err;

  const std::string expected = "[[1 2][0 1]] 0 257 0 257 0\n";
  run = run_command("cmake -S '" + std::string(GF3MQ_SOURCE_DIR) + "/tests/install/consumer' -B by-cmake " +
                    "-DCMAKE_CXX_COMPILER='" + compiler + "' -DCMAKE_PREFIX_PATH='" + prefix + "' -DCMAKE_CXX_FLAGS='" +
                    flags + "' && cmake --build by-cmake && by-cmake/consumer");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), expected.size())), expected);

  run = run_command("PKG_CONFIG_PATH='" + prefix + "/lib/pkgconfig' && export PKG_CONFIG_PATH && '" + compiler + "' " +
                    flags + " '" + GF3MQ_SOURCE_DIR +
                    "/tests/install/consumer/main.cpp' $(pkg-config --cflags --libs gf3mq) -o by-pkg-config && "
                    "./by-pkg-config");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
}

// The block after marker in doc/library.md ("library-example": the program
// of "A complete program"; "library-example-output": what it prints), as
// written there.
std::string library_page_block(const std::string& marker) {
  const std::string page = read_file(std::string(GF3MQ_SOURCE_DIR) + "/doc/library.md");
  const std::size_t at = page.find("<!-- " + marker + " -->\n```");
  if (at == std::string::npos) return "";
  const std::size_t begin = page.find('\n', page.find("```", at)) + 1;
  return page.substr(begin, page.find("```", begin) - begin);
}

TEST_F(InstallTest, TheReadmesLibraryProgramBuildsAndNamesTheMessage) {
  CommandResult run;
  const std::string example = library_page_block("library-example");
  ASSERT_NE(example.find("int main()"), std::string::npos) << "doc/library.md has no library example";
  write_file("example.cpp", example);
  run = run_command("PKG_CONFIG_PATH='" + prefix + "/lib/pkgconfig' && export PKG_CONFIG_PATH && '" +
                    GF3MQ_CXX_COMPILER + "' " + GF3MQ_CXX_FLAGS +
                    " -std=c++20 -Wall -Wextra -Werror example.cpp $(pkg-config --cflags --libs gf3mq) -o example");
  ASSERT_EQ(run.status, 0) << run.err;
  run = run_command("mkdir demo && cd demo && " + program("gf3mq-tables") + " --degree 7 >/dev/null && " +
                    program("gf3mq-keygen") + " --seed class --no-wait </dev/null >/dev/null 2>&1 && ../example");
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(run.out, library_page_block("library-example-output"));
  // The ciphertext is the programs' own.
  write_file("demo/plain.txt", "1212121\n");
  EXPECT_EQ(run_command(program("gf3mq-encrypt") + " -C demo plain.txt").out, lines_of(run.out)[1].substr(12) + "\n");
}

}  // namespace
