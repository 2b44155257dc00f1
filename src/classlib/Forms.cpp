#include "classlib/Forms.h"

#include "os/os.h"

namespace {
// Lives for the whole process; the kit's components may reach it while static objects are destroyed.
TApplication* MakeApplication() {
  static TApplication* application = new TApplication(nullptr);
  return application;
}
}  // namespace

TApplication* Application = MakeApplication();

namespace {
TScreen* MakeScreen() {
  static TScreen* screen = new TScreen;
  return screen;
}
}  // namespace

TScreen* Screen = MakeScreen();

THourGlass::THourGlass() : screen_(true), saved_(Screen->Cursor()) { Screen->SetCursor(crHourGlass); }

THourGlass::THourGlass(TControl* control) : control_(control) {
  if (control_ == nullptr) return;
  saved_ = control_->Cursor();
  control_->SetCursor(crHourGlass);
}

THourGlass::~THourGlass() {
  if (screen_) Screen->SetCursor(saved_);
  else if (control_ != nullptr) control_->SetCursor(saved_);
}

std::string ExceptionDisplayText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

TApplication::TApplication(TComponent* owner) : TComponent(owner) {}

void TApplication::Run() {
  // What the start-up posted comes first: a program told to end then never shows its main form.
  ProcessMessages();
  if (!terminated_ && mainForm_ != nullptr && showMainForm_) mainForm_->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::HandleMessage() {
  if (!ProcessMessage() && !terminated_) WaitForMessage();
}

void TApplication::Terminate() {
  terminated_ = true;
  PostQuit();
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

std::string TApplication::ExeName() const { return os::ModuleFileName(); }

void TApplication::HandleException(TObject* sender) {
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    if (OnException) OnException(sender, e);
    else ShowException(e);
  }
}

int UnattendedAnswer(unsigned flags) {
  switch (flags & 0xFu) {
    case 0x1: return IDCANCEL;  // OK, Cancel
    case 0x2: return 3;         // Abort, Retry, Ignore: IDABORT
    case 0x3: return IDCANCEL;  // Yes, No, Cancel
    case 0x4: return IDNO;      // Yes, No
    case 0x5: return IDCANCEL;  // Retry, Cancel
    case 0x6: return IDCANCEL;  // Cancel, Try Again, Continue
    default: return IDOK;
  }
}

void TApplication::ShowException(const std::exception& e) {
  MessageBox(ExceptionDisplayText(e.what()), title_, MB_OK | MB_ICONSTOP);
}

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) { SetVisible(false); }

TCustomForm::~TCustomForm() {
  if (Application != nullptr && Application->MainForm() == this) Application->SetMainForm(nullptr);
  // The controls go while the form is still whole: they take themselves out of their parents.
  DestroyComponents();
  DestroyHandle();
}

void TCustomForm::SetClientSize(int width, int height) {
  clientWidth_ = width;
  clientHeight_ = height;
  SetBounds(Left(), Top(), width, height);
  AlignControls();
}

TButton* TCustomForm::DefaultButton(bool cancel) const {
  for (int i = 0; i < ComponentCount(); ++i) {
    auto* button = dynamic_cast<TButton*>(Components(i));
    if (button != nullptr && (cancel ? button->Cancel() : button->Default()) && button->Visible() && button->Enabled())
      return button;
  }
  return nullptr;
}

void TCustomForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
  } else if (Application != nullptr && Application->MainForm() == this) {
    Application->Terminate();
  } else {
    Hide();
  }
}

void TCustomForm::DoCreate() {
  if (!OnCreate) return;
  try {
    OnCreate(this);
  } catch (...) {
    Application->HandleException(this);
  }
}
