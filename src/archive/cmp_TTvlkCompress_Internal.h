// Shared by the engine's source files only: messages and small owners of files.
#pragma once

#include <memory>
#include <string>

#include "classlib/Streams.h"

namespace tvk_archive {

inline constexpr const char* kAborted = "Operation aborted by user";
inline constexpr const char* kCannotOpenArchive = "Cannot open the compressed file %s";
inline constexpr const char* kCannotOpenFile = "Cannot open the file %s";
inline constexpr const char* kCannotCreateFile = "Cannot create the file %s";
inline constexpr const char* kCannotReadHeaders =
    "Could not read the file headers for the compressed file. The Archive file could possible be corrupt";
inline constexpr const char* kCompareFailed = "Error comparing file versions in TTvlkCompress";
inline constexpr const char* kSizeMismatch =
    "The decompressed file's size does not match with the actual size of the file.  The file is %s";
inline constexpr const char* kCorruptEntry = "The compressed data of the file %s is corrupt";
// The one engine message the language files carry, so it is raised translated.
inline constexpr const char* kUnusableName =
    "The archive entry <%s> cannot be extracted as <%s>: that name cannot be a file in the target directory";

void ProcessMessages();

// The part of Path after its last "\", "/" or ":".
std::string EntryFileName(const std::string& path);
// EtcUnusableName naming Entry when Name cannot be a plain file in the target directory.
void CheckFileName(const std::string& entry, const std::string& name);

// Opens or creates a file stream; a refusal becomes ETvlkCompress with Message naming the file.
std::unique_ptr<TFileStream> OpenStream(const std::string& name, unsigned mode, const char* message);

// A file written beside its destination under a name of its own (the destination's name followed by
// ".tvkpart"). The destination stays as it was until the complete file takes its place; a file that
// fails or is stopped is closed and removed when this goes out of scope. A temporary file of the same
// name left by a run that was killed is removed first. ETvlkCompress "Cannot create the file %s" (the
// destination) when the temporary file cannot be made.
class PendingFile {
 public:
  explicit PendingFile(std::string destination);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  TFileStream& Stream() { return *stream_; }
  const std::string& Destination() const { return destination_; }
  const std::string& TemporaryName() const { return temporary_; }
  // Closes the file; it stays under its temporary name until Keep or the end of scope.
  void Close() { stream_.reset(); }
  // The temporary file has been moved away or taken over: nothing is removed at the end of scope.
  void Keep() { armed_ = false; }

 private:
  std::string destination_;
  std::string temporary_;
  std::unique_ptr<TFileStream> stream_;
  bool armed_ = true;
};

}  // namespace tvk_archive
