// The programs' one progress reporter: how far a long computation is, on
// standard error.
#pragma once

#include <chrono>
#include <string>

#include "runtime/progress.h"

namespace gf3mq::program {

// Phases of a long computation on standard error. On a terminal a phase
// that reports fractions shows a percentage, rewritten in place
// ("\rname: phase  42%") and overwritten by the phase's time when it ends
// ("name: phase 1.23 s"). Off a terminal the phase times are written only
// when asked for (Times::always), and no percentage ever is.
class PhaseLog {
 public:
  enum class Times { always, on_terminal };

  PhaseLog(const char* name, Times times);

  void start(const std::string& phase);
  // What a library routine's PhaseProgress reports: a new phase starts the
  // log's, a fraction of 1 ends it (once).
  void update(const char* phase, double fraction);
  void end();
  // Leaves the phase without its time, ending a percentage line so that a
  // message can follow on a line of its own.
  void abandon();
  // update as a PhaseProgress, for the library routines.
  PhaseProgress reporter();

 private:
  using Clock = std::chrono::steady_clock;

  const char* name_;
  bool live_;    // standard error is a terminal
  bool silent_;  // nothing at all is written
  std::string phase_, ended_;
  Clock::time_point started_;
  int shown_ = -1;  // the percentage on the line, -1 for none
};

}  // namespace gf3mq::program
