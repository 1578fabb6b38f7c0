// How many threads the parallel parts of the library use.
#pragma once

#include <string>

namespace gf3mq {

inline constexpr unsigned kMaxWorkerThreads = 1024;

// GF3MQ_THREADS when it holds a whole number from 1 on (1: everything on the
// calling thread), otherwise the number of processors
// (std::thread::hardware_concurrency, at least 1). Read on every call.
unsigned worker_threads();

// Empty when GF3MQ_THREADS is unset, empty or a whole number from 1 to
// kMaxWorkerThreads; otherwise what is wrong with it, for programs to refuse.
std::string worker_threads_problem();

}  // namespace gf3mq
