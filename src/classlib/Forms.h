// The application object: message loop, termination, title and the last-resort exception display.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "classlib/Classes.h"

// A form: the owner of the program's components. Its window arrives with the program's windows; what
// the components need of it is here.
class TCustomForm : public TComponent {
 public:
  using TComponent::TComponent;
  std::string ClassName() const override { return "TCustomForm"; }
  TNotifyEvent OnActivate;
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
  // Processes window messages until Terminate is asked for.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles the messages waiting now and returns.
  void ProcessMessages();

  TCustomForm* MainForm() const { return mainForm_; }
  void SetMainForm(TCustomForm* form) { mainForm_ = form; }
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
};

// The process's application object, made at start-up.
extern TApplication* Application;

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
