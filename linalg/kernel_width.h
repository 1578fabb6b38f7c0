// Which instruction set the row kernels use.
//
// Every kernel has a portable version in plain C++ (byte vectors that the
// compiler maps onto whatever the target has) and, on x86-64 with GCC or
// Clang, versions compiled for AVX2 and for AVX-512 (BW and VL). By default
// the widest one the processor runs is used; tests and benchmarks may choose
// a narrower one. Kernels with no AVX-512 version of their own run their
// AVX2 version at the AVX-512 width. Results are identical at every width.
#pragma once

#include <vector>

namespace gf3mq {

enum class KernelWidth { portable, avx2, avx512 };

// The widths this processor runs, narrowest first (portable is always there).
std::vector<KernelWidth> available_kernel_widths();

// The width in use: the widest available unless set otherwise.
KernelWidth kernel_width();

// Chooses the width; one the processor lacks becomes the widest it has
// below it. Set it before other threads run kernels.
void set_kernel_width(KernelWidth width);

// "portable", "avx2", "avx512".
const char* kernel_width_name(KernelWidth width);

}  // namespace gf3mq
