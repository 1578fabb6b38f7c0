// What every gf3mq program does the same way with its standard streams.
#pragma once

#include <string>

namespace gf3mq::program {

// Call first. Opens /dev/null on a closed standard input or standard error,
// so that no file the program opens can take their place. Returns false,
// after a message, when standard output is closed: nothing could be shown.
bool standard_streams_ready(const char* name);

// Flushes and closes standard output. Returns false, after a message on
// standard error, when anything written to it was lost; `done`, when given,
// says in that message what the program did nonetheless.
bool finish_output(const char* name, const char* done = nullptr);

// "name: message" and an end of line on standard error; returns 1.
int fail(const char* name, const std::string& message);

}  // namespace gf3mq::program
