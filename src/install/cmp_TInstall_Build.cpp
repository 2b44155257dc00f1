// The program as its own build tool (-b) and the copy of a distribution onto floppies (-f).
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "os/os.h"
#include "os/os_sign.h"
#include "support/routines_API.h"
#include "support/routines_Log.h"
#include "support/routines_Registry.h"
#include "support/routines_Scope.h"
#include "support/routines_Strings.h"

void ReportModeFailure(const Exception& e) {
  NoteFailure(e);
  Application->MessageBox(e.Message(), Application->Title(), MB_OK);
}

namespace {

constexpr char kLoaderName[] = "TavelockLoadProgram.exe";
// Where the kit is installed: a subkey of its own, so that removing the last install record keeps it.
constexpr char kKitKey[] = "\\SOFTWARE\\Tavelock\\Kit";
constexpr std::int64_t kFloppyBlock = 8192;

unsigned BuildOptions(TDistributeType type) {
  switch (type) {
    case dtWeb: return coRelocateArchives | coBuild | coForceFilesNet | coIncludeAll;
    case dtTraditionalNet: return coRelocateArchives | coBuild | coIncludeAll;
    default: return coRelocateArchives | coBuild | coForceNetFilesLocal | coIncludeAll;
  }
}

// Appends a whole file; false when fewer bytes than its size arrived.
bool Append(os::File& to, const std::string& path) {
  os::File from = os::File::Open(path, os::Access::Read, os::Share::DenyNone, os::Disposition::OpenExisting);
  if (!from) return false;
  const std::int64_t size = from.Size();
  std::vector<char> buffer(64 * 1024);
  std::int64_t copied = 0;
  for (;;) {
    const std::int64_t n = from.Read(buffer.data(), buffer.size());
    if (n <= 0) break;
    if (to.Write(buffer.data(), std::size_t(n)) != n) return false;
    copied += n;
  }
  return copied == size;
}

// Copies Count bytes from the source's position, in blocks, with window messages between them.
bool CopyRange(os::File& from, os::File& to, std::int64_t count, std::int64_t block) {
  std::vector<char> buffer(static_cast<std::size_t>(block));
  while (count > 0) {
    const std::int64_t want = std::min(count, block);
    if (from.Read(buffer.data(), std::size_t(want)) != want) return false;
    if (to.Write(buffer.data(), std::size_t(want)) != want) return false;
    count -= want;
    Application->ProcessMessages();
  }
  return true;
}

// Writes Source signed to Target with the build info's credentials: the PKCS#12 file CredentialsFile,
// opened with the password on the first line of PrivateKeyFile (an empty one when it names no file).
void SignProgram(const TBuildInfo& info, const std::string& source, const std::string& target) {
  const os::SignFailure failure = os::SignProgram(source, target, info.CredentialsFile, info.PrivateKeyFile);
  if (failure == os::SignFailure::None) return;
  std::string reason;
  switch (failure) {
    case os::SignFailure::Unavailable: reason = TranslateString("this system cannot sign"); break;
    case os::SignFailure::Reading: reason = TranslateString("cannot read the credentials or the password file"); break;
    case os::SignFailure::Credentials: reason = TranslateString("wrong password, or no PKCS#12 file"); break;
    case os::SignFailure::PrivateKey: reason = TranslateString("no certificate with a private key"); break;
    case os::SignFailure::Program: reason = TranslateString("not a Windows program, or unreadable"); break;
    case os::SignFailure::Signing: reason = TranslateString("the system refused to sign"); break;
    default: reason = TranslateString("cannot write the signed copy"); break;
  }
  throw IEInstall("Cannot sign %s with the credentials \"%s\": %s (error %x)",
                  {source, info.CredentialsFile, reason, std::int64_t(os::LastError())});
}

// Signs the program at Path in place when the build info asks for it. The signed program is written
// beside it and then takes its place, so Path is never left half signed.
void SignInPlace(const TBuildInfo& info, const std::string& path) {
  if (!info.SignCode) return;
  const std::string temp = os::TempFileName(ExtractFilePath(path), "tvs", 0).value_or("");
  const ScopeExit removeTemp([&] { os::DeleteFile(temp); });
  if (!temp.empty()) SignProgram(info, path, temp);
  if (temp.empty() || !os::MoveFileReplacing(temp, path))
    throw IEInstall("Cannot sign %s: cannot replace it with its signed copy", {path});
}

// The loading program copied without what followed it in a signed self-extractor names no certificate
// table any more: a table past the file's end would make it look damaged to the system.
bool ForgetCertificateTable(os::File& exe) {
  unsigned char headers[TVK_HEADERS_READ];
  if (exe.Seek(0, os::Origin::Begin) != 0) return false;
  const std::int64_t count = exe.Read(headers, sizeof headers);
  if (count < 0) return false;
  const std::uint32_t entry = TvkSecurityDirectoryAt(headers, std::uint32_t(count));
  if (entry == 0 || TvkGetInt32(headers + entry) == 0) return true;
  static const unsigned char zeros[8] = {};
  return exe.Seek(entry, os::Origin::Begin) == std::int64_t(entry) && exe.Write(zeros, sizeof zeros) == 8;
}

}  // namespace

std::string TCustomInstall::KitDirectory() const {
  const std::string configured = Trim(ReadRegString(rrLocalMachine, kKitKey, "Directory", ""));
  return !configured.empty() && os::DirectoryExists(configured) ? configured : SourceDirectory();
}

void TCustomInstall::RunBuildMode() {
  try {
    const std::string info = WithTrailingBackslash(SourceDirectory()) + "BUILD.INF";
    if (!os::FileExists(info))
      throw IEInstall("Need to have a BUILD.INF file in this directory with the first line specifying the build directory");
    TStringList lines;
    lines.LoadFromFile(info);
    if (lines.Count() == 0) throw IEInstall("Must be 1 line in BUILD.INF. This line should specify the build directory");
    // A project without a loading program builds too, just without a self-extractor.
    Build(os::ModuleFileName(), lines.Strings(0), useLoadingProgram_);
  } catch (const Exception& e) {
    ReportModeFailure(e);
  }
  Application->Terminate();
}

void TCustomInstall::Build(const std::string& programPath, const std::string& buildDirectory, bool makeSelfExtractor) {
  if (makeSelfExtractor && !useLoadingProgram_)
    throw IEInstall("Cannot build a stand alone executable if the UseLoadingProgram property of the TInstall is set to False");
  const std::string dir = WithTrailingBackslash(buildDirectory);
  CopyLoadingProgram(buildDirectory, programPath);
  if (OnBeforeBuildArchives) OnBeforeBuildArchives(this);
  // The archives go to the build directory, whatever archive the install names for its runs.
  const TBuildTarget target{dir + TVK_FILES_ARCHIVE, addToArchive_, false};
  BuildWith(target, [&] {
    Compress(BuildOptions(distributeType_));
    if (distributeType_ != dtTraditional) WriteFileList();
  });
  if (OnAfterBuildArchives) OnAfterBuildArchives(this);
  if (makeSelfExtractor) MakeSelfExtractor(dir + TVK_LOADER_FILE, dir + TVK_SETUP_ARCHIVE, dir + TVK_FILES_ARCHIVE);
}

void TCustomInstall::CopyLoadingProgram(const std::string& buildDirectory, const std::string& programPath) {
  const std::string dir = WithTrailingBackslash(buildDirectory);
  if (useLoadingProgram_) {
    try {
      CreateSetupArchive(buildDirectory, programPath);
    } catch (const EtcDiskFull&) {
      throw IEInstall(
          "The disk that you have specified has been determined to be either too full or is corrupt while trying to "
          "copy the SETUP.1 archive file. You should probably clear all files off of the drive. Minimally, you should "
          "leave enough space on the drive for the SETUP.1 archive file.");
    }
    const std::string loader = WithTrailingBackslash(KitDirectory()) + kLoaderName;
    if (!os::FileExists(loader)) throw IEInstall("The loader program %s was not found", {loader});
    if (!os::CopyFile(loader, dir + TVK_LOADER_FILE, false))
      throw IEInstall("Cannot copy the loading program from %s to %s", {loader, dir + "setup.exe"});
    return;
  }
  if (OnBeforeCopyInstallProgram) OnBeforeCopyInstallProgram(this, programPath);
  CreateDirectoryPath(WithoutTrailingBackslash(buildDirectory));
  const std::string target = dir + ExtractFileName(programPath);
  if (!os::CopyFile(programPath, target, false))
    throw IEInstall("Cannot copy the installation application from %s to %s", {programPath, target});
  if (OnAfterCopyInstallProgram) OnAfterCopyInstallProgram(this);
}

void TCustomInstall::CreateSetupArchive(const std::string& buildDirectory, const std::string& programPath) {
  if (Trim(programPath).empty()) throw IEInstall("Cannot create setup file. Executable is blank");
  if (OnBeforeCreateSetupArchive) OnBeforeCreateSetupArchive(this);
  if (!os::FileExists(programPath)) throw IEInstall("TInstall: Cannot find the executable file %s", {programPath});
  const std::string archive = WithTrailingBackslash(buildDirectory) + TVK_SETUP_ARCHIVE;
  // A signed build packs a signed copy of the program, under its own name in a folder of its own; the
  // program that runs the build stays as it is.
  std::string program = programPath, scratch;
  const ScopeExit removeScratch([&] {
    if (scratch.empty()) return;
    os::DeleteFile(program);
    os::RemoveDirectory(scratch);
  });
  if (buildInfo_.SignCode) {
    // A folder that cannot be made fails as the signed copy that cannot be written.
    scratch = TempFileName(false);
    os::CreateDirectory(scratch);
    program = scratch + "\\" + ExtractFileName(programPath);
    SignProgram(buildInfo_, programPath, program);
  }
  auto pack = [&](const std::string& path, TlzhCommand command) {
    std::unique_ptr<TCustomInstallFile> file(new TCustomInstallFile(nullptr));
    file->SetFileName(ExtractFileName(path));
    file->SetIncludeFromDir(WithoutTrailingBackslash(ExtractFilePath(path)));
    file->SetNet(false);
    file->SetAddToArchive(command);
    file->SetArchiveFileType(nullptr);
    file->SetArchiveFile(archive);
    file->Process(opCompress);
  };
  pack(program, lzcOverwrite);
  for (int i = 0; i < presetupFiles_.Count(); ++i) pack(presetupFiles_.Get(i), lzcOnlyAdd);
  if (OnAfterCreateSetupArchive) OnAfterCreateSetupArchive(this);
}

void TCustomInstall::Compress(unsigned options) {
  TCustomInstallFileList& files = AllInstallFiles();
  for (int i = 0; i < files.Count(); ++i) {
    files.Items(i)->SetCompressState(0);
    files.Items(i)->SetInNetArchive(false);
  }
  TFileContainer::Compress(options);
}

void TCustomInstall::WriteFileList() {
  const std::string dir = WithTrailingBackslash(ExtractFileDir(GetArchiveFile())) + NetArchivePath();
  CreateDirectoryPath(dir);
  // A record holds 39 characters of a name: a longer one could never be matched when the list is read.
  for (int i = 0; i < AllInstallFiles().Count(); ++i) {
    const TCustomInstallFile* file = AllInstallFiles().Items(i);
    const bool listed = file->CompressState() == 1 || file->CompressState() == 2;
    if (listed && file->Name().size() > TFileInfoRecord::kMaxName)
      throw IEInstall("The component name %s is longer than the %d characters a file list can hold",
                      {file->Name(), int(TFileInfoRecord::kMaxName)});
  }
  TFileStream list(WithTrailingBackslash(dir) + TVK_FILE_LIST, fmCreate);
  TCustomInstallFileList& files = AllInstallFiles();
  std::int32_t count = 0;
  for (int i = 0; i < files.Count(); ++i) count += files.Items(i)->CompressState() == 1 || files.Items(i)->CompressState() == 2;
  list.WriteBuffer(&count, sizeof count);
  for (int i = 0; i < files.Count(); ++i)
    if (files.Items(i)->CompressState() == 1 || files.Items(i)->CompressState() == 2) files.Items(i)->WriteInfoRecord(list);
}

void TCustomInstall::MakeSelfExtractor(const std::string& setupExe, const std::string& setup1, const std::string& files1) {
  if (OnBeforeMakeSelfExtractor) OnBeforeMakeSelfExtractor(this);
  TvkExtractionRecord record{};
  os::File exe = os::File::Open(setupExe, os::Access::ReadWrite, os::Share::DenyNone, os::Disposition::OpenExisting);
  if (!exe) throw IEInstall("Cannot create the self-extracting exe because %s could not be loaded onto %s", {setup1, setupExe});
  auto embed = [&](const std::string& path, std::int32_t& first, std::int32_t& last) {
    first = std::int32_t(exe.Seek(0, os::Origin::End));
    if (!Append(exe, path))
      throw IEInstall("Cannot create the self-extracting exe because %s could not be loaded onto %s", {path, setupExe});
    last = std::int32_t(exe.Seek(0, os::Origin::Current)) - 1;
  };
  embed(setup1, record.setupStart, record.setupEnd);
  if (os::FileExists(files1)) embed(files1, record.filesStart, record.filesEnd);
  unsigned char bytes[TVK_RECORD_SIZE];
  TvkWriteExtractionRecord(&record, bytes);
  if (exe.Write(bytes, sizeof bytes) != std::int64_t(sizeof bytes))
    throw IEInstall("Cannot create the self-extracting exe because %s could not be loaded onto %s", {setup1, setupExe});
  exe.Close();
  SignInPlace(buildInfo_, setupExe);
  if (OnAfterMakeSelfExtractor) OnAfterMakeSelfExtractor(this);
}

void TCustomInstall::TransferToFloppies(const std::string& drive) {
  Application->ProcessMessages();
  try {
    if (!CommandFlag(cmdSelfExtract))
      throw IEInstall(
          "Sorry... You can only transfer this installation to floppies through the self-extracting file. Usage "
          "example: setup.exe *TODISK");
    const std::string selfExtractor = GetArchiveFile();
    const TExtractionInfo info = ReadExtractionInfo(selfExtractor);
    const std::string target = WithTrailingBackslash(drive);
    try {
      BroadcastMessage("Transferring this installation to floppies. Please wait...");
      os::File source = os::File::Open(selfExtractor, os::Access::Read, os::Share::DenyNone, os::Disposition::OpenExisting);
      if (!source) throw IEInstall("Cannot create setup.exe on the A drive. Probably not enough room");
      {
        os::File exe = os::File::Open(target + TVK_LOADER_FILE, os::Access::ReadWrite, os::Share::Exclusive,
                                      os::Disposition::CreateAlways);
        if (!exe || !CopyRange(source, exe, info.setupStart, 64 * 1024) || !ForgetCertificateTable(exe))
          throw IEInstall("Cannot create setup.exe on the A drive. Probably not enough room");
      }
      {
        os::File setup = os::File::Open(target + TVK_SETUP_ARCHIVE, os::Access::Write, os::Share::Exclusive,
                                        os::Disposition::CreateAlways);
        if (!setup || source.Seek(info.setupStart, os::Origin::Begin) < 0 ||
            !CopyRange(source, setup, std::int64_t(info.setupEnd) - info.setupStart + 1, kFloppyBlock))
          throw IEInstall("Cannot create setup.1 on the A drive. Probably not enough room");
      }
    } catch (...) {
      BroadcastMessage("");
      throw;
    }
    BroadcastMessage("");

    TTvlkCompress& engine = *SharedArchiveEngine;
    engine.OnNewDisk = [](TTvlkCompress*, int disk, std::string&) {
      if (Application->MessageBox(Format("Please insert disk %d", {disk}), Application->Title(),
                                  MB_OKCANCEL | MB_ICONQUESTION) == IDCANCEL)
        throw IEInstallCancelled("Aborted by user");
    };
    userAbort_ = false;
    engine.OnStatus = [this](TTvlkCompress* e, const TlzhFileStats& stats) {
      if (OnTransferStatus) OnTransferStatus(e, stats);
      Application->ProcessMessages();
      if (userAbort_) throw IEInstallCancelled("Aborted by user");
    };
    try {
      engine.SetOffset(info.filesStart);
      engine.SetCompressedFile(selfExtractor);
      engine.TransferToDisks(target, TVK_FILES_ARCHIVE);
    } catch (...) {
      engine.OnNewDisk = nullptr;
      engine.OnStatus = nullptr;
      throw;
    }
    engine.OnNewDisk = nullptr;
    engine.OnStatus = nullptr;
  } catch (const Exception& e) {
    ReportModeFailure(e);
  }
  Application->ProcessMessages();
  Application->Terminate();
}
