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

std::string ExceptionDisplayText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

TApplication::TApplication(TComponent* owner) : TComponent(owner) {}

void TApplication::Run() {
  while (!terminated_) {
    if (!ProcessMessage()) {
      if (terminated_) break;
      WaitForMessage();
    }
  }
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

void TApplication::ShowException(const std::exception& e) {
  MessageBox(ExceptionDisplayText(e.what()), title_, MB_OK | MB_ICONSTOP);
}
