// The working folder the benchmarks share: tables and one key set made
// once per process in a temporary folder, removed at exit. The folder lies
// on tmpfs (/dev/shm) where there is one, so that key generation is timed
// without waiting for the disk: it fsyncs every key file, which on a disk
// costs tens of milliseconds and varies from run to run. GF3MQ_BENCH_DIR
// names another parent folder.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace gf3mq::bench {

// Where temporary folders are made: GF3MQ_BENCH_DIR when set, otherwise
// /dev/shm when it is writable, otherwise the system's temporary folder.
std::filesystem::path scratch_parent();

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
