// Starting programs from a test under Wine, and the windows they open.
#pragma once

#include <optional>
#include <string>

namespace tvktest {

// Runs a command line and waits up to Timeout milliseconds. The exit code, or nothing when the
// program could not start or had to be ended after the timeout.
std::optional<unsigned long> RunAndWait(const std::string& commandLine, unsigned long timeoutMs);

// The directory of the running test program, with a trailing backslash.
std::string ProgramDir();

}  // namespace tvktest
