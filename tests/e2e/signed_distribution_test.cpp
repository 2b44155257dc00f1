// Signed distributions. The dictionary's distribution built with SignCode set carries signatures that
// osslsigncode accepts, on setup.exe and on the installation program it unpacks, and installs
// self-extracting; changed after signing it is refused and installs nothing; one signed by another tool
// after an unsigned build installs too. The certificate is a throw-away one that no system trusts.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "archive/cmp_TTvlkCompress.h"
#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "support/routines_API.h"
#include "support/test_support.h"
#include "support/win32_process.h"
#include "e2e_support.h"
#include "host_tools.h"

#include <windows.h>
#undef CopyFile
#undef CreateDirectory

namespace {

using namespace e2e;
using tvktest::HostPath;
using tvktest::ReadFile;
using tvktest::RunOnHost;

class SignedDistribution : public WithDistribution<> {
 protected:
  static void SetUpTestSuite() {
    WithDistribution::SetUpTestSuite();  // unsigned, by dictsetup.exe -b, in kit\\inst
    tvktest::MakeTestCertificate(kit_->Path());
  }

  // The dictionary's distribution built as dictsetup.exe -b builds it (the program, its one install
  // file), with SignCode set and the given credentials, into kit\<folder>.
  static void BuildSigned(const std::string& folder, const std::string& passwordFile) {
    TDataModule owner(nullptr);
    auto* install = new TInstall(&owner);
    auto* file = new TInstallFile(&owner);
    file->SetFileName("American.dct");
    file->SetIncludeFromDir(kSourceDir);
    file->SetUniqueID(1);
    file->SetContainer(install);
    install->BuildInfo().SignCode = true;
    install->BuildInfo().CredentialsFile = *kit_ / "credentials.pfx";
    install->BuildInfo().PrivateKeyFile = passwordFile;
    install->Build(*kit_ / "dictsetup.exe", *kit_ / folder, true);
  }
  static int Verify(const std::string& program, std::string& output) {
    return RunOnHost("osslsigncode verify -CAfile '" + HostPath(*kit_ / "cert.pem") + "' -in '" + HostPath(program) + "'",
                     &output);
  }
  // Runs setup.exe quietly into Quikpost's directory; its exit code.
  static std::optional<unsigned long> Install(const std::string& setup) {
    tvktest::Process loader = tvktest::StartProcess("\"" + setup + "\" -q \"-t" + kQuikpost + "\"");
    EXPECT_TRUE(loader);
    const std::optional<unsigned long> exitCode = loader.Wait(kWait);
    WaitForProgramGone();
    return exitCode;
  }
};

TEST_F(SignedDistribution, ASignedBuildIsAcceptedByOsslsigncodeAndInstalls) {
  const std::string program = ReadFile(*kit_ / "dictsetup.exe");
  BuildSigned("signed", *kit_ / "password.txt");
  std::string output;
  EXPECT_EQ(Verify(*kit_ / "signed\\setup.exe", output), 0) << output;
  EXPECT_TRUE(ReadFile(*kit_ / "dictsetup.exe") == program) << "the program that built was changed";
  // The installation program in setup.1 is signed too.
  tvktest::ScratchDir unpacked;
  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(*kit_ / "signed\\setup.1");
  engine.SetExtractDirectory(unpacked.Path());
  engine.ExtractIndex(0);
  EXPECT_EQ(Verify(unpacked / "dictsetup.exe", output), 0) << output;

  const std::set<std::string> temp = UnpackedFolders();
  EXPECT_EQ(Install(*kit_ / "signed\\setup.exe"), std::optional<unsigned long>(0));
  EXPECT_TRUE(ReadFile(kQuikpost + "American.dct") == Words());
  EXPECT_TRUE(UnpackedFoldersBecome(temp));
}

TEST_F(SignedDistribution, ChangedAfterSigningItIsRefusedAndInstallsNothing) {
  BuildSigned("changed", *kit_ / "password.txt");
  const std::string setup = *kit_ / "changed\\setup.exe";
  const TExtractionInfo info = ReadExtractionInfo(setup);
  std::string bytes = ReadFile(setup);
  bytes[std::size_t(info.filesStart + (info.filesEnd - info.filesStart) / 2)] ^= 1;
  tvktest::WriteFile(setup, bytes);
  const std::set<std::string> temp = UnpackedFolders();
  EXPECT_EQ(Install(setup), std::optional<unsigned long>(1603));
  EXPECT_FALSE(os::FileExists(kQuikpost + "American.dct"));
  EXPECT_EQ(UnpackedFolders(), temp);
}

TEST_F(SignedDistribution, SignedByAnotherToolAfterAnUnsignedBuildItInstalls) {
  CreateDirectoryPath(*kit_ / "other");
  std::string output;
  ASSERT_EQ(RunOnHost("osslsigncode sign -pkcs12 '" + HostPath(*kit_ / "credentials.pfx") +
                          "' -pass throw-away -h sha256 -in '" + HostPath(*kit_ / "inst\\setup.exe") + "' -out '" +
                          HostPath(*kit_ / "other\\setup.exe") + "'",
                      &output),
            0)
      << output;
  EXPECT_EQ(Install(*kit_ / "other\\setup.exe"), std::optional<unsigned long>(0));
  EXPECT_TRUE(ReadFile(kQuikpost + "American.dct") == Words());
}

TEST_F(SignedDistribution, AFailureToSignFailsTheBuildAndLeavesNothingHalfSigned) {
  tvktest::WriteFile(*kit_ / "wrong.txt", "not the password\r\n");
  try {
    BuildSigned("failed", *kit_ / "wrong.txt");
    ADD_FAILURE() << "the build went on";
  } catch (const IEInstall& e) {
    EXPECT_EQ(e.Message().rfind("Cannot sign " + *kit_ / "dictsetup.exe", 0), 0u) << e.Message();
  }
  EXPECT_FALSE(os::FileExists(*kit_ / "failed\\setup.exe"));
  EXPECT_TRUE(os::FindFiles(*kit_ / "failed\\*.tmp").empty());
}

}  // namespace
