#include "runtime/kernel_width.h"

namespace gf3mq {

namespace {

// The widest width this processor runs, found once.
KernelWidth widest() {
  static const KernelWidth width = [] {
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();  // may run before the constructors that would do it
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl")) return KernelWidth::avx512;
    if (__builtin_cpu_supports("avx2")) return KernelWidth::avx2;
#endif
    return KernelWidth::portable;
  }();
  return width;
}

}  // namespace

// Constant-initialized, so kernels may run from any static constructor.
std::atomic<int> width_detail::chosen{-1};

int width_detail::choose() {
  set_kernel_width(widest());
  return static_cast<int>(widest());
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
  constexpr const char* kNames[] = {"portable", "avx2", "avx512"};  // in the order of KernelWidth
  return kNames[static_cast<int>(width)];
}

}  // namespace gf3mq
