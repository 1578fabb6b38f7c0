#include "linalg/kernel_width.h"

#include <atomic>

namespace gf3mq {

namespace {

KernelWidth widest_available() {
#if defined(__x86_64__) && defined(__GNUC__)
  __builtin_cpu_init();  // may run before the constructors that would do it
  if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl")) return KernelWidth::avx512;
  if (__builtin_cpu_supports("avx2")) return KernelWidth::avx2;
#endif
  return KernelWidth::portable;
}

KernelWidth widest() {
  static const KernelWidth width = widest_available();
  return width;
}

// The width in use, -1 until it is first asked for; constant-initialized,
// so kernels may run from any static constructor.
std::atomic<int> current{-1};

}  // namespace

std::vector<KernelWidth> available_kernel_widths() {
  std::vector<KernelWidth> widths;
  for (KernelWidth w : {KernelWidth::portable, KernelWidth::avx2, KernelWidth::avx512})
    if (w <= widest()) widths.push_back(w);
  return widths;
}

KernelWidth kernel_width() {
  int width = current.load(std::memory_order_relaxed);
  if (width < 0) {
    width = static_cast<int>(widest());
    current.store(width, std::memory_order_relaxed);
  }
  return static_cast<KernelWidth>(width);
}

void set_kernel_width(KernelWidth width) {
  current.store(static_cast<int>(width <= widest() ? width : widest()), std::memory_order_relaxed);
}

const char* kernel_width_name(KernelWidth width) {
  switch (width) {
    case KernelWidth::avx512:
      return "avx512";
    case KernelWidth::avx2:
      return "avx2";
    case KernelWidth::portable:
      break;
  }
  return "portable";
}

}  // namespace gf3mq
