// Which instruction set the row kernels use.
//
// Every kernel has a portable version in plain C++ (byte vectors that the
// compiler maps onto whatever the target has) and, on x86-64 with GCC or
// Clang, versions compiled for AVX2 and for AVX-512 (BW and VL). By default
// the widest one the processor runs is used; tests and benchmarks may choose
// a narrower one. Kernels with no AVX-512 version of their own run their
// AVX2 version at the AVX-512 width. Results are identical at every width.
#pragma once

#include <atomic>
#include <vector>

namespace gf3mq {

enum class KernelWidth { portable, avx2, avx512 };

// The widths this processor runs, narrowest first (portable is always there).
std::vector<KernelWidth> available_kernel_widths();

namespace width_detail {
extern std::atomic<int> chosen;  // the width in use, -1 until first asked for
int choose();                    // the widest available, now in use
}  // namespace width_detail

// The width in use: the widest available unless set otherwise. Inline, as
// kernels ask for it in their innermost loops.
inline KernelWidth kernel_width() {
  const int width = width_detail::chosen.load(std::memory_order_relaxed);
  return static_cast<KernelWidth>(width >= 0 ? width : width_detail::choose());
}

// The one dispatch of every kernel: of the versions made for each width,
// the one for the width in use (call it with the kernel's arguments).
template <class Function>
inline Function* at_kernel_width(Function* portable, Function* avx2, Function* avx512) {
  switch (kernel_width()) {
    case KernelWidth::avx512:
      return avx512;
    case KernelWidth::avx2:
      return avx2;
    case KernelWidth::portable:
      break;
  }
  return portable;
}

// Chooses the width; one the processor lacks becomes the widest it has
// below it. Set it before other threads run kernels.
void set_kernel_width(KernelWidth width);

// "portable", "avx2", "avx512".
const char* kernel_width_name(KernelWidth width);

}  // namespace gf3mq
