// Programs of the Linux host for the signing tests under Wine: openssl makes a throw-away certificate,
// osslsigncode signs and verifies as an independent tool. Wine starts a host program as it starts a
// Windows one but cannot wait for it, so a shell script runs the command and leaves its exit code in a
// file, which is waited for.
#pragma once

#include <string>

namespace tvktest {

// The host's path of a Windows path, as Wine maps it.
std::string HostPath(const std::string& windowsPath);
// Runs a shell command line on the host and waits (up to a minute) for it to end: its exit code, or -1
// when it did not end; what it wrote (output and errors together) goes to Output.
int RunOnHost(const std::string& command, std::string* output = nullptr);

// A throw-away code-signing certificate made in Dir by cmake/test-certificate: cert.pem, and its key with
// it in credentials.pfx, whose password is the first line of password.txt. Fails the test when it
// cannot be made.
void MakeTestCertificate(const std::string& dir);

}  // namespace tvktest
