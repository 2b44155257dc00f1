// The run's log: a plain-text file in the ANSI code page, one line per step, each line written to the
// file as it happens (a run that is killed leaves what happened so far) and always appended.
#pragma once

#include <string>

// Starts logging to Path, appending to what it holds. EAPIRoutines "Cannot open the log file %s".
void OpenRunLog(const std::string& path);
// Stops logging; the file stays.
void CloseRunLog();
// The file the run logs to; empty when it logs nothing.
const std::string& RunLogPath();
// Appends one line, stamped with the local date and time; nothing happens without a log. A line that
// cannot be written is lost, never an error of the run.
void LogLine(const std::string& text);
