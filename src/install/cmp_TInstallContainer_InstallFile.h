// The install file: one file to be installed, where it comes from at build time, which archive holds it,
// where it goes and how an existing file there is treated; its settings rules and file information.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "install/cmp_TInstallContainer_Files.h"

// A 72-byte file information record as stored: size, date, the component's name (at most 39
// characters) and its version (at most 20).
struct TFileInfoRecord {
  static constexpr int kSize = 72;
  static constexpr std::size_t kMaxName = 39;
  std::int32_t Size = 0;
  double Date = 0;
  std::string Name;
  std::string Version;
  static TFileInfoRecord Parse(const char* bytes);  // kSize bytes
};

class TCustomInstallFile : public TFileRelated {
 public:
  static constexpr int kClassId = 4;
  // Joins AllInstallFiles and takes the lowest free unique identifier (0 when all 2000 are taken).
  explicit TCustomInstallFile(TComponent* owner);
  ~TCustomInstallFile() override;
  // IncludeFromDir and FileName from Path; then, for the second form, the container.
  static TCustomInstallFile* CreateFromPath(TComponent* owner, const std::string& path);
  static TCustomInstallFile* CreateInContainer(TComponent* owner, TInstallContainer* container, const std::string& path);
  std::string ClassName() const override { return "TCustomInstallFile"; }
  int RegisteredType() const override { return kInstallFileType; }

  // State of the last operation.
  bool DestExisted() const { return destExisted_; }
  bool WasInUse() const { return wasInUse_; }
  bool Replace() const { return replace_; }
  int CompressedSize() const { return compressedSize_; }
  std::uint8_t CompressState() const { return compressState_; }
  void SetCompressState(std::uint8_t state) { compressState_ = state; }
  bool InNetArchive() const { return inNetArchive_; }
  void SetInNetArchive(bool value) { inNetArchive_ = value; }
  const std::string& ArchiveUsed() const { return archiveUsed_; }
  std::uint8_t FileOperation() const { return fileOperation_; }

  // File information: of the source file at build time, of the archive entry when installing.
  TDateTime Date() const { return date_; }
  int Size() const { return size_; }
  const std::string& Version() const { return version_; }

  // Settings. The setters of Container, IncludeFromDir, ActiveX, FileType, DestDirType, DestName, DestDir
  // and FileName apply the settings rules unless the owner is loading.
  bool ActiveX() const { return activeX_; }
  virtual void SetActiveX(bool value);
  const std::string& DestName() const { return destName_; }
  virtual void SetDestName(const std::string& value);
  const std::string& FileName() const { return fileName_; }
  virtual void SetFileName(const std::string& value);
  TInstallFileType FileType() const { return fileType_; }
  virtual void SetFileType(TInstallFileType value);
  const std::string& IncludeFromDir() const { return includeFromDir_; }
  virtual void SetIncludeFromDir(const std::string& value);
  void SetContainer(TInstallContainer* value) override;
  void SetDestDir(const std::string& value) override;
  void SetDestDirType(TCustomPathSpecifier* value) override;
  TOverwriteType OverwriteMode() const { return overwriteMode_; }
  void SetOverwriteMode(TOverwriteType mode) { overwriteMode_ = mode; }
  bool RegisterAsHelp() const { return registerAsHelp_; }
  void SetRegisterAsHelp(bool value) { registerAsHelp_ = value; }
  bool RunAfterInstall() const { return runAfterInstall_; }
  void SetRunAfterInstall(bool value) { runAfterInstall_ = value; }
  bool UpdateDLLCounter() const { return updateDLLCounter_; }
  void SetUpdateDLLCounter(bool value) { updateDLLCounter_ = value; }
  // The stored "UniqueID" value: the key of the file's archive entry. A file that got no free identifier
  // (0 when all 2000 are taken) does not clear the flag of the file that holds it.
  int UniqueID() const { return uniqueID_; }
  void SetUniqueID(int value);

  TInstallFileNotifyEvent OnAfterCompress, OnAfterCopy, OnAfterInstall, OnBeforeCompress, OnBeforeCopy,
      OnBeforeInstall;
  TInstallFileStatusEvent OnStatus;
  TInstallFileNewDiskEvent OnNewDisk;
  TInstallFileNotifyEvent OnReplacing;

  // IncludeFromDir\FileName: also the name of the file's archive entry.
  std::string SourcePath() const;
  // GetDestDir\DestName.
  std::string DestPath();
  // A file with a location of its own, or one that may not be written, has a net archive of its own.
  bool NeedsOwnNetArchive() const;
  std::string GetArchiveFile() override;

  // The archive engine's abort handler: raises EAIUserAbort.
  [[noreturn]] virtual void Aborted();
  // 1 compresses, 2 installs, 3 copies; FileOperation is 0 afterwards.
  virtual void Process(std::uint8_t operation);
  // Adds the source file to the archive the container chose for it.
  virtual void Compress();
  // Copies the source file to its destination, without an archive.
  virtual void Copy();
  // Announces that the new file replaces the old one. The old file stays until the new one is complete
  // and checked (the engine writes it beside the old one); see TakeOverInUse for an old file in use.
  virtual void ReplaceExisting();
  // Registration after writing.
  void RegisterActiveX();
  virtual void RegisterDLL();
  virtual void RegisterEXE();
  void RegisterHelp();
  // Raises the count of users of the file in SharedDLLs; false when an existing count is not a number.
  virtual bool IncrementDLLCount();
  void ContinueAfterReboot() override;
  // Records the file in the product's uninstall lists ("Files", "Files1", ... or "ActiveX").
  void WriteUninstallInfo(const std::string& key) override;
  // Where the file ends up: its destination under its own name, also while it goes in under a
  // temporary one.
  std::string FinalDestName() const { return finalDestName_.empty() ? destName_ : finalDestName_; }
  std::string FinalDestPath();
  // The destination folder: while the file is installed or copied, the one resolved as that began.
  std::string GetDestDir() override;
  void InstallObjects() override;
  virtual void ReadInfoFromArchive();
  virtual void ReadInfoFromFile();
  // Whether the source file's version resource says it registers itself.
  virtual bool IsOLESelfRegister();
  // The 72-byte file information record: size, date, component name and version.
  void WriteInfoRecord(TStream& stream);
  // Takes size, date and version from a record read back (the remote file list).
  void ReadInfoRecord(const struct TFileInfoRecord& record);

  // The archive engine's callbacks, handed to an engine for an operation on this file.
  void EngineStatus(TTvlkCompress* engine, const TlzhFileStats& stats);
  void EngineNewDisk(TTvlkCompress* engine, int diskNumber, std::string& path);
  // The old file is in use: the complete new file, named Complete, moves to the first free temporary
  // name beside it (the old name with the extension ".1", ".2", ...), which becomes DestName, and waits
  // there for the exchange at the restart (WasInUse).
  void TakeOverInUse(const std::string& complete);

  void Loaded() override;

 protected:
  // The eight settings that depend on one another.
  struct Settings {
    TInstallContainer* container;
    std::string includeFromDir;
    bool activeX;
    TInstallFileType fileType;
    TCustomPathSpecifier* destDirType;
    std::string destName, destDir, fileName;
  };
  Settings CurrentSettings() const;
  // The settings rules; each setter calls it with one of the values changed.
  void ApplySettings(Settings next);
  // Resolves the destination folder for the install or copy about to run (the blank-destination error
  // when there is none); the caller forgets it when the run ends.
  void PinDestDir();
  void ReadInfoFromArchivePath(const std::string& path);
  // Passes a code upward when the file has a container.
  void PassUp(int code, TObject* po);
  [[noreturn]] void ArchiveBlank() const;
  void ReleaseUniqueID();
  void Extract(TTvlkCompress& engine);
  void AfterWrite();
  // Arranges the swap of a file that went in beside a destination in use, for the next start of Windows.
  void ScheduleReplacement();
  // What the uninstall needs to reverse this file's install, below the product's key (see
  // routines_Removal.h): the file with what was done to it, and the folders its install made.
  void WriteRemovalRecord(const std::string& key);

  bool destExisted_ = false;
  bool wasInUse_ = false;
  bool replace_ = false;
  bool activeX_ = false;
  int compressedSize_ = 0;
  std::uint8_t compressState_ = 0;
  bool inNetArchive_ = false;
  std::string archiveUsed_;
  TDateTime date_ = 0;
  std::string destName_;
  std::string fileName_;
  TInstallFileType fileType_ = iftNormal;
  std::string includeFromDir_;
  TOverwriteType overwriteMode_ = owAlways;
  bool registerAsHelp_ = false;
  bool runAfterInstall_ = false;
  int size_ = 0;
  std::uint8_t fileOperation_ = opNone;
  int uniqueID_ = 0;
  bool holdsUniqueID_ = false;  // the table's flag for uniqueID_ is this file's to clear
  bool updateDLLCounter_ = false;
  std::string version_;
  std::string finalDestName_;  // the destination's name while the file goes in under a temporary one
  std::optional<std::string> destDirOfRun_;  // set while an install or copy of this file runs, by PinDestDir
  // Of the last install: the file was written (or waits for the restart), its shared count was raised,
  // and the folders that did not exist before it, deepest first.
  bool written_ = false;
  bool counted_ = false;
  std::vector<std::string> foldersMade_;
};

// Whether a file's version resource carries "OLESelfRegister" in its first translation's strings.
bool IsOLESelfRegisterFile(const std::string& path);

class TInstallFile : public TCustomInstallFile {
 public:
  using TCustomInstallFile::TCustomInstallFile;
  std::string ClassName() const override { return "TInstallFile"; }
};
