// Shared by the install file's source files; nothing else includes it.
#pragma once

#include "install/cmp_TInstallContainer_InstallFile.h"

namespace install_detail {

// Hands an engine the file's handlers for one operation and takes them back on every path: the engine
// is shared and must not call into a file that no longer runs an operation.
class EngineHandlers {
 public:
  // Installing, an abort is reported to the file and a destination in use is left to it.
  EngineHandlers(TTvlkCompress& engine, TCustomInstallFile* file, bool installing) : engine_(engine) {
    engine.OnStatus = [file](TTvlkCompress* e, const TlzhFileStats& stats) { file->EngineStatus(e, stats); };
    engine.OnNewDisk = [file](TTvlkCompress* e, int disk, std::string& path) { file->EngineNewDisk(e, disk, path); };
    if (installing) {
      engine.OnAborted = [file](TObject*) { file->Aborted(); };
      engine.OnDestinationInUse = [file](TTvlkCompress*, const std::string& complete, const std::string&) {
        file->TakeOverInUse(complete);
      };
    }
  }
  ~EngineHandlers() {
    engine_.OnStatus = nullptr;
    engine_.OnNewDisk = nullptr;
    engine_.OnAborted = nullptr;
    engine_.OnDestinationInUse = nullptr;
  }
  EngineHandlers(const EngineHandlers&) = delete;
  EngineHandlers& operator=(const EngineHandlers&) = delete;

 private:
  TTvlkCompress& engine_;
};

}  // namespace install_detail
