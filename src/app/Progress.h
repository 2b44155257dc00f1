// The progress window of a run: the file being worked on, one bar for the whole run, and Cancel.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/GradPanel.h"
#include "app/ProgressState.h"
#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"

class TProgressForm : public TForm {
 public:
  explicit TProgressForm(TComponent* owner);
  std::string ClassName() const override { return "TProgressForm"; }

  TGradPanel* GradPanel1;
  TLabel* lblFile;
  TProgressBar* ProgressBar1;
  TBitBtn* CancelCMD;

  // The window's close box is its Cancel.
  bool WndProc(TMessage& message) override;
};

// Follows the install component's status events (installing, copying, downloading, the transfer to
// floppies) and shows the progress window once they have lasted a moment, never in a quiet run or a
// build. Cancel is the user's abort. The window goes with this object.
class TRunProgress {
 public:
  explicit TRunProgress(TCustomInstall& install);
  ~TRunProgress();
  TRunProgress(const TRunProgress&) = delete;
  TRunProgress& operator=(const TRunProgress&) = delete;

 private:
  void Report(const std::string& text, int percent);
  void Cancel();

  TCustomInstall& install_;
  TProgressState state_;
  std::unique_ptr<TProgressForm> form_;
  std::string shownText_;
  bool cancelled_ = false;
  std::uint32_t lastLook_ = 0;
};
