#include "runtime/fatal.h"

#include <cstdlib>
#include <iostream>

namespace gf3mq {

void exit_with_message(const char* message) {
  std::cerr << message << std::endl;
  std::exit(1);
}

void abort_with_message(const char* message) {
  std::cerr << message << std::endl;
  std::abort();
}

}  // namespace gf3mq
