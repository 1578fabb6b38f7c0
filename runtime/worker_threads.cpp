#include "runtime/worker_threads.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

namespace gf3mq {

namespace {

// The count GF3MQ_THREADS asks for; 0 when it is unset, empty or not a whole
// number from 1 to kMaxWorkerThreads (digits only: from_chars takes no sign
// for an unsigned value, no blank, and nothing from an empty text).
unsigned requested_threads(const char* text) {
  const char* end = text == nullptr ? nullptr : text + std::strlen(text);
  unsigned n = 0;
  const auto [stop, error] = std::from_chars(text, end, n);
  return error == std::errc{} && stop == end && n <= kMaxWorkerThreads ? n : 0;
}

}  // namespace

unsigned worker_threads() {
  if (const unsigned n = requested_threads(std::getenv("GF3MQ_THREADS")); n != 0) return n;
  return std::max(1u, std::thread::hardware_concurrency());  // 0 when it is not known
}

std::string worker_threads_problem() {
  const char* text = std::getenv("GF3MQ_THREADS");
  if (text == nullptr || *text == '\0' || requested_threads(text) != 0) return {};
  return "GF3MQ_THREADS is \"" + std::string(text) + "\"; it must be a whole number from 1 to " +
         std::to_string(kMaxWorkerThreads) + ", or unset for one thread per processor";
}

std::vector<std::thread> start_threads(unsigned count, const std::function<void()>& work) {
  std::vector<std::thread> started;
  started.reserve(count);
  for (unsigned t = 0; t < count; ++t) {
    try {
      started.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  return started;
}

void for_each_item(std::size_t items, unsigned threads, const std::function<void(std::size_t)>& work) {
  if (threads == 0) threads = worker_threads();
  std::atomic<std::size_t> next{0};
  const auto run = [&] {
    for (std::size_t i = next.fetch_add(1); i < items; i = next.fetch_add(1)) work(i);
  };
  const std::size_t helpers = std::min<std::size_t>(threads, items) - (items == 0 ? 0 : 1);
  std::vector<std::thread> started = start_threads(static_cast<unsigned>(helpers), run);
  run();
  for (std::thread& t : started) t.join();
}

}  // namespace gf3mq
