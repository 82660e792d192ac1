// The program's start-up sequence.
#pragma once

namespace kvr {
// Creates the application, runs start-up (Main) and the event loop; returns the exit code.
int runProgram(int argc, char** argv);
} // namespace kvr
