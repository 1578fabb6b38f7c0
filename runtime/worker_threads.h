// How many threads the parallel parts of the library use.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace gf3mq {

inline constexpr unsigned kMaxWorkerThreads = 1024;

// GF3MQ_THREADS when it holds a whole number from 1 to kMaxWorkerThreads (1:
// everything on the calling thread), otherwise the number of processors
// (std::thread::hardware_concurrency, at least 1). Read on every call.
unsigned worker_threads();

// Empty when GF3MQ_THREADS is unset, empty or a whole number from 1 to
// kMaxWorkerThreads; otherwise what is wrong with it, for programs to refuse.
std::string worker_threads_problem();

// Starts up to `count` threads that each run work(); returns those started.
// When the system refuses a thread (std::system_error, as under a process
// limit), no more are tried: callers spread the work over those they got,
// and the calling thread, and must join them.
std::vector<std::thread> start_threads(unsigned count, const std::function<void()>& work);

// work(i) for every i < items, on up to `threads` threads (0: worker_threads())
// counting the calling one, each taking the next item left; returns when all
// are done. Items must not depend on one another's order.
void for_each_item(std::size_t items, unsigned threads, const std::function<void(std::size_t)>& work);

}  // namespace gf3mq
