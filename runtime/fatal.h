// Ending the process on misuse: a message, then exit or abort.
#pragma once

namespace gf3mq {

// Writes message and an end of line to standard error, then exit(1).
[[noreturn]] void exit_with_message(const char* message);

// Writes message and an end of line to standard error, then abort().
[[noreturn]] void abort_with_message(const char* message);

}  // namespace gf3mq
