// How a long computation tells its caller how far it is, without printing.
#pragma once

#include <functional>

namespace gf3mq {

// Reports a long computation: the phase it is in and the fraction of that
// phase done, 0 when it starts and 1 when it ends.
using PhaseProgress = std::function<void(const char* phase, double fraction)>;

// progress(phase, fraction) when progress is set; nothing otherwise.
inline void report_progress(const PhaseProgress& progress, const char* phase, double fraction) {
  if (progress) progress(phase, fraction);
}

}  // namespace gf3mq
