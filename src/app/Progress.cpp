#include "app/Progress.h"

#include "archive/types_Distribution.h"
#include "os/os.h"

#include <windows.h>
#undef MessageBox
#undef PostMessage

TProgressForm::TProgressForm(TComponent* owner) : TForm(owner) {
  GradPanel1 = new TGradPanel(this);
  lblFile = new TLabel(this);
  ProgressBar1 = new TProgressBar(this);
  CancelCMD = new TBitBtn(this);
  for (int i = 0; i < ComponentCount(); ++i) Components(i)->SetLoading();

  SetName("ProgressForm");
  SetCaption("Quikpost Options Progress");
  SetBorderStyle(bsToolWindow);
  SetClientSize(325, 160);
  SetPosition(poScreenCenter);
  Font().Set("MS Sans Serif", -11, 0, clWindowText);

  GradPanel1->SetName("GradPanel1");
  GradPanel1->SetParent(this);
  GradPanel1->SetAlign(alClient);
  GradPanel1->SetBeginColor(clBlack);
  GradPanel1->SetEndColor(clBlue);
  GradPanel1->SetGradientStyle(gsVertical);

  lblFile->SetName("lblFile");
  lblFile->SetParent(GradPanel1);
  lblFile->SetBounds(8, 16, 309, 36);
  lblFile->SetAlignment(taCenter);
  lblFile->SetTransparent(true);
  lblFile->Font().Set("Times New Roman", -13, fsBold, clWhite);

  ProgressBar1->SetName("ProgressBar1");
  ProgressBar1->SetParent(GradPanel1);
  ProgressBar1->SetBounds(24, 64, 277, 18);

  CancelCMD->SetName("CancelCMD");
  CancelCMD->SetParent(GradPanel1);
  CancelCMD->SetBounds(76, 108, 169, 33);
  CancelCMD->SetCaption(" Ca&ncel ");
  CancelCMD->Font().Set("Times New Roman", -19, fsBold, clNavy);
  CancelCMD->SetCancel(true);

  SetActiveControl(CancelCMD);
  for (int i = 0; i < ComponentCount(); ++i) Components(i)->Loaded();
  DoCreate();
}

bool TProgressForm::WndProc(TMessage& message) {
  if (message.Msg != WM_CLOSE) return TForm::WndProc(message);
  CancelCMD->Click();
  return true;
}

TRunProgress::TRunProgress(TCustomInstall& install) : install_(install) {
  install.OnStatus = [this](TCustomInstallFile* file, int, int totalPercent) {
    Report((install_.Operation() == opCopy ? "Copying " : "Installing ") + file->FileName(), totalPercent);
  };
  install.OnDownloadStatus = [this](TObject*, const std::string& name, int, int bytesSoFar, int totalBytes,
                                    const void*) {
    Report("Downloading " + name, TProgressState::Percent(bytesSoFar, totalBytes));
  };
  install.OnTransferStatus = [this](TTvlkCompress*, const TlzhFileStats& stats) {
    Report(std::string("Copying " TVK_FILES_ARCHIVE " to the floppies"), stats.TotalPercent);
  };
}

TRunProgress::~TRunProgress() {
  install_.OnStatus = nullptr;
  install_.OnDownloadStatus = nullptr;
  install_.OnTransferStatus = nullptr;
}

void TRunProgress::Report(const std::string& text, int percent) {
  if (install_.CommandFlag(cmdQuiet) || install_.CommandFlag(cmdBuild)) return;
  const std::uint32_t now = os::TickCount();
  if (!state_.Report(now, text, percent)) return;
  if (!form_) {
    form_ = std::make_unique<TProgressForm>(Application);
    form_->CancelCMD->OnClick = [this](TObject*) { Cancel(); };
  }
  if (!cancelled_ && state_.Text() != shownText_) {
    shownText_ = state_.Text();
    form_->lblFile->SetCaption(shownText_);
  }
  form_->ProgressBar1->SetPosition(state_.Position());
  if (!form_->Visible()) form_->Show();
  // The window repaints and its Cancel is heard only through the messages let through here while the
  // files are written: a look at most every 10 ms, as the archive engine's own.
  if (now - lastLook_ < 10) return;
  lastLook_ = now;
  Application->ProcessMessages();
}

void TRunProgress::Cancel() {
  if (cancelled_ || !install_.UserAbort()) return;
  cancelled_ = true;
  form_->CancelCMD->SetEnabled(false);
  form_->lblFile->SetCaption("Cancelling...");
}
