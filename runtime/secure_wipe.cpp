#include "runtime/secure_wipe.h"

#include <sodium.h>

namespace gf3mq {

void secure_wipe(void* p, std::size_t n) {
  if (p != nullptr && n != 0) sodium_memzero(p, n);
}

}  // namespace gf3mq
