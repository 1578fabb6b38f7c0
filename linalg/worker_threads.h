// How many threads the parallel parts of the library use.
#pragma once

namespace gf3mq {

// GF3MQ_THREADS when it holds a whole number from 1 on (1: everything on the
// calling thread), otherwise the number of processors
// (std::thread::hardware_concurrency, at least 1). Read on every call.
unsigned worker_threads();

}  // namespace gf3mq
