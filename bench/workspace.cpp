#include "bench/workspace.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "field/field_tables.h"
#include "scheme/gf3_source.h"
#include "scheme/key_files.h"
#include "scheme/keygen.h"

namespace gf3mq::bench {

std::filesystem::path scratch_parent() {
  if (const char* chosen = std::getenv("GF3MQ_BENCH_DIR"); chosen != nullptr && *chosen != '\0') return chosen;
  const std::filesystem::path tmpfs = "/dev/shm";
  if (access(tmpfs.c_str(), W_OK | X_OK) == 0) return tmpfs;
  return std::filesystem::temp_directory_path();
}

Workspace::Workspace() : pk(new unsigned char[kPublicKeyBytes]), sk(new unsigned char[kDefaultSizes.elements()]) {
  const std::filesystem::path parent = scratch_parent();
  std::string pattern = (parent / "gf3mq-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "gf3mq-bench: cannot make a working folder in %s: %s\n", parent.c_str(), std::strerror(errno));
    std::exit(1);
  }
  dir = pattern;
  previous = std::filesystem::current_path().string();
  std::filesystem::current_path(dir);
  if (write_tables(default_polynomial(kDefaultSizes.n), nullptr) != TablesWritten::both) std::abort();
  SeededGf3Source source(1);
  if (keygen(pk.get(), sk.get(), source) != 0) std::abort();
}

Workspace::~Workspace() {
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir);
}

Workspace& workspace() {
  static Workspace w;
  return w;
}

}  // namespace gf3mq::bench
