// A test installation: an install component of class Install on a form, building into and installing
// from a scratch directory, under a product name of its own whose uninstall key goes at the end. The
// message boxes the kit would show are kept in `shown` instead, and answered with `answer`.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "support/routines_Strings.h"
#include "support/test_support.h"

namespace tvktest {

template <class Install = TInstall>
class InstallFixture : public ::testing::Test {
 protected:
  ScratchDir dir;
  const std::string product = "TvkTestProduct" + std::to_string(std::int64_t(os::Now() * 1e7) % 1000000);
  TForm form{nullptr};
  Install* install = new Install(&form);
  std::vector<std::string> shown;
  int answer = IDOK;  // the button every message box is answered with

  void SetUp() override {
    Application->OnMessageBox = [this](const std::string& text, const std::string&, unsigned) {
      shown.push_back(text);
      return answer;
    };
    install->Information().SetProductName(product);
    install->SetArchiveFileType(nullptr);
    install->SetArchiveFile(dir / "dist\\files.1");
    install->SetDestDirType(nullptr);
    install->SetDestDir(dir / "dest");
  }
  void TearDown() override {
    Application->OnMessageBox = nullptr;
    RemoveRegTree(os::kLocalMachine, UninstallKey());
  }

  std::string UninstallKey() const { return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product; }
  // An install file in the install component for the source file Source.
  TInstallFile* AddSource(const std::string& source) {
    auto* file = new TInstallFile(&form);
    file->SetName(ChangeFileExt(ExtractFileName(source), ""));
    file->SetIncludeFromDir(ExtractFileDir(source));
    file->SetFileName(ExtractFileName(source));
    file->SetContainer(install);
    return file;
  }
  void Build() { install->Compress(coRelocateArchives | coBuild | coForceNetFilesLocal | coIncludeAll); }
  // The objects, without the run around them.
  void InstallObjects() { install->TFileContainer::Install(); }
  std::string Dest(const std::string& name) { return dir / ("dest\\" + name); }
};

}  // namespace tvktest
