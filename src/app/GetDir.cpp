#include "app/GetDir.h"

#include "classlib/Streams.h"
#include "classlib/Strings.h"
#include "os/os.h"
#include "support/routines_Strings.h"

std::string FoundHostDirectory;

namespace {

constexpr char kHostProgram[] = "quikpost.exe";
const char* const kCandidates[] = {"C:\\Program Files\\Brindlecote\\Quikpost\\",
                                   "C:\\Program Files\\Brindlecote\\Quikpost DBV\\"};
// Where a 64-bit Windows keeps 32-bit programs, looked at once the usual places found nothing.
const char* const kWow64Candidates[] = {"C:\\Program Files (x86)\\Brindlecote\\Quikpost\\",
                                        "C:\\Program Files (x86)\\Brindlecote\\Quikpost DBV\\"};
constexpr char kAppPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\quikpost.exe";

// The first candidate that holds the program, or empty.
template <std::size_t N>
std::string FirstHolding(const char* const (&candidates)[N]) {
  for (const char* candidate : candidates)
    if (os::FileExists(std::string(candidate) + kHostProgram)) return candidate;
  return "";
}

// The program's folder as Windows records installed programs ("App Paths"), when the program is there.
// A 64-bit Windows keeps the entries of 32-bit and of 64-bit programs apart; Quikpost may be either.
std::string RegisteredDirectory() {
  for (os::RegView view : {os::RegView::Default, os::RegView::Bits32, os::RegView::Bits64}) {
    const os::RegKey key = os::RegKey::Open(os::kLocalMachine, kAppPath, os::RegAccess::Read, view);
    const std::optional<os::RegValue> value = key ? key.Query("") : std::nullopt;
    if (!value || (value->type != os::RegType::String && value->type != os::RegType::ExpandString)) continue;
    std::string path = Trim(value->data.c_str());
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    if (!path.empty() && os::FileExists(path)) return ExtractFilePath(path);
  }
  return "";
}

// The first line of the location file, or empty (also when the file cannot be read).
std::string LocationFileDirectory() {
  const std::string locationFile = WithTrailingBackslash(WindowsDirectoryOrEmpty()) + "qkploc.dsp";
  if (!os::FileExists(locationFile)) return "";
  TStringList lines;
  // The search reports a place or none, never an error: a location file that cannot be read names none.
  try {
    lines.LoadFromFile(locationFile);
  } catch (const EStreamError&) {
    return "";
  }
  return lines.Count() > 0 ? lines.Strings(0) : "";
}

}  // namespace

std::string WindowsDirectoryOrEmpty() { return os::WindowsDirectory().value_or(""); }

std::string FindHostDirectory() {
  std::string found = FirstHolding(kCandidates);
  if (found.empty()) found = LocationFileDirectory();
  if (found.empty()) found = FirstHolding(kWow64Candidates);
  if (found.empty()) found = RegisteredDirectory();
  return found;
}

TGetDirForm::TGetDirForm(TComponent* owner) : TForm(owner) {
  GradPanel1 = new TGradPanel(this);
  pnlWarning = new TPanel(this);
  Edit1 = new TEdit(this);
  Button1 = new TButton(this);
  Panel1 = new TPanel(this);
  Label1 = new TLabel(this);
  ContinueCMD = new TBitBtn(this);
  CancelCMD = new TBitBtn(this);
  for (int i = 0; i < ComponentCount(); ++i) Components(i)->SetLoading();

  SetName("GetDirForm");
  SetCaption("Quikpost Options Installation");
  SetBorderStyle(bsToolWindow);
  SetClientSize(536, 348);
  SetPosition(poScreenCenter);
  Font().Set("Arial", -11, fsBold, clNavy);

  GradPanel1->SetName("GradPanel1");
  GradPanel1->SetParent(this);
  GradPanel1->SetBounds(0, 0, 536, 348);
  GradPanel1->Font().Assign(&Font());
  GradPanel1->SetBeginColor(clBlue);
  GradPanel1->SetEndColor(clBlack);
  GradPanel1->SetGradientStyle(gsVertical);

  pnlWarning->SetName("pnlWarning");
  pnlWarning->SetParent(GradPanel1);
  pnlWarning->SetBounds(141, 148, 253, 49);
  pnlWarning->SetBevelInner(bvLowered);
  pnlWarning->SetColor(clWhite);
  pnlWarning->SetCaption("Searching for Quikpost. . .");
  pnlWarning->Font().Set("Arial", -13, fsBold, clRed);
  pnlWarning->SetVisible(false);

  Edit1->SetName("Edit1");
  Edit1->SetParent(GradPanel1);
  Edit1->SetBounds(67, 160, 337, 22);
  Edit1->Font().Assign(&Font());
  Edit1->SetVisible(false);

  Button1->SetName("Button1");
  Button1->SetParent(GradPanel1);
  Button1->SetBounds(415, 161, 53, 21);
  Button1->SetCaption(" Browse ");
  Button1->Font().Set("Arial", -11, 0, clNavy);
  Button1->OnClick = [this](TObject* sender) { Button1Click(sender); };

  ContinueCMD->SetName("ContinueCMD");
  ContinueCMD->SetParent(GradPanel1);
  ContinueCMD->SetBounds(189, 232, 157, 33);
  ContinueCMD->SetCaption(" &Continue ");
  ContinueCMD->Font().Set("Arial", -13, fsBold, clNavy);
  ContinueCMD->SetModalResult(1);
  ContinueCMD->SetDefault(true);

  CancelCMD->SetName("CancelCMD");
  CancelCMD->SetParent(GradPanel1);
  CancelCMD->SetBounds(189, 276, 157, 33);
  CancelCMD->SetCaption(" Ca&ncel ");
  CancelCMD->Font().Set("Arial", -13, fsBold, clNavy);
  CancelCMD->SetModalResult(2);
  CancelCMD->SetCancel(true);

  Panel1->SetName("Panel1");
  Panel1->SetParent(this);
  Panel1->SetBounds(12, 12, 513, 121);
  Panel1->SetBevelInner(bvLowered);
  Panel1->SetColor(clWhite);

  Label1->SetName("Label1");
  Label1->SetParent(Panel1);
  Label1->SetBounds(16, 8, 489, 101);
  Label1->SetAutoSize(false);
  Label1->SetWordWrap(true);
  Label1->Font().Set("Arial", -11, 0, clNavy);
  Label1->SetCaption(
      "Quikpost options must be installed into the Quikpost directory.\r\n\r\n"
      "If you have multiple instances of the program, or if the displayed path is not correct, use the Browse "
      "button to locate the proper directory.\r\n\r\n"
      "Press Continue to complete the install, or Cancel to quit without installing.");

  SetActiveControl(Edit1);
  OnCreate = [this](TObject* sender) { FormCreate(sender); };
  for (int i = 0; i < ComponentCount(); ++i) Components(i)->Loaded();
  DoCreate();
}

void TGetDirForm::FormCreate(TObject*) {
  pnlWarning->Show();
  try {
    FoundHostDirectory = FindHostDirectory();
    Edit1->SetText(FoundHostDirectory);
  } catch (...) {
    pnlWarning->Hide();
    Edit1->Show();
    throw;
  }
  pnlWarning->Hide();
  Edit1->Show();
}

void TGetDirForm::Button1Click(TObject*) {
  std::string directory;
  if (!SelectDirectory("Choose the Quikpost directory, the folder that holds quikpost.exe.", "", directory)) return;
  if (os::FileExists(WithTrailingBackslash(directory) + kHostProgram)) Edit1->SetText(directory);
  else Application->MessageBox("Quikpost not found in " + directory, Application->Title(), MB_OK);
}

void TGetDirForm::CancelCMDClick(TObject*) { Close(); }
