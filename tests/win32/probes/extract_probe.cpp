// Extracts one entry of an archive into a folder with the kit's engine: extract_probe ARCHIVE DIR ENTRY
// [slow]. Slow, it pauses at every progress step, so that a test can end it in the middle of the
// extraction. Exits with 0 once the file is in place, 1 on a failure.
#include <chrono>
#include <string>
#include <thread>

#include "archive/cmp_TTvlkCompress.h"
#include "support/exceptions_Tavelock.h"

int main(int argc, char** argv) {
  if (argc < 4) return 1;
  const bool slow = argc > 4 && std::string(argv[4]) == "slow";
  try {
    TTvlkCompress engine(nullptr);
    engine.SetCompressedFile(argv[1]);
    engine.SetExtractDirectory(argv[2]);
    engine.FilesToProcess().Add(argv[3]);
    engine.OnStatus = [slow](TTvlkCompress*, const TlzhFileStats&) {
      if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    engine.Extract();
    return engine.Abort() ? 1 : 0;
  } catch (const Exception&) {
    return 1;
  }
}
