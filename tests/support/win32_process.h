// Starting programs from a test under Wine, and the windows they open.
#pragma once

#include <optional>
#include <string>

namespace tvktest {

// Runs a command line and waits up to Timeout milliseconds. The exit code, or nothing when the
// program could not start or had to be ended after the timeout.
std::optional<unsigned long> RunAndWait(const std::string& commandLine, unsigned long timeoutMs);

// A started program: ended, if it still runs, and released on destruction.
class Process {
 public:
  Process() = default;
  explicit Process(void* handle) : handle_(handle) {}
  ~Process();
  Process(Process&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }
  // The program's process identifier; 0 for none.
  unsigned long Id() const;
  // The exit code once the program has ended within Timeout milliseconds.
  std::optional<unsigned long> Wait(unsigned long timeoutMs) const;
  // Ends the program, waits until it is gone (so that what it held is free again) and releases it.
  void Terminate();

 private:
  void* handle_ = nullptr;
};

// Starts a command line without waiting for it; an empty Process when it could not start.
Process StartProcess(const std::string& commandLine);

// The directory of the running test program, with a trailing backslash.
std::string ProgramDir();

// Undoes os::RestrictLibrarySearch for the rest of the test program: the system's default search again.
void UnrestrictLibrarySearch();

}  // namespace tvktest
