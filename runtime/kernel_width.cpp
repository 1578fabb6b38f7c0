#include "runtime/kernel_width.h"

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

}  // namespace

// Constant-initialized, so kernels may run from any static constructor.
std::atomic<int> width_detail::chosen{-1};

int width_detail::choose() {
  const int width = static_cast<int>(widest());
  chosen.store(width, std::memory_order_relaxed);
  return width;
}

std::vector<KernelWidth> available_kernel_widths() {
  std::vector<KernelWidth> widths;
  for (KernelWidth w : {KernelWidth::portable, KernelWidth::avx2, KernelWidth::avx512})
    if (w <= widest()) widths.push_back(w);
  return widths;
}

void set_kernel_width(KernelWidth width) {
  width_detail::chosen.store(static_cast<int>(width <= widest() ? width : widest()), std::memory_order_relaxed);
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
