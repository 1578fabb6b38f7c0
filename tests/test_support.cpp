#include "tests/test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace gf3mq::test {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "gf3mq-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  // A test may have taken write permission away; give it back before removal.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& name, const std::string& content) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool file_exists(const std::string& name) { return std::filesystem::exists(name); }

std::vector<std::string> list_dir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::uint8_t> random_elements(std::mt19937& rng, std::size_t n) {
  std::uniform_int_distribution<int> element(0, 2);
  std::vector<std::uint8_t> values(n);
  for (auto& v : values) v = static_cast<std::uint8_t>(element(rng));
  return values;
}

Mat_ZZ_p random_matrix(std::mt19937& rng, int rows, int cols) {
  Mat_ZZ_p m(rows, cols);
  const auto values = random_elements(rng, static_cast<std::size_t>(rows) * cols);
  std::copy(values.begin(), values.end(), m.data());
  return m;
}

Mat_ZZ_p random_invertible(std::mt19937& rng, int n) {
  for (;;) {
    Mat_ZZ_p m = random_matrix(rng, n, n);
    if (nonsingular(m) != 0) return m;
  }
}

Vec_ZZ_p random_vector(std::mt19937& rng, int n) {
  Vec_ZZ_p v(n);
  const auto values = random_elements(rng, static_cast<std::size_t>(n));
  std::copy(values.begin(), values.end(), v.data());
  return v;
}

Vec_ZZ_p identity_column(int n, int i) {
  Vec_ZZ_p e(n);
  e.set(i, 1);
  return e;
}

Mat_ZZ_p identity(int n) {
  Mat_ZZ_p m(n, n);
  for (int i = 0; i < n; ++i) m.set(i, i, 1);
  return m;
}

CommandResult run_command(const std::string& command) {
  char out_name[] = "/tmp/gf3mq-out-XXXXXX";
  char err_name[] = "/tmp/gf3mq-err-XXXXXX";
  const int out_fd = mkstemp(out_name);
  const int err_fd = mkstemp(err_name);
  close(out_fd);
  close(err_fd);
  const std::string full = "( " + command + " ) >'" + out_name + "' 2>'" + err_name + "'";
  const int raw = std::system(full.c_str());
  CommandResult result;
  if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
  result.out = read_file(out_name);
  result.err = read_file(err_name);
  std::remove(out_name);
  std::remove(err_name);
  return result;
}

}  // namespace gf3mq::test
