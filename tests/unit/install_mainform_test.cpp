// What the install component does to the program's windows: the main form hidden or maximised as the
// stored settings ask, and the hourglass while the archives are read and while the files install.
#include <gtest/gtest.h>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "support/install_fixture.h"
#include "support/test_support.h"

namespace {

// Notes the pointers shown when the run reports that it reads the archives.
class WatchedInstall : public TInstall {
 public:
  using TInstall::TInstall;
  TCursor formCursorWhileReading = crDefault;
  TCursor screenCursorWhileReading = crDefault;
  void BroadcastMessage(const std::string& text) override {
    formCursorWhileReading = Owner() != nullptr ? static_cast<TControl*>(Owner())->Cursor() : crDefault;
    screenCursorWhileReading = Screen->Cursor();
    TInstall::BroadcastMessage(text);
  }
};

class InstallMainForm : public tvktest::InstallFixture<WatchedInstall> {
 protected:
  void SetUp() override {
    InstallFixture::SetUp();
    install->ParseCommandLine({"-s" + dir.Path()});
    install->SetRunAutomatic(false);
    form.SetClientSize(325, 220);
  }
  void TearDown() override {
    InstallRecordKey.clear();
    tvktest::RemoveRegTree(os::kLocalMachine, "SOFTWARE\\Tavelock");
    InstallFixture::TearDown();
  }
};

TEST_F(InstallMainForm, HiddenOffScreenOrMaximisedOnFirstActivation) {
  struct Row {
    const char* why;
    bool hide, maximize;
    int left, top;
    TWindowState state;
  };
  const Row rows[] = {
      {"neither", false, false, 0, 0, wsNormal},
      {"hidden: twice its size up and left", true, false, -650, -440, wsNormal},
      {"maximised when first activated", false, true, 0, 0, wsMaximized},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    TForm main(nullptr);
    main.SetClientSize(325, 220);
    main.SetPosition(poScreenCenter);
    install->SetHideMainForm(row.hide);
    install->SetAutoMaximizeWindow(row.maximize);
    int ownHandler = 0;
    main.OnActivate = [&](TObject*) { ++ownHandler; };
    install->AttachMainForm(&main);
    EXPECT_EQ(main.Left(), row.left);
    EXPECT_EQ(main.Top(), row.top);
    EXPECT_EQ(main.Position(), row.hide ? poDesigned : poScreenCenter);
    main.OnActivate(&main);
    EXPECT_EQ(main.WindowState(), row.state);
    EXPECT_EQ(ownHandler, 1);  // the form's own handler still runs, once
    EXPECT_FALSE(install->Installing());  // RunAutomatic is off
  }
}

TEST_F(InstallMainForm, SettingOneClearsTheOther) {
  install->SetHideMainForm(true);
  install->SetAutoMaximizeWindow(true);
  EXPECT_FALSE(install->HideMainForm());
  install->SetHideMainForm(true);
  EXPECT_FALSE(install->AutoMaximizeWindow());
}

TEST_F(InstallMainForm, HourglassWhileReadingAndInstalling) {
  install->AttachMainForm(&form);
  tvktest::WriteFile(dir / "American.dct", "words");
  AddSource(dir / "American.dct");
  // No archive built yet: the read fails, and the pointers are back all the same.
  EXPECT_THROW(install->Install(), std::exception);
  EXPECT_EQ(install->formCursorWhileReading, crHourGlass);
  EXPECT_EQ(form.Cursor(), crDefault);
  EXPECT_EQ(Screen->Cursor(), crDefault);

  Build();
  install->formCursorWhileReading = crDefault;
  TCursor whileInstalling = crDefault;
  install->OnBeforeInstallObjects = [&](TInstallContainer*) { whileInstalling = Screen->Cursor(); };
  install->Install();
  EXPECT_EQ(tvktest::ReadFile(Dest("American.dct")), "words");
  EXPECT_EQ(install->formCursorWhileReading, crHourGlass);
  EXPECT_EQ(whileInstalling, crHourGlass);
  EXPECT_EQ(form.Cursor(), crDefault);
  EXPECT_EQ(Screen->Cursor(), crDefault);
}

}  // namespace
