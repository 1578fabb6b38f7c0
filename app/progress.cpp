#include "app/progress.h"

#include <unistd.h>

#include <cstdio>

namespace gf3mq::program {

PhaseLog::PhaseLog(const char* name, Times times)
    : name_(name), live_(isatty(2) != 0), silent_(!live_ && times == Times::on_terminal) {}

void PhaseLog::start(const std::string& phase) {
  phase_ = phase;
  ended_.clear();
  started_ = Clock::now();
  shown_ = -1;
}

void PhaseLog::update(const char* phase, double fraction) {
  if (phase == ended_) return;  // a phase reports its end once
  if (phase != phase_) start(phase);
  if (fraction >= 1) return end();
  const int percent = static_cast<int>(fraction * 100);
  if (live_ && percent != shown_) {
    std::fprintf(stderr, "\r%s: %s %3d%%", name_, phase_.c_str(), percent);
    std::fflush(stderr);
    shown_ = percent;
  }
}

void PhaseLog::end() {
  if (phase_.empty()) return;
  const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
  if (!silent_) std::fprintf(stderr, "%s%s: %s %.2f s\n", shown_ >= 0 ? "\r" : "", name_, phase_.c_str(), seconds);
  ended_ = phase_;
  phase_.clear();
}

void PhaseLog::abandon() {
  if (shown_ >= 0) std::fputc('\n', stderr);
  shown_ = -1;
  phase_.clear();
}

PhaseProgress PhaseLog::reporter() {
  return [this](const char* phase, double fraction) { update(phase, fraction); };
}

}  // namespace gf3mq::program
