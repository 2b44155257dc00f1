#include "install/cmp_TInstallContainer_Files.h"

#include <cmath>

#include "install/cmp_TInstall.h"
#include "install/cmp_TInstallContainer_Events.h"
#include "net/cmp_TNetInstallLocation.h"
#include "os/os.h"
#include "support/routines_API.h"
#include "support/routines_Registry.h"
#include "support/routines_Strings.h"

namespace {

std::string ArchiveDirectory(const std::string& archive) { return WithoutTrailingBackslash(ExtractFilePath(archive)); }

}  // namespace

int PercentOf(double a, double b) {
  const double q = RoundedPercent(a, b);
  return std::fabs(q) > 2e9 ? 0 : int(q);
}

TDistributeType CurrentDistributeType() {
  return CurrentInstall != nullptr ? CurrentInstall->DistributeType() : dtTraditionalNet;
}

bool IsWholeArchiveSpecifier(const TCustomPathSpecifier* specifier) {
  return dynamic_cast<const TpsContainerArchiveFile*>(specifier) != nullptr ||
         dynamic_cast<const TpsMainArchiveFile*>(specifier) != nullptr;
}

// ---- TFileRelated

TFileRelated::TFileRelated(TComponent* owner) : TInstallObject(owner) { installable_ = true; }

void TFileRelated::ApplyDesignDefaults() {
  TInstallObject::ApplyDesignDefaults();
  if (!defaultContainer_) return;
  StoreArchiveFileType(StandardPathSpecifiers().FindByClass<TpsContainerArchiveFile>());
  defaultArchiveFileType_ = true;
  archiveFile_.clear();
}

void TFileRelated::StoreArchiveFileType(TCustomPathSpecifier* value) {
  // A notification left for a replaced specifier is harmless: only matching references are cleared.
  archiveFileType_ = value;
  if (value != nullptr) value->FreeNotification(this);
}

std::string TFileRelated::GetArchiveFile() {
  if (buildTarget_ != nullptr && !buildTarget_->archive.empty())
    return ExpandPathPair(nullptr, buildTarget_->archive, this);
  return ExpandPathPair(archiveFileType_, archiveFile_, this);
}

void TFileRelated::SetArchiveFile(const std::string& value) {
  if (!Loading() && IsWholeArchiveSpecifier(archiveFileType_)) {
    archiveFile_.clear();
    return;
  }
  archiveFile_ = value;
}

void TFileRelated::SetArchiveFileType(TCustomPathSpecifier* value) {
  archiveFileTypeSet_ = true;
  if (!Loading() && value != nullptr) {
    value->ValidateFor(this);
    if (IsWholeArchiveSpecifier(value)) archiveFile_.clear();
  }
  StoreArchiveFileType(value);
}

void TFileRelated::SetNetLocation(TComponent* value) {
  netLocation_ = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TFileRelated::SetContainer(TInstallContainer* value) {
  containerSet_ = true;
  if (value == container_) return;
  TInstallObject::SetContainer(value);
  if (Loading()) return;
  if (dynamic_cast<TFileRelated*>(value) != nullptr) {
    SetArchiveFileType(StandardPathSpecifiers().FindByClass<TpsContainerArchiveFile>());
    SetArchiveFile("");
  } else if (dynamic_cast<TpsContainerArchiveFile*>(archiveFileType_) != nullptr) {
    SetArchiveFileType(nullptr);
  }
}

void TFileRelated::Loaded() {
  if (defaultArchiveFileType_ && !archiveFileTypeSet_) SetArchiveFileType(nullptr);
  defaultArchiveFileType_ = false;
  TInstallObject::Loaded();
  std::string stored;
  if (GetStoredLocalFile(stored)) localFile_ = stored;
}

void TFileRelated::Notification(TComponent* component, TOperation operation) {
  TInstallObject::Notification(component, operation);
  if (operation != TOperation::opRemove || component == nullptr) return;
  if (component == archiveFileType_) archiveFileType_ = nullptr;
  if (component == netLocation_) netLocation_ = nullptr;
}

bool TFileRelated::GetStoredLocalFile(std::string& path) const {
  if (Trim(Name()).empty()) return false;
  std::string stored = ReadRegString(rrLocalMachine, InstallRecordKey + "\\" + Name(), "LocalFile", "");
  if (Trim(stored).empty() || !os::FileExists(stored)) return false;
  path = stored;
  return true;
}

void TFileRelated::StoreLocalFile(const std::string& path) {
  if (Trim(Name()).empty() || Trim(path).empty()) return;
  try {
    WriteRegString(rrLocalMachine, InstallRecordKey + "\\" + Name(), "LocalFile", path);
  } catch (const Exception&) {
  }
}

bool TFileRelated::HasLocalArchive() {
  if (!Trim(localFile_).empty()) return true;
  std::string stored;
  return GetStoredLocalFile(stored);
}

TComponent* TFileRelated::FindNetLocation() const {
  if (netLocation_ != nullptr) return netLocation_;
  if (dynamic_cast<const TCustomInstallFile*>(this) != nullptr && container_ != nullptr) {
    auto* files = dynamic_cast<TFileContainer*>(container_);
    return files != nullptr ? files->FindNetLocation() : nullptr;
  }
  // The install component's location serves every object without one of its own.
  return CurrentInstall != nullptr ? CurrentInstall->NetLocation() : nullptr;
}

std::string TFileRelated::NetArchivePath() const {
  auto* location = dynamic_cast<TCustomNetInstallLocation*>(FindNetLocation());
  if (location == nullptr) throw IEFileRel_NoNetLocation("Could not find a net install location for %s", {Name()});
  const TLoginInformation& login = location->LoginInformation();
  const std::string host = CleanFileName(login.Hostname);
  if (!Trim(login.Directory).empty()) return host + "\\" + CleanFileName(login.Directory);
  return host + "\\" + (login.Protocol == ipFTP ? "FTP Root directory" : "HTTP Root directory");
}

void TFileRelated::DownloadArchive() {
  std::string stored;
  if (GetStoredLocalFile(stored)) {
    localFile_ = stored;
    return;
  }
  auto* location = dynamic_cast<TCustomNetInstallLocation*>(FindNetLocation());
  if (location == nullptr) throw Exception("Could not find a net install location for %s", {Name()});
  if (!location->LoginInformation().IsFilledIn()) {
    if (netLocation_ != nullptr)
      throw IEFileRelated("%s could not install itself because the TNetLocation component's properties, in the "
                          "NetLocation property, have not been filled in",
                          {Name()});
    throw IEFileRelated("%s could not install itself because the LoginInformation property of the TInstall "
                        "component has not been properly filled in",
                        {Name()});
  }
  localFile_ = NewTempFile(".1");
  location->OnRelatedProgress = [this](TObject* sender, const std::string& file, std::int32_t block,
                                       std::int32_t total, std::int32_t size, const void* buffer) {
    DownloadStatus(sender, file, block, total, size, buffer);
  };
  try {
    location->Download(Name() + ".1", localFile_);
  } catch (...) {
    location->OnRelatedProgress = nullptr;
    // A failed download leaves nothing behind and is never recorded, so the next run tries again.
    os::DeleteFile(localFile_);
    localFile_.clear();
    if (NetDownloadAborted) throw EAIUserAbort();
    throw;
  }
  location->OnRelatedProgress = nullptr;
  if (NetDownloadAborted) {
    os::DeleteFile(localFile_);
    localFile_.clear();
    throw EAIUserAbort();
  }
  if (!InState(csDesigning)) StoreLocalFile(localFile_);
}

void TFileRelated::DownloadStatus(TObject* sender, const std::string& fileName, int blockBytes, int bytesSoFar,
                                  int totalBytes, const void* buffer) {
  TDownloadStatusParameter parameter;
  parameter.BlockBytes = blockBytes;
  parameter.FileName = fileName;
  parameter.TotalBytes = totalBytes;
  parameter.BytesSoFar = bytesSoFar;
  parameter.PercentDone = PercentOf(bytesSoFar, totalBytes);
  if (OnDownloadStatus) OnDownloadStatus(sender, fileName, blockBytes, bytesSoFar, totalBytes, buffer);
  Broadcast(this, bcDownloadProgress, &parameter);
  if (container_ != nullptr) container_->DoInformationEventControl(this, ecDownloadProgress, &parameter);
}

// ---- TFileContainer

TFileContainer::TFileContainer(TComponent* owner) : TFileRelated(owner) { ApplyDesignDefaults(); }

TFileContainer::~TFileContainer() { FreeInstallFiles(); }

int TFileContainer::InstallFileCount() const { return CountOf<TCustomInstallFile>(); }

TCustomInstallFile* TFileContainer::GetInstallFile(int index) const { return Comp<TCustomInstallFile>(index); }

void TFileContainer::FreeInstallFiles() { FreeChildrenOf<TCustomInstallFile>(); }

bool TFileContainer::HasNetFiles() const {
  for (int i = 0; i < InstallFileCount(); ++i)
    if (GetInstallFile(i)->Net()) return true;
  return false;
}

bool TFileContainer::NeedsDownload() {
  if (CurrentDistributeType() == dtTraditional) return false;
  for (int i = 0; i < InstallFileCount(); ++i) {
    TCustomInstallFile* file = GetInstallFile(i);
    if (file->Net() && file->Include() && file->NetLocation() == nullptr) return true;
  }
  return false;
}

int TFileContainer::TotalFileSize(bool includeAll, bool deep) {
  int total = 0;
  for (int i = 0; i < InstallFileCount(); ++i) {
    TCustomInstallFile* file = GetInstallFile(i);
    if (includeAll || file->IsIncluded()) total += file->Size();
  }
  if (deep)
    for (int i = 0; i < FileContainerCount(); ++i) {
      TFileContainer* child = GetFileContainer(i);
      if (includeAll || child->IsIncluded()) total += child->TotalSizeDeep(includeAll);
    }
  return total;
}

int TFileContainer::TotalCompressedSize(bool includeAll) {
  int total = 0;
  for (int i = 0; i < InstallFileCount(); ++i) {
    TCustomInstallFile* file = GetInstallFile(i);
    if (includeAll || file->IsIncluded()) total += file->CompressedSize();
  }
  for (int i = 0; i < FileContainerCount(); ++i) total += GetFileContainer(i)->TotalCompressedSize(includeAll);
  return total;
}

TCustomInstallFile* TFileContainer::FindFile(const std::string& sourcePath) const {
  for (int i = 0; i < InstallFileCount(); ++i) {
    TCustomInstallFile* file = GetInstallFile(i);
    if (SameText(file->IncludeFromDir() + "\\" + file->FileName(), sourcePath)) return file;
  }
  return nullptr;
}

std::string TFileContainer::GetLocalArchivePath() {
  std::string path;
  if (!GetStoredLocalFile(path))
    throw IEFileContainer(
        "%s has not yet downloaded the archive file and therefore cannot retrieve the path of the archive file",
        {Name()});
  return path;
}

void TFileContainer::ReadArchiveInfo() {
  const THourGlass busy;
  for (int i = 0; i < InstallFileCount(); ++i) GetInstallFile(i)->ReadInfoFromArchive();
  for (int i = 0; i < FileContainerCount(); ++i) GetFileContainer(i)->ReadArchiveInfo();
  infoRead_ = true;
}

void TFileContainer::ReadFileInfo() {
  const THourGlass busy;
  for (int i = 0; i < InstallFileCount(); ++i) GetInstallFile(i)->ReadInfoFromFile();
  for (int i = 0; i < FileContainerCount(); ++i) GetFileContainer(i)->ReadFileInfo();
}

void TFileContainer::Process(std::uint8_t operation) {
  try {
    switch (operation) {
      case opCompress: Compress(0); break;
      case opInstall: Install(); break;
      case opCopy: CopyFiles(); break;
      default: break;
    }
  } catch (...) {
    operation_ = opNone;
    throw;
  }
  operation_ = opNone;
}

void TFileContainer::EndOperation() {
  operation_ = opNone;
  Broadcast(this, bcOperationEnded, nullptr);
}

template <class Body>
void TFileContainer::RunOperation(std::uint8_t operation, bool includeAll, Body body) {
  try {
    operation_ = operation;
    if (OnBeforeOperation) OnBeforeOperation(this);
    if (Included()) {
      if (container_ != nullptr) container_->DoInformationEventControl(this, ecOperationStarts, this);
      ReadFileInfo();
      totalSize_ = TotalSizeDeep(includeAll);
      doneSize_ = 0;
      body();
      if (OnAfterOperation) OnAfterOperation(this);
      if (container_ != nullptr) container_->DoInformationEventControl(this, ecOperationEnded, this);
    }
  } catch (...) {
    EndOperation();
    throw;
  }
  EndOperation();
}

void TFileContainer::CopyFiles() {
  RunOperation(opCopy, false, [&] {
    for (int i = 0; i < InstallFileCount(); ++i) GetInstallFile(i)->Process(opCopy);
    for (int i = 0; i < FileContainerCount(); ++i) GetFileContainer(i)->CopyFiles();
  });
}

void TFileContainer::Compress(unsigned options) {
  if ((options & coForceNetFilesLocal) && (options & coForceFilesNet))
    throw IEFileContainer("Cannot pass both coForceNetFilesLocal and coForceFilesNet to Compress");
  RunOperation(opCompress, (options & coIncludeAll) != 0, [&] {
    try {
      localFile_ = ArchiveDirectory(GetArchiveFile()) + "\\" + NetArchivePath() + "\\" + Name() + ".1";
    } catch (const IEFileRel_NoNetLocation&) {
      if (!(options & coForceNetFilesLocal)) throw;
    }
    if (AddMode() == lzcOverwrite) {
      std::string old = ChangeFileExt(GetArchiveFile(), ".1");
      if (os::FileExists(old) && !os::DeleteFile(old))
        throw IEFileContainer("%s cannot delete the archive file %s", {Name(), old});
    }
    if ((HasNetFiles() || ((options & coForceFilesNet) && InstallFileCount() > 0)) && os::FileExists(localFile_) &&
        !os::DeleteFile(localFile_))
      throw IEFileContainer("%s cannot delete the archive file %s", {Name(), localFile_});
    for (std::size_t i = 0; i < children_.size(); ++i)
      if (auto* child = dynamic_cast<TFileRelated*>(children_[i])) CompressChild(child, options);
  });
}

void TFileContainer::CompressChild(TFileRelated* child, unsigned options) {
  auto* file = dynamic_cast<TCustomInstallFile*>(child);
  const bool toNet = file != nullptr && !(options & coForceNetFilesLocal) && (file->Net() || (options & coForceFilesNet));
  const std::string archiveDir = ArchiveDirectory(GetArchiveFile());

  TBuildTarget target{"", child->AddToArchive(), (options & coIncludeAll) != 0};
  auto into = [&](TlzhCommand add, const std::string& path) {
    target.add = add;
    target.archive = path;
  };
  if (toNet && child->NetLocation() != nullptr) {
    into(lzcOverwrite, archiveDir + "\\" + child->NetArchivePath() + "\\" + child->Name() + ".1");
    file->SetInNetArchive(true);
  } else if (!toNet) {
    TCustomPathSpecifier* type = child->ArchiveFileType();
    if (dynamic_cast<TpsContainerArchiveFile*>(type) != nullptr) {
      target.add = lzcOnlyAdd;
    } else if (dynamic_cast<TpsInstallSource*>(type) != nullptr) {
      std::string base = CurrentInstall != nullptr ? CurrentInstall->GetArchiveFile() : GetArchiveFile();
      into(lzcOverwrite, ArchiveDirectory(base) + child->ArchiveFile());
    } else if (options & coRelocateArchives) {
      std::string path = child->GetArchiveFile();
      std::size_t colon = path.find(':');
      into(lzcOverwrite, archiveDir + (colon == std::string::npos ? path : path.substr(colon + 1)));
    }
  } else {
    into(lzcOnlyAdd, file->NeedsOwnNetArchive()
                         ? archiveDir + "\\" + child->NetArchivePath() + "\\" + child->Name() + ".1"
                         : localFile_);
    file->SetInNetArchive(true);
  }
  child->BuildWith(target, [&] {
    if (auto* container = dynamic_cast<TFileContainer*>(child)) container->Compress(options);
    else if (file != nullptr) file->Process(opCompress);
  });
}

void TFileContainer::InstallObjects() {
  operation_ = opInstall;
  const THourGlass busy;
  std::string stored;
  if (GetStoredLocalFile(stored)) localFile_ = stored;
  ReadArchiveInfo();
  Broadcast(this, bcArchiveInfoRead, nullptr);
  if (container_ != nullptr) container_->DoInformationEventControl(this, ecOperationStarts, this);
  totalSize_ = TotalSizeDeep(false);
  doneSize_ = 0;
  if (OnBeforeInstallObjects) OnBeforeInstallObjects(this);
  TFileRelated::InstallObjects();
  if (container_ != nullptr) container_->DoInformationEventControl(this, ecOperationEnded, this);
  const bool wasAborted = SharedArchiveEngine->Abort();
  EndOperation();
  if (OnAfterInstallObjects) OnAfterInstallObjects(this, wasAborted);
}

// ---- The upward event path

void TFileContainer::Replacing(TCustomInstallFile* file) {
  if (OnReplacing) OnReplacing(file);
  Broadcast(this, bcReplacing, file);
}

void TFileContainer::Status(TCustomInstallFile* file, TFileStatusParameter& status) {
  if (OnStatus) OnStatus(file, status.FilePercentDone, status.TotalPercentDone);
  Broadcast(this, bcProgress, &status);
}

void TFileContainer::NewDisk(TCustomInstallFile* file, TDiskParameter& disk) {
  if (OnNewDisk) {
    std::string path = disk.Path;
    OnNewDisk(file, disk.DiskNumber, path);
    file->SetTag(1);  // a handler took care of the disk
    disk.Path = path;
  }
}

void TFileContainer::DoInformationEventControl(TObject* sender, int code, TObject* po) {
  if (operation_ == opNone) return;
  const bool needsPO = code == ecFileReplacing || (code >= ecInstallProgress && code <= ecNewDisk) ||
                       (code >= ecDownloadProgress && code <= ecFileNotWritten);
  if (needsPO && po == nullptr) throw IEFileContainer("%s got a nil PO parameter", {Name()});

  auto twoEntries = [&]() -> TList& {
    auto* list = dynamic_cast<TList*>(po);
    if (list == nullptr) throw IEFileContainer("DoInformationEventControl--PO is not a TList object");
    if (list->Count() < 2) throw IEFileContainer("DoInformationEventControl--Not engouh parameters for status event");
    return *list;
  };

  switch (code) {
    case ecFileReplacing: {
      auto* file = dynamic_cast<TCustomInstallFile*>(po);
      if (file == nullptr) throw IEFileContainer("DoInformationEventControl parameter is not TInstallFile");
      Replacing(file);
      break;
    }
    case ecInstallProgress:
    case ecCompressProgress:
    case ecCopyProgress: {
      TList& list = twoEntries();
      auto* file = dynamic_cast<TCustomInstallFile*>(list.Items(0));
      if (file == nullptr) throw IEFileContainer("DoInformationEventControl says bad first parameter");
      auto* status = dynamic_cast<TFileStatusParameter*>(list.Items(1));
      if (status == nullptr) throw IEFileContainer("DoInformationEventControl says bad second parameter");
      status->TotalBytesDone = doneSize_ + status->BytesDone;
      status->TotalPercentDone = PercentOf(status->TotalBytesDone, totalSize_);
      Status(file, *status);
      if (status->Stats.FileDone != 0 && operation_ >= opCompress && operation_ <= opCopy)
        doneSize_ += int(status->Stats.OriginalSize);
      break;
    }
    case ecNewDisk: {
      TList& list = twoEntries();
      auto* file = dynamic_cast<TCustomInstallFile*>(list.Items(0));
      if (file == nullptr) throw IEFileContainer("DoInformationEventControl says bad %d parameter", {1});
      auto* disk = dynamic_cast<TDiskParameter*>(list.Items(1));
      if (disk == nullptr) throw IEFileContainer("DoInformationEventControl says bad %d parameter", {2});
      NewDisk(file, *disk);
      Broadcast(this, bcNewDisk, po);
      break;
    }
    case ecDownloadProgress: {
      auto* download = dynamic_cast<TDownloadStatusParameter*>(po);
      if (download == nullptr)
        throw IEFileContainer("The PO object passed to %s is not a TDownloadStatusParameter object", {Name()});
      if (OnDownloadStatus)
        OnDownloadStatus(this, download->FileName, download->BlockBytes, download->BytesSoFar, download->TotalBytes,
                         nullptr);
      Broadcast(this, bcDownloadProgress, download);
      break;
    }
    case ecInstallCancelled:
    case ecFileNotWritten: {
      auto* file = dynamic_cast<TCustomInstallFile*>(po);
      if (file == nullptr) throw IEFileContainer("DoInformationEventControl says bad first parameter");
      TFileStatusParameter status;
      status.BytesDone = file->Size();
      status.FilePercentDone = 100;
      status.FileName = file->FileName();
      status.TotalBytesDone = doneSize_ + file->Size();
      status.TotalPercentDone = PercentOf(status.TotalBytesDone, totalSize_);
      Status(file, status);
      doneSize_ += file->Size();
      break;
    }
    default:
      break;
  }
  if (container_ != nullptr) container_->DoInformationEventControl(this, code, po);
}
