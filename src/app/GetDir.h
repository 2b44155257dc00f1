// The form that proposes Quikpost's directory, lets the user correct it, and answers Continue or Cancel.
#pragma once

#include <string>

#include "app/GradPanel.h"
#include "classlib/Forms.h"

// The result of the last search; empty at start.
extern std::string FoundHostDirectory;

// The Windows directory as the system reports it, or empty when it cannot tell.
std::string WindowsDirectoryOrEmpty();
// Quikpost's directory: the first of the two usual places that holds "quikpost.exe" (with its trailing
// backslash), else the first line of "qkploc.dsp" in the Windows directory as it stands (none when that
// file cannot be read), else the same two places under "Program Files (x86)", else the folder of the
// program that Windows records under "App Paths" when the program is there; else empty.
std::string FindHostDirectory();

class TGetDirForm : public TForm {
 public:
  explicit TGetDirForm(TComponent* owner);
  std::string ClassName() const override { return "TGetDirForm"; }

  TGradPanel* GradPanel1;
  TPanel* pnlWarning;
  TEdit* Edit1;
  TButton* Button1;
  TPanel* Panel1;
  TLabel* Label1;
  TBitBtn* ContinueCMD;
  TBitBtn* CancelCMD;

  void FormCreate(TObject* sender);
  void Button1Click(TObject* sender);
  void CancelCMDClick(TObject* sender);
};
