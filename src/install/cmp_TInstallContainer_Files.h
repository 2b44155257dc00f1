// File-related objects (an archive, an add mode, optionally a net install location) and file containers,
// which group install files and drive the bulk operations over their subtree: building the archives,
// copying and installing, with the byte totals for progress and the upward event path.
#pragma once

#include <string>

#include "install/cmp_TInstallContainer.h"
#include "support/routines_Scope.h"

class TFileStatusParameter;
class TDiskParameter;

// What a build makes of one file-related object, chosen by its container for this build alone: the
// archive it goes into and how. The object's own settings stay as they are.
struct TBuildTarget {
  std::string archive;  // empty: the object's own archive
  TlzhCommand add = lzcOverwrite;
  bool includeAll = false;  // built whatever the object's Include says
};

class TFileRelated : public TInstallObject {
 public:
  static constexpr int kClassId = 2;
  explicit TFileRelated(TComponent* owner);
  std::string ClassName() const override { return "TFileRelated"; }
  bool IsFileRelated() const override { return true; }

  const std::string& LocalFile() const { return localFile_; }
  void SetLocalFile(const std::string& path) { localFile_ = path; }
  TlzhCommand AddToArchive() const { return addToArchive_; }
  void SetAddToArchive(TlzhCommand command) { addToArchive_ = command; }
  bool InfoRead() const { return infoRead_; }
  const std::string& ArchiveFile() const { return archiveFile_; }
  TCustomPathSpecifier* ArchiveFileType() const { return archiveFileType_; }
  bool Net() const { return net_; }
  // The net install location component (arrives with the network support); nullptr when none.
  TComponent* NetLocation() const { return netLocation_; }

  TDownloadStatusEvent OnDownloadStatus;

  virtual void DownloadStatus(TObject* sender, const std::string& fileName, int blockBytes, int bytesSoFar,
                              int totalBytes, const void* buffer);
  virtual void DownloadArchive();
  virtual bool HasLocalArchive();
  virtual void StoreLocalFile(const std::string& path);
  // While the archive type is the container's or the main archive, the file name stays empty.
  virtual void SetArchiveFile(const std::string& value);
  virtual void SetArchiveFileType(TCustomPathSpecifier* value);
  virtual void SetNet(bool value) { net_ = value; }
  virtual void SetNetLocation(TComponent* value);
  // The archive type's expansion followed by ArchiveFile, one trailing backslash removed; while the object
  // is being built, the archive its build target names.
  std::string GetArchiveFile() override;

  // The local copy of the archive recorded under the install record; false when there is none.
  bool GetStoredLocalFile(std::string& path) const;
  // The net install location for this object: its own, its file container's, or the default one.
  virtual TComponent* FindNetLocation() const;
  // The folder below the build directory that mirrors the server.
  // IEFileRel_NoNetLocation "Could not find a net install location for %s".
  std::string NetArchivePath() const;

  void SetContainer(TInstallContainer* value) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void ApplyDesignDefaults() override;
  void StoreArchiveFileType(TCustomPathSpecifier* value);
  // The add mode and the inclusion in force: the build target's while a build runs.
  TlzhCommand AddMode() const { return buildTarget_ != nullptr ? buildTarget_->add : addToArchive_; }
  bool Included() const { return include_ || (buildTarget_ != nullptr && buildTarget_->includeAll); }
  // Runs Body with Target in force for this object; the target is let go on every path.
  template <class Body>
  void BuildWith(const TBuildTarget& target, Body body);

  bool archiveFileTypeSet_ = false;
  bool defaultArchiveFileType_ = false;
  std::string localFile_;
  TlzhCommand addToArchive_ = lzcOverwrite;
  bool infoRead_ = false;
  std::string archiveFile_;
  TCustomPathSpecifier* archiveFileType_ = nullptr;
  bool net_ = true;
  TComponent* netLocation_ = nullptr;
  const TBuildTarget* buildTarget_ = nullptr;  // set only while the object is being built

  // A container builds its children under targets of its choosing.
  friend class TFileContainer;
};

template <class Body>
void TFileRelated::BuildWith(const TBuildTarget& target, Body body) {
  buildTarget_ = &target;
  const ScopeExit release([this] { buildTarget_ = nullptr; });
  body();
}

// The specifiers that stand for a whole archive path, with no file name after them.
bool IsWholeArchiveSpecifier(const TCustomPathSpecifier* specifier);

class TFileContainer : public TFileRelated {
 public:
  static constexpr int kClassId = 3;
  explicit TFileContainer(TComponent* owner);
  ~TFileContainer() override;
  std::string ClassName() const override { return "TFileContainer"; }
  bool IsFileContainer() const override { return true; }
  int RegisteredType() const override { return kFileContainerType; }

  int TotalSize() const { return totalSize_; }
  int DoneSize() const { return doneSize_; }
  bool AllowChangeDir() const { return allowChangeDir_; }
  void SetAllowChangeDir(bool value) { allowChangeDir_ = value; }
  TStringList& Description() { return description_; }
  void SetDescription(const TStrings& lines) { description_.Assign(&lines); }
  std::string GroupName() const override { return groupName_; }
  void SetGroupName(const std::string& name) { groupName_ = name; }
  std::uint8_t Operation() const { return operation_; }

  TInstallFileStatusEvent OnStatus;
  TInstallFileNewDiskEvent OnNewDisk;
  TInstallFileNotifyEvent OnReplacing;
  TAfterInstallObjectsEvent OnAfterInstallObjects;
  TInstallContainerNotifyEvent OnBeforeInstallObjects;

  int InstallFileCount() const;
  TCustomInstallFile* GetInstallFile(int index) const;

  // The three handlers of the upward path.
  virtual void NewDisk(TCustomInstallFile* file, TDiskParameter& disk);
  virtual void Replacing(TCustomInstallFile* file);
  virtual void Status(TCustomInstallFile* file, TFileStatusParameter& status);

  // The sizes of the install files counted (all, or the included ones), with the child containers' when Deep.
  virtual int TotalFileSize(bool includeAll, bool deep);
  // 1 compresses, 2 installs, 3 copies; Operation is 0 afterwards.
  virtual void Process(std::uint8_t operation);
  virtual void CopyFiles();
  virtual void FreeInstallFiles();
  // Builds the archives of the subtree (coRelocateArchives, coForceNetFilesLocal, coForceFilesNet, coIncludeAll).
  virtual void Compress(unsigned options);
  // The install file whose IncludeFromDir\FileName is SourcePath, compared without case; nullptr if none.
  virtual TCustomInstallFile* FindFile(const std::string& sourcePath) const;
  virtual int TotalCompressedSize(bool includeAll);
  // IEFileContainer "%s has not yet downloaded the archive file and therefore cannot retrieve the path of
  // the archive file".
  virtual std::string GetLocalArchivePath();
  virtual int TotalSizeFlat(bool includeAll) { return TotalFileSize(includeAll, false); }
  virtual int TotalSizeDeep(bool includeAll) { return TotalFileSize(includeAll, true); }
  // Size, date and version of every install file below: from the archives, or from the source files.
  virtual void ReadArchiveInfo();
  virtual void ReadFileInfo();
  virtual bool NeedsDownload();
  bool HasNetFiles() const;

  void InstallObjects() override;
  void DoInformationEventControl(TObject* sender, int code, TObject* po) override;

 protected:
  int totalSize_ = 0;
  int doneSize_ = 0;
  bool allowChangeDir_ = true;
  TStringList description_;
  std::string groupName_;
  std::uint8_t operation_ = opNone;

 private:
  void CompressChild(TFileRelated* child, unsigned options);
  // Runs a bulk operation over the subtree with its events, upward codes and totals; Body does the work.
  template <class Body>
  void RunOperation(std::uint8_t operation, bool includeAll, Body body);
  // Ends an operation: Operation 0 and broadcast bcOperationEnded.
  void EndOperation();
};

// The distribution type of the run: that of the install component, dtTraditionalNet without one.
TDistributeType CurrentDistributeType();
