// What the uninstall suites share: the dictionary's distribution, a quiet install of it, and the product's
// entry in the list of programs with the commands it names.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "e2e_support.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/test_support.h"
#include "support/win32_process.h"

namespace e2e {

// The dictionary's distribution with Quikpost to install into, and the product's entry and its commands.
class UninstallFixture : public WithDistribution<> {
 protected:
  // No uninstaller kept by an earlier run: a test that compares the machine before and after would see it go.
  void SetUp() override {
    WithDistribution::SetUp();
    tvktest::RemoveTree("C:\\Program Files\\Tavelock");
  }
  void TearDown() override {
    WithDistribution::TearDown();
    tvktest::RemoveTree("C:\\Program Files\\Tavelock");
  }

  // Runs a command line to its end and waits for the installation program too: the exit code.
  static std::optional<unsigned long> Run(const std::string& commandLine) {
    tvktest::Process process = tvktest::StartProcess(commandLine);
    EXPECT_TRUE(process) << commandLine;
    const std::optional<unsigned long> code = process.Wait(kWait);
    WaitForProgramGone();
    return code;
  }
  static std::string Entry(const std::string& name) {
    return ReadRegString(rrLocalMachine, "\\" + kProductKey, name, "<none>");
  }
  static bool ProductKeyExists() { return os::RegKey::Open(os::kLocalMachine, kProductKey, os::RegAccess::Read).IsValid(); }
  void InstallQuietly() {
    ASSERT_EQ(Run("\"" + Distribution() + "\\setup.exe" + "\" -q \"-t" + kQuikpost + "\""), std::optional<unsigned long>(0));
    ASSERT_EQ(tvktest::ReadFile(kQuikpost + "American.dct"), Words());
  }
  // The program the entry names, unquoted.
  static std::string Uninstaller() {
    const std::string command = Entry("UninstallString");
    const std::size_t close = command.find('"', 1);
    return command.size() > 1 && command[0] == '"' && close != std::string::npos ? command.substr(1, close - 1) : command;
  }

  tvktest::ScratchDir work;
};

}  // namespace e2e
