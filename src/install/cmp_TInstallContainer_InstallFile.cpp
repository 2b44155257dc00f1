#include "install/cmp_TInstallContainer_InstallFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "classlib/Forms.h"
#include "install/cmp_TInstall.h"
#include "install/cmp_TInstallContainer_Events.h"
#include "install/cmp_TInstallContainer_Internal.h"
#include "os/os.h"
#include "support/routines_API.h"
#include "support/routines_Strings.h"

namespace {

constexpr std::size_t kMaxVersion = 20;
constexpr std::size_t kInfoRecordSize = 72;

bool IsLibraryLike(const std::string& ext) {
  return ext.size() == 4 && (ext == ".DLL" || ext == ".OCX" || ext == ".BLL" || ext == ".EXE");
}

}  // namespace

// ---- Life cycle

TCustomInstallFile::TCustomInstallFile(TComponent* owner) : TFileRelated(owner) {
  installable_ = true;
  net_ = false;
  AllInstallFiles().Add(this);
  TUniqueIDTable& table = UniqueIDTable();
  uniqueID_ = 0;
  for (int id = 0; id < TUniqueIDTable::kSize; ++id) {
    if (!table.used[std::size_t(id)]) {
      table.used[std::size_t(id)] = true;
      uniqueID_ = id;
      holdsUniqueID_ = true;
      break;
    }
  }
  ApplyDesignDefaults();
}

TCustomInstallFile::~TCustomInstallFile() {
  DeferredRegistrations().Remove(this);
  AllInstallFiles().Remove(this);
  ReleaseUniqueID();
}

void TCustomInstallFile::ReleaseUniqueID() {
  if (holdsUniqueID_ && uniqueID_ >= 0 && uniqueID_ < TUniqueIDTable::kSize)
    UniqueIDTable().used[std::size_t(uniqueID_)] = false;
  holdsUniqueID_ = false;
}

TCustomInstallFile* TCustomInstallFile::CreateFromPath(TComponent* owner, const std::string& path) {
  auto* file = new TCustomInstallFile(owner);
  try {
    file->SetIncludeFromDir(WithoutTrailingBackslash(ExtractFilePath(path)));
    file->SetFileName(ExtractFileName(path));
  } catch (...) {
    delete file;
    throw;
  }
  return file;
}

TCustomInstallFile* TCustomInstallFile::CreateInContainer(TComponent* owner, TInstallContainer* container,
                                                          const std::string& path) {
  TCustomInstallFile* file = CreateFromPath(owner, path);
  try {
    file->SetContainer(container);
  } catch (...) {
    delete file;
    throw;
  }
  return file;
}

void TCustomInstallFile::SetUniqueID(int value) {
  ReleaseUniqueID();
  uniqueID_ = value;
}

void TCustomInstallFile::Loaded() {
  TFileRelated::Loaded();
  TUniqueIDTable& table = UniqueIDTable();
  // The flags the constructors set were taken before the stored identifiers were known.
  if (!table.loaded) {
    table.used.fill(false);
    table.loaded = true;
  }
  if (uniqueID_ >= 0 && uniqueID_ < TUniqueIDTable::kSize) {
    table.used[std::size_t(uniqueID_)] = true;
    holdsUniqueID_ = true;
  }
}

// ---- Settings

void TCustomInstallFile::SetContainer(TInstallContainer* value) {
  if (Loading()) return TFileRelated::SetContainer(value);
  Settings next = CurrentSettings();
  next.container = value;
  ApplySettings(std::move(next));
}

void TCustomInstallFile::SetIncludeFromDir(const std::string& value) {
  if (Loading()) {
    includeFromDir_ = value;
    return;
  }
  Settings next = CurrentSettings();
  next.includeFromDir = value;
  ApplySettings(std::move(next));
}

void TCustomInstallFile::SetActiveX(bool value) {
  if (Loading()) {
    activeX_ = value;
    return;
  }
  Settings next = CurrentSettings();
  next.activeX = value;
  ApplySettings(std::move(next));
}

void TCustomInstallFile::SetFileType(TInstallFileType value) {
  if (Loading()) {
    fileType_ = value;
    return;
  }
  Settings next = CurrentSettings();
  next.fileType = value;
  ApplySettings(std::move(next));
}

void TCustomInstallFile::SetDestDirType(TCustomPathSpecifier* value) {
  destDirTypeSet_ = true;
  if (Loading()) return StoreDestDirType(value);
  Settings next = CurrentSettings();
  next.destDirType = value;
  ApplySettings(std::move(next));
}

void TCustomInstallFile::SetDestName(const std::string& value) {
  if (Loading()) {
    destName_ = value;
    return;
  }
  Settings next = CurrentSettings();
  next.destName = value;
  ApplySettings(std::move(next));
}

void TCustomInstallFile::SetDestDir(const std::string& value) {
  if (Loading()) {
    destDir_ = value;
    return;
  }
  Settings next = CurrentSettings();
  next.destDir = value;
  ApplySettings(std::move(next));
}

void TCustomInstallFile::SetFileName(const std::string& value) {
  if (Loading()) {
    fileName_ = value;
    return;
  }
  Settings next = CurrentSettings();
  next.fileName = value;
  ApplySettings(std::move(next));
}

TCustomInstallFile::Settings TCustomInstallFile::CurrentSettings() const {
  return {container_, includeFromDir_, activeX_, fileType_, destDirType_, destName_, destDir_, fileName_};
}

void TCustomInstallFile::ApplySettings(Settings next) {
  TInstallContainer* const newContainer = next.container;
  std::string& newIncludeFromDir = next.includeFromDir;
  bool& newActiveX = next.activeX;
  TInstallFileType& newFileType = next.fileType;
  TCustomPathSpecifier* const newDestDirType = next.destDirType;
  std::string& newDestName = next.destName;
  std::string& newDestDir = next.destDir;
  std::string& newFileName = next.fileName;
  const bool containerChanged = newContainer != container_;
  const bool dirTypeChanged = newDestDirType != destDirType_;
  const bool nameChanged = !SameText(newFileName, fileName_);
  const bool sourceDirChanged = !SameText(newIncludeFromDir, includeFromDir_);
  const std::string newSource = WithTrailingBackslash(newIncludeFromDir) + newFileName;

  auto* files = dynamic_cast<TFileContainer*>(newContainer);
  if (newContainer != nullptr && files == nullptr)
    throw IECustomInstallFile(
        "The following TInstallFile component %s requires the Container property to be a component descended from "
        "the TFileContainer component",
        {Name()});
  if (files != nullptr && (nameChanged || containerChanged || sourceDirChanged) && files->FindFile(newSource) != nullptr)
    throw IEfcDuplicateFile("There is already a file with the name :%s", {newSource});

  if (nameChanged && !Trim(newFileName).empty()) newDestName = newFileName;
  const std::string ext = UpperCase(ExtractFileExt(newFileName));
  if (nameChanged || sourceDirChanged) {
    registerAsHelp_ = ext == ".HLP" || ext == ".CNT";
    bool selfRegistering = false;
    try {
      // The file being configured is the new one, so its resource is the one to read.
      selfRegistering = IsOLESelfRegisterFile(newSource);
    } catch (const Exception&) {
    }
    newActiveX = ext == ".OCX" || selfRegistering;
  }
  if (newActiveX && !activeX_) newFileType = iftSystemWideDLL;
  if (dirTypeChanged && IsLibraryLike(ext)) {
    if (dynamic_cast<TpsWindow*>(newDestDirType) != nullptr || dynamic_cast<TpsBDEDLL*>(newDestDirType) != nullptr)
      overwriteMode_ = owVersionDate;
    else if (dynamic_cast<TpsSystem*>(newDestDirType) != nullptr)
      newFileType = iftSystemWideDLL;
  }
  if (newFileType != fileType_) {
    if (newFileType == iftJustADLL || newFileType == iftApplicationSpecificDLL) {
      overwriteMode_ = owVersionDate;
    } else if (newFileType == iftVendorSharedDLL || newFileType == iftSystemWideDLL) {
      updateDLLCounter_ = true;
      overwriteMode_ = owVersionDate;
    }
  }

  TInstallContainer::SetDestDirType(newDestDirType);
  TFileRelated::SetContainer(newContainer);

  switch (newFileType) {
    case iftApplicationSpecificDLL:
      newDestDir = "\\System";
      StoreDestDirType(StandardPathSpecifiers().FindByClass<TpsMainInstall>());
      break;
    case iftVendorSharedDLL:
      newDestDir = "\\System";
      StoreDestDirType(StandardPathSpecifiers().FindByClass<TpsCommonFiles>());
      break;
    case iftSystemWideDLL:
      newDestDir.clear();
      StoreDestDirType(StandardPathSpecifiers().FindByClass<TpsSystem>());
      break;
    default:
      break;
  }

  includeFromDir_ = std::move(newIncludeFromDir);
  fileName_ = std::move(newFileName);
  destDir_ = std::move(newDestDir);
  destName_ = std::move(newDestName);
  fileType_ = newFileType;
  activeX_ = newActiveX;
}

// ---- Paths

std::string TCustomInstallFile::SourcePath() const { return WithTrailingBackslash(includeFromDir_) + fileName_; }

std::string TCustomInstallFile::DestPath() { return WithTrailingBackslash(GetDestDir()) + destName_; }

bool TCustomInstallFile::NeedsOwnNetArchive() const {
  return netLocation_ != nullptr || overwriteMode_ == owVersion || overwriteMode_ == owDate ||
         overwriteMode_ == owVersionDate;
}

std::string TCustomInstallFile::GetArchiveFile() {
  const TDistributeType type = CurrentDistributeType();
  if (fileOperation_ == opInstall && (type == dtWeb || (type != dtTraditional && net_))) {
    if (NeedsOwnNetArchive() && HasLocalArchive()) return localFile_;
    auto* files = dynamic_cast<TFileContainer*>(container_);
    if (files != nullptr && files->HasLocalArchive()) return files->GetLocalArchivePath();
  }
  return TFileRelated::GetArchiveFile();
}

// ---- Operations

void TCustomInstallFile::Aborted() { throw EAIUserAbort(); }

void TCustomInstallFile::ArchiveBlank() const {
  throw IECustomInstallFile(
      "Cannot either compress or decompress the following file because it's archive file property is blank. File "
      "is :%s",
      {fileName_});
}

void TCustomInstallFile::PassUp(int code, TObject* po) {
  if (container_ != nullptr) container_->DoInformationEventControl(this, code, po);
}

void TCustomInstallFile::Process(std::uint8_t operation) {
  try {
    switch (operation) {
      case opCompress: Compress(); break;
      case opInstall: Install(); break;
      case opCopy: Copy(); break;
      default: break;
    }
  } catch (...) {
    fileOperation_ = opNone;
    throw;
  }
  fileOperation_ = opNone;
}

void TCustomInstallFile::Compress() {
  fileOperation_ = opCompress;
  TTvlkCompress& engine = *SharedArchiveEngine;
  try {
    if (OnBeforeCompress) OnBeforeCompress(this);
    PassUp(ecCompressStarts, this);
    const std::string archive = GetArchiveFile();
    if (Trim(archive).empty()) ArchiveBlank();
    // The archive keeps 100 characters of a name: a longer one could never be found when installing.
    if (SourcePath().size() > std::size_t(TFileHeaderRecord::kMaxSourceName))
      throw IECustomInstallFile("The source path of %s is longer than the %d characters an archive can keep: %s",
                                {Name(), TFileHeaderRecord::kMaxSourceName, SourcePath()});
    if (Included()) {
      CreateDirectoryPath(WithoutTrailingBackslash(ExtractFilePath(archive)));
      engine.SetCompressedFile(archive);
      install_detail::EngineHandlers handlers(engine, this, true);
      engine.FilesToProcess().Clear();
      engine.FilesToProcess().Add(SourcePath());
      engine.Add(AddMode(), uniqueID_);
      compressState_ = 2;
      archiveUsed_ = engine.CompressedFile();
      if (OnAfterCompress) OnAfterCompress(this);
      PassUp(ecCompressEnded, this);
    }
  } catch (const EAbort&) {
  } catch (...) {
    fileOperation_ = opNone;
    throw;
  }
  fileOperation_ = opNone;
  try {
    Broadcast(this, bcOperationEnded, nullptr);
  } catch (...) {
    engine.SetAbort(true);
    throw;
  }
}

// ---- File information

void TCustomInstallFile::ReadInfoFromFile() {
  const std::string source = SourcePath();
  os::File file = os::File::Open(source, os::Access::Read, os::Share::DenyNone, os::Disposition::OpenExisting);
  std::optional<TDateTime> date = file ? file.LastWriteTime() : std::nullopt;
  const std::int64_t size = file ? file.Size() : -1;
  if (!date || size < 0)
    throw IECustomInstallFile(
        "Could not open or find the following file when trying to read the Size, Date, and Version :%s", {source});
  file.Close();
  date_ = *date;
  size_ = int(size);
  TVersionResource& reader = SharedVersionResource();
  reader.SetFileName(source);
  version_ = reader.VersionInfo()->FileVersion().substr(0, kMaxVersion);
}

void TCustomInstallFile::ReadInfoFromArchive() {
  if (CurrentInstall != nullptr && CurrentInstall->Installing() && infoRead_) return;
  const TDistributeType type = CurrentDistributeType();
  if (type == dtTraditional || (type == dtTraditionalNet && !net_)) return ReadInfoFromArchivePath(GetArchiveFile());
  if (NeedsOwnNetArchive() && HasLocalArchive()) return ReadInfoFromArchivePath(localFile_);
  auto* files = dynamic_cast<TFileContainer*>(container_);
  if (files == nullptr)
    throw IECustomInstallFile(
        "%s cannot perform ReadInfoFromArchive because either no container is assigned or the container is not "
        "TFileContainer",
        {Name()});
  // A copy recorded by an earlier run counts as much as one downloaded in this one.
  std::string path = files->LocalFile();
  if (Trim(path).empty()) files->GetStoredLocalFile(path);
  if (!Trim(path).empty()) ReadInfoFromArchivePath(path);
}

void TCustomInstallFile::ReadInfoFromArchivePath(const std::string& path) {
  if (Trim(path).empty()) ArchiveBlank();
  std::unique_ptr<TTvlkCompress> own;
  TTvlkCompress* engine = SharedArchiveEngine;
  if (CurrentInstall == nullptr || !SameText(CurrentInstall->GetArchiveFile(), path)) {
    own = std::make_unique<TTvlkCompress>(nullptr);
    engine = own.get();
  }
  engine->SetCompressedFile(path);
  const int index = engine->IndexOfFileId(uniqueID_);
  if (index < 0) return;
  TlzhFileStats stats;
  engine->GetFileStats(index, stats);
  compressedSize_ = stats.Header.CompressedSize();
  date_ = stats.Header.FileDate();
  size_ = stats.Header.OriginalSize();
  version_ = stats.Header.VersionText().substr(0, kMaxVersion);
  infoRead_ = true;
}

bool TCustomInstallFile::IsOLESelfRegister() { return IsOLESelfRegisterFile(SourcePath()); }

bool IsOLESelfRegisterFile(const std::string& path) {
  auto block = os::FileVersionInfo(path);
  if (!block) return false;
  auto translation = os::QueryVersionValue(*block, "\\VarFileInfo\\Translation");
  if (!translation || translation->size() < 4) return false;
  const auto byte = [&](int i) { return unsigned(static_cast<unsigned char>((*translation)[std::size_t(i)])); };
  const unsigned language = byte(0) | byte(1) << 8;
  const unsigned codePage = byte(2) | byte(3) << 8;
  const std::string name = Format("\\StringFileInfo\\%.4x%.4x\\OLESelfRegister", {language, codePage});
  return os::QueryVersionValue(*block, name).has_value();
}

TFileInfoRecord TFileInfoRecord::Parse(const char* bytes) {
  TFileInfoRecord record;
  std::memcpy(&record.Size, bytes, 4);
  std::memcpy(&record.Date, bytes + 4, 8);
  const auto text = [&](int at, std::size_t most) {
    const char* begin = bytes + at;
    return std::string(begin, std::find(begin, begin + most, '\0'));
  };
  record.Name = text(12, kMaxName);
  record.Version = text(52, kMaxVersion);
  return record;
}

void TCustomInstallFile::ReadInfoRecord(const TFileInfoRecord& record) {
  size_ = record.Size;
  date_ = record.Date;
  version_ = record.Version;
}

void TCustomInstallFile::WriteInfoRecord(TStream& stream) {
  std::array<char, kInfoRecordSize> record{};
  const std::int32_t size = size_;
  const double date = date_;
  std::memcpy(record.data(), &size, 4);
  std::memcpy(record.data() + 4, &date, 8);
  const std::string& name = Name();
  std::memcpy(record.data() + 12, name.data(), std::min(name.size(), TFileInfoRecord::kMaxName));
  std::memcpy(record.data() + 52, version_.data(), std::min<std::size_t>(version_.size(), kMaxVersion));
  stream.WriteBuffer(record.data(), std::int64_t(record.size()));
}

// ---- Engine callbacks

void TCustomInstallFile::EngineStatus(TTvlkCompress* engine, const TlzhFileStats& stats) {
  TFileStatusParameter status;
  status.BytesDone = int(stats.BytesDone);
  status.FilePercentDone = stats.FilePercent;
  status.FileName = fileName_;
  status.Stats = stats;
  status.TotalBytesDone = int(stats.TotalBytesDone);
  status.TotalPercentDone = stats.TotalPercent;
  TList list;
  list.Add(this);
  list.Add(&status);
  if (OnStatus) OnStatus(this, stats.FilePercent, stats.TotalPercent);
  Broadcast(this, bcProgress, &status);
  const int code = fileOperation_ == opCompress ? ecCompressProgress
                   : fileOperation_ == opInstall ? ecInstallProgress
                   : fileOperation_ == opCopy    ? ecCopyProgress
                                                 : 0;
  if (code != 0) PassUp(code, &list);
  // The user's stop takes the engine's own abort path: its next step ends the extraction as aborted.
  if (fileOperation_ == opInstall && CurrentInstall != nullptr && CurrentInstall->UserAbortRequested())
    engine->SetAbort(true);
}

void TCustomInstallFile::EngineNewDisk(TTvlkCompress* engine, int diskNumber, std::string& path) {
  SetTag(0);
  TDiskParameter disk(diskNumber, WithoutTrailingBackslash(ExtractFilePath(GetArchiveFile())));
  TList list;
  list.Add(this);
  list.Add(&disk);
  if (OnNewDisk) {
    std::string chosen = disk.Path;
    OnNewDisk(this, diskNumber, chosen);
    disk.Path = chosen;
  }
  Broadcast(this, bcNewDisk, &list);
  PassUp(ecNewDisk, &list);
  if (!OnNewDisk && Tag() == 0) {
    const std::string prompt = Format(TranslateFormat("Please insert disk #%d"), {diskNumber});
    if (Application->MessageBox(prompt, Application->Title(), MB_OKCANCEL | MB_ICONINFORMATION) == IDCANCEL) {
      // Cancel is the user's abort: stop now instead of asking for the disk again.
      engine->SetAbort(true);
      SetTag(0);
      Aborted();
    }
  }
  path = WithoutTrailingBackslash(disk.Path);
  SetTag(0);
}
