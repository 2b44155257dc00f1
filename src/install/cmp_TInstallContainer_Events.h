// The parameter objects of the upward event path and of the broadcasts. The raiser makes and frees them;
// receivers read them, and may change them, during the call.
#pragma once

#include <string>

#include "archive/cmp_TTvlkCompress.h"
#include "classlib/Classes.h"

// Upward codes, passed from an install file through its containers.
enum : int {
  ecFileInstalled = 1001,
  ecFileInstallStarts = 1002,
  ecFileReplacing = 1003,
  ecCompressStarts = 1004,
  ecCompressEnded = 1005,
  ecCopyStarts = 1006,
  ecCopyEnded = 1007,
  ecInstallProgress = 1008,
  ecCompressProgress = 1009,
  ecCopyProgress = 1010,
  ecNewDisk = 1011,
  ecOperationStarts = 1012,
  ecOperationEnded = 1013,
  ecDownloadProgress = 1014,
  ecInstallCancelled = 1015,
  ecFileNotWritten = 1016,
};

// The directory where the archive's next disk file is expected; handlers may change it.
class TDiskParameter : public TObject {
 public:
  TDiskParameter(int diskNumber, std::string path) : DiskNumber(diskNumber), Path(std::move(path)) {}
  std::string ClassName() const override { return "TDiskParameter"; }
  int DiskNumber;
  std::string Path;
};

class TMessageParameter : public TObject {
 public:
  explicit TMessageParameter(std::string text) : Text(std::move(text)) {}
  std::string ClassName() const override { return "TMessageParameter"; }
  std::string Text;
};

class TFileStatusParameter : public TObject {
 public:
  std::string ClassName() const override { return "TFileStatusParameter"; }
  int BytesDone = 0;        // of the current file
  int FilePercentDone = 0;  // 0..100
  std::string FileName;
  TlzhFileStats Stats;
  int TotalBytesDone = 0;
  int TotalPercentDone = 0;
};

class TDownloadStatusParameter : public TObject {
 public:
  std::string ClassName() const override { return "TDownloadStatusParameter"; }
  int BlockBytes = 0;
  std::string FileName;
  int TotalBytes = 0;
  int BytesSoFar = 0;
  int PercentDone = 0;
};

// A / B × 100 rounded to the nearest integer (halves to even); 0 when that cannot be computed.
int PercentOf(double a, double b);
