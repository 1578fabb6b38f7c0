// A working folder of its own for size n, inside the shared workspace
// (workspace.h): the default tables of n and one key set from a seeded
// source, made once per process and n.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "field/sizes.h"
#include "runtime/huge_pages.h"

namespace gf3mq::bench {

struct SizedWorkspace {
  explicit SizedWorkspace(int n);

  // The working directory is dir for its lifetime.
  struct Here {
    explicit Here(const std::string& dir);
    ~Here();
    std::filesystem::path previous;
  };

  Sizes sizes;
  std::string dir;
  HugePageBuffer pk;  // as the programs hold it
  std::vector<unsigned char> sk;
};

SizedWorkspace& workspace_at(int n);

}  // namespace gf3mq::bench
