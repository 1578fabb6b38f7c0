#include "linalg/secure_wipe.h"

#include <string.h>

namespace gf3mq {

void secure_wipe(void* p, std::size_t n) {
  if (p != nullptr && n != 0) explicit_bzero(p, n);
}

}  // namespace gf3mq
