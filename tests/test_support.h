// Helpers shared by the test suites: scratch folders, files, random objects.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "linalg/mat_zz_p.h"
#include "linalg/vec_zz_p.h"

namespace gf3mq::test {

// A fresh folder under the system's temporary directory that the current
// working directory moves into for the object's lifetime; removed afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

void write_file(const std::string& name, const std::string& content);
std::string read_file(const std::string& name);
bool file_exists(const std::string& name);
std::vector<std::string> list_dir(const std::string& dir);  // names, sorted

// Random elements of GF(3) from a fixed seed.
std::vector<std::uint8_t> random_elements(std::mt19937& rng, std::size_t n);
Mat_ZZ_p random_matrix(std::mt19937& rng, int rows, int cols);
Mat_ZZ_p random_invertible(std::mt19937& rng, int n);
Vec_ZZ_p random_vector(std::mt19937& rng, int n);
Vec_ZZ_p identity_column(int n, int i);
Mat_ZZ_p identity(int n);

// Runs a shell command; returns its exit status (or -1 when it died by a signal).
struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};
CommandResult run_command(const std::string& command);

}  // namespace gf3mq::test
