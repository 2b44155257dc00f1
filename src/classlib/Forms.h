// The application object: message loop, termination, title and the last-resort exception display.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "classlib/Classes.h"
#include "classlib/Controls.h"

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition { poDesigned, poScreenCenter };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

// A form: a top-level window and the owner of the program's components. Its size is given as the
// size of its client area. A form is hidden until shown; closing the main form ends the program.
class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;
  std::string ClassName() const override { return "TCustomForm"; }

  int ClientWidth() const override { return clientWidth_; }
  int ClientHeight() const override { return clientHeight_; }
  void SetClientWidth(int value) { SetClientSize(value, clientHeight_); }
  void SetClientHeight(int value) { SetClientSize(clientWidth_, value); }
  void SetClientSize(int width, int height);
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle value) { borderStyle_ = value; }
  TPosition Position() const { return position_; }
  void SetPosition(TPosition value) { position_ = value; }
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState value);
  // The control that has the focus when the form is shown (an edit box's text selected whole).
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* control) { activeControl_ = control; }
  // The visible, enabled button of the form that Enter (Default) or Esc (Cancel) presses, or null.
  TButton* DefaultButton(bool cancel) const;

  // Shows the form and runs the message loop until a modal result is chosen (a button with one, or
  // closing the window: mrCancel); hides it again and returns the result.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  void ModalResultChosen(TModalResult result) override { modalResult_ = result; }
  // Closes the form: a modal form ends with mrCancel; the main form ends the program; any other hides.
  void Close();
  bool WndProc(TMessage& message) override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnActivate;

 protected:
  // Runs OnCreate; the concrete form calls it once its components are loaded. A failure goes to the
  // application's exception handler, as a failure in any event handler does.
  void DoCreate();
  void CreateParams(TCreateParams& params) override;
  void VisibleChanged() override;

 private:
  int clientWidth_ = 0, clientHeight_ = 0;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TPosition position_ = poDesigned;
  TWindowState windowState_ = wsNormal;
  TModalResult modalResult_ = mrNone;
  bool modal_ = false;
  TWinControl* activeControl_ = nullptr;
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
  std::string ClassName() const override { return "TForm"; }
};

// A non-visual container of components.
class TDataModule : public TComponent {
 public:
  using TComponent::TComponent;
  std::string ClassName() const override { return "TDataModule"; }
};

using TExceptionEvent = std::function<void(TObject* sender, const std::exception& e)>;

// The text the standard display shows for a message: a period is added when the message is not empty
// and its last character sorts after "." (so "The disk is full" gains a period, and "Done." and
// "Stop!" do not).
std::string ExceptionDisplayText(const std::string& message);

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* owner);
  std::string ClassName() const override { return "TApplication"; }

  void Initialize() {}
  // Handles what is waiting, shows the main form unless the program was asked to end meanwhile, and
  // processes window messages until Terminate is asked for.
  void Run();
  // Handles one message, waiting for one when none is there.
  void HandleMessage();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles the messages waiting now and returns.
  void ProcessMessages();

  TCustomForm* MainForm() const { return mainForm_; }
  void SetMainForm(TCustomForm* form) { mainForm_ = form; }
  // Whether Run shows the main form (an unattended run shows none).
  bool ShowMainForm() const { return showMainForm_; }
  void SetShowMainForm(bool value) { showMainForm_ = value; }
  // What the program returns to whoever started it.
  int ExitCode() const { return exitCode_; }
  void SetExitCode(int value) { exitCode_ = value; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  std::string ExeName() const;

  // Call from a catch block: the exception being handled goes to OnException when assigned and to
  // ShowException otherwise; EAbort is dropped silently.
  void HandleException(TObject* sender);
  // A message box with the stop icon and an OK button, captioned with the title.
  void ShowException(const std::exception& e);
  // A message box with the given flags (MB_ values) and the title as caption; the button pressed.
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

  TExceptionEvent OnException;
  // When assigned, answers every message box in place of the user (unattended runs, tests).
  std::function<int(const std::string& text, const std::string& caption, unsigned flags)> OnMessageBox;

 private:
  // Handles one waiting message; false when there was none.
  bool ProcessMessage();
  void WaitForMessage();
  void PostQuit();

  TCustomForm* mainForm_ = nullptr;
  std::string title_;
  bool terminated_ = false;
  bool showMainForm_ = true;
  int exitCode_ = 0;
};

// The answer an unattended run gives a message box with these flags: Cancel where there is one, else
// No, else Abort, else OK; never an answer that has the question asked again.
int UnattendedAnswer(unsigned flags);

// The process's application object, made at start-up.
extern TApplication* Application;

// The screen: a pointer other than crDefault shows over every window of the program.
class TScreen {
 public:
  TCursor Cursor() const { return cursor_; }
  // Shown at once, not only when the pointer next moves.
  void SetCursor(TCursor value);

 private:
  TCursor cursor_ = crDefault;
};

extern TScreen* Screen;

// The hourglass while it lives, over the whole program, or over one control when one is given (a
// null control: nothing); then the pointer that was there before, also when an exception leaves.
class THourGlass {
 public:
  THourGlass();
  explicit THourGlass(TControl* control);
  ~THourGlass();
  THourGlass(const THourGlass&) = delete;
  THourGlass& operator=(const THourGlass&) = delete;

 private:
  TControl* control_ = nullptr;
  bool screen_ = false;
  TCursor saved_ = crDefault;
};

// The system's dialog for choosing an existing directory; false when the user cancelled it.
bool SelectDirectory(const std::string& caption, const std::string& root, std::string& directory);

// MessageBox flags and results, with their Win32 values.
enum : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_YESNO = 0x4,
  MB_ICONSTOP = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
  IDOK = 1,
  IDCANCEL = 2,
  IDYES = 6,
  IDNO = 7,
};
