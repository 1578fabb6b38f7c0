// The working folder the benchmarks share: tables and one key set made
// once per process in a temporary folder, removed at exit.
#pragma once

#include <memory>
#include <string>

namespace gf3mq::bench {

struct Workspace {
  Workspace();
  ~Workspace();
  std::string dir;
  std::string previous;
  std::unique_ptr<unsigned char[]> pk;
  std::unique_ptr<unsigned char[]> sk;
};

Workspace& workspace();

}  // namespace gf3mq::bench
