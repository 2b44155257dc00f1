#include "support/routines_Log.h"

#include "classlib/SysUtils.h"
#include "os/os.h"
#include "support/exceptions_Tavelock.h"

namespace {

struct RunLog {
  std::string path;
  os::File file;
};

RunLog& Log() {
  static RunLog log;
  return log;
}

}  // namespace

void OpenRunLog(const std::string& path) {
  os::File file = os::File::Open(path, os::Access::Write, os::Share::DenyWrite, os::Disposition::OpenAlways);
  if (!file || file.Seek(0, os::Origin::End) < 0) throw EAPIRoutines("Cannot open the log file %s", {path});
  Log().file = std::move(file);
  Log().path = path;
}

void CloseRunLog() {
  Log().file = os::File();
  Log().path.clear();
}

const std::string& RunLogPath() { return Log().path; }

void LogLine(const std::string& text) {
  if (!Log().file) return;
  int year, month, day, hour, minute, second, ms;
  const TDateTime now = os::Now();
  DecodeDate(now, year, month, day);
  DecodeTime(now, hour, minute, second, ms);
  std::string line = Format("%.4d-%.2d-%.2d %.2d:%.2d:%.2d  ", {year, month, day, hour, minute, second}) + text;
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  line += "\r\n";
  Log().file.Write(line.data(), line.size());
}
