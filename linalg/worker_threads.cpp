#include "linalg/worker_threads.h"

#include <cstdlib>
#include <string>
#include <thread>

namespace gf3mq {

unsigned worker_threads() {
  if (const char* text = std::getenv("GF3MQ_THREADS"); text != nullptr && *text != '\0') {
    char* end = nullptr;
    const unsigned long n = std::strtoul(text, &end, 10);
    if (*end == '\0' && n >= 1 && n <= 1024) return static_cast<unsigned>(n);
  }
  const unsigned processors = std::thread::hardware_concurrency();
  return processors == 0 ? 1 : processors;
}

}  // namespace gf3mq
