// tvkarc: the kit's archive format from the command line. Exit status 0 on success, 1 when the archive, a
// file or the standard output fails (the message on one line of standard error, after "tvkarc: "), 2 for a
// usage error. It never destroys what it was given: an add that fails leaves the archive as it was.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "archive/types_Distribution.h"
#include "archive/cmp_TTvlkCompress.h"
#include "classlib/Streams.h"
#include "classlib/SysUtils.h"
#include "os/os.h"
#include "support/exceptions_Tavelock.h"
#include "support/routines_API.h"
#include "support/routines_Scope.h"
#include "support/routines_Strings.h"

namespace {

const char* const kUsage =
    "usage:\n"
    "  tvkarc -h | --help\n"
    "  tvkarc list     [--offset N] ARCHIVE\n"
    "  tvkarc add      [--level none|fastest|default|max] [--append] [--id N] ARCHIVE FILE...\n"
    "  tvkarc extract  [--offset N] [--overwrite always|never|version|date|versiondate] ARCHIVE DIR [NAME...]\n"
    "  tvkarc verify   [--offset N] ARCHIVE\n"
    "  tvkarc transfer [--offset N] [--disk-size BYTES] ARCHIVE DIR\n";

struct UsageError {
  std::string message;
};

struct Options {
  std::string command;
  std::map<std::string, std::string> values;  // "--offset" -> "40000"; flags map to ""
  std::vector<std::string> operands;
};

// Options each command takes, and whether they carry a value.
const std::map<std::string, std::map<std::string, bool>> kCommands = {
    {"list", {{"--offset", true}}},
    {"add", {{"--level", true}, {"--append", false}, {"--id", true}}},
    {"extract", {{"--offset", true}, {"--overwrite", true}}},
    {"verify", {{"--offset", true}}},
    {"transfer", {{"--offset", true}, {"--disk-size", true}}},
};

Options Parse(int argc, char** argv) {
  if (argc < 2) throw UsageError{"no command"};
  Options options;
  options.command = argv[1];
  if (options.command == "-h" || options.command == "--help") return options;
  auto known = kCommands.find(options.command);
  if (known == kCommands.end()) throw UsageError{"unknown command " + options.command};
  bool operandsOnly = false;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (!operandsOnly && (arg == "-h" || arg == "--help")) {
      options.command = arg;
      return options;
    }
    if (!operandsOnly && arg == "--") {
      operandsOnly = true;
    } else if (!operandsOnly && arg.starts_with("--")) {
      auto option = known->second.find(arg);
      if (option == known->second.end()) throw UsageError{"unknown option " + arg};
      if (option->second && i + 1 >= argc) throw UsageError{arg + " needs a value"};
      options.values[arg] = option->second ? argv[++i] : "";
    } else {
      options.operands.push_back(arg);
    }
  }
  return options;
}

std::int64_t Number(const Options& options, const std::string& name, std::int64_t fallback, std::int64_t low,
                    std::int64_t high) {
  auto it = options.values.find(name);
  if (it == options.values.end()) return fallback;
  std::int64_t value;
  if (!TryStrToInt(it->second, value) || value < low || value > high)
    throw UsageError{name + " takes a number from " + std::to_string(low) + " to " + std::to_string(high)};
  return value;
}

template <class T>
T Choice(const Options& options, const std::string& name, T fallback, const std::map<std::string, T>& choices) {
  auto it = options.values.find(name);
  if (it == options.values.end()) return fallback;
  auto choice = choices.find(it->second);
  if (choice == choices.end()) throw UsageError{"bad value for " + name + ": " + it->second};
  return choice->second;
}

// The engine wants the archive and folders with their directory part.
std::string FullArg(const std::string& arg) {
  std::string path = os::PathFromHost(arg);
  return os::FullPathName(path).value_or(path);
}

// Relative paths on the command line are relative to the caller's working directory.
void EnterHostDirectory() {
  if (!os::EnterHostDirectory())
    throw Exception(Format("Cannot use the working directory (system error %u)", {os::LastError()}));
}

std::string DateText(TDateTime date) {
  // Whole seconds, rounded, so that a stamp stored as 12:00:00 never prints as 11:59:59.
  const double seconds = std::round(date * 86400.0);
  const TDateTime rounded = seconds / 86400.0;
  int year, month, day, hour, minute, second, ms;
  DecodeDate(rounded, year, month, day);
  DecodeTime(rounded, hour, minute, second, ms);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
  return text;
}

void Need(const Options& options, std::size_t least, std::size_t most) {
  if (options.operands.size() < least || options.operands.size() > most) throw UsageError{"wrong number of arguments"};
}

// An engine whose disk files hold at most Limit bytes each, and whose new disks are the same folder.
class TLimitedDiskEngine : public TTvlkCompress {
 public:
  explicit TLimitedDiskEngine(std::int64_t limit) : TTvlkCompress(nullptr), limit_(limit) {
    if (limit_ > 0) OnNewDisk = [](TTvlkCompress*, int, std::string&) {};
  }

 protected:
  std::unique_ptr<TStream> OpenArchiveFile(const std::string& name, unsigned mode) override {
    auto file = TTvlkCompress::OpenArchiveFile(name, mode);
    if (limit_ <= 0) return file;
    return std::make_unique<CappedStream>(std::move(file), limit_);
  }

 private:
  // Stops writing at the limit, as a full disk does.
  class CappedStream : public TStream {
   public:
    CappedStream(std::unique_ptr<TStream> inner, std::int64_t limit) : inner_(std::move(inner)), limit_(limit) {}
    std::int64_t Read(void* buffer, std::int64_t count) override { return inner_->Read(buffer, count); }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
      return inner_->Write(buffer, std::max<std::int64_t>(0, std::min(count, limit_ - inner_->Position())));
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return inner_->Seek(offset, origin); }
    void SetSize(std::int64_t size) override { inner_->SetSize(size); }

   private:
    std::unique_ptr<TStream> inner_;
    std::int64_t limit_;
  };

  std::int64_t limit_;
};

void Open(TTvlkCompress& engine, const Options& options) {
  engine.SetCompressedFile(FullArg(options.operands.at(0)));
  engine.SetOffset(std::int32_t(Number(options, "--offset", 0, 0, 0x7fffffff)));
  engine.LoadHeaders();
}

// Standard output that could not take everything is a failure, not a shorter listing.
void FlushOutput() {
  std::cout.flush();
  if (!std::cout) throw ETvlkCompress("Cannot write to the standard output");
}

void List(const Options& options) {
  Need(options, 1, 1);
  TTvlkCompress engine(nullptr);
  Open(engine, options);
  for (int i = 0; i < engine.FileCount(); ++i) {
    const TFileHeaderRecord& h = engine.Headers().Items(i).Record;
    std::cout << i << '\t' << h.FileId() << '\t' << h.OriginalSize() << '\t' << h.CompressedSize() << '\t'
              << int(h.FirstDisk()) << '\t' << int(h.LastDisk()) << '\t' << DateText(h.FileDate()) << '\t'
              << h.VersionText() << '\t' << h.SourceName() << '\n';
  }
}

// A new file beside Target that becomes Target only through Replace; until then it is removed on every path.
class TReplacement {
 public:
  explicit TReplacement(const std::string& target) : target_(target) {
    const std::string dir = ExtractFilePath(target);
    CreateDirectoryPath(WithoutTrailingBackslash(dir));
    auto name = os::TempFileName(dir, "tvk", 0);
    if (!name) throw ETvlkCompress("Cannot create the file %s", {dir + "tvk*.tmp"});
    name_ = *name;
  }
  ~TReplacement() {
    if (!name_.empty()) os::DeleteFile(name_);
  }
  TReplacement(const TReplacement&) = delete;
  TReplacement& operator=(const TReplacement&) = delete;
  const std::string& Name() const { return name_; }

  // One move that replaces the old archive: until it happens the old archive is whole under its name.
  void Replace() {
    if (!os::MoveFileReplacing(name_, target_)) throw ETvlkCompress("Cannot replace the file %s", {target_});
    name_.clear();
  }

 private:
  std::string target_;
  std::string name_;
};

void Add(const Options& options) {
  Need(options, 2, std::size_t(-1));
  TTvlkCompress engine(nullptr);
  engine.SetCompressionLevel(Choice<TCompressionLevel>(
      options, "--level", colMax, {{"none", colNone}, {"fastest", colFastest}, {"default", colDefault}, {"max", colMax}}));
  const auto fileId = std::int32_t(Number(options, "--id", 0, -0x7fffffffLL - 1, 0x7fffffff));
  const std::string archive = FullArg(options.operands[0]);
  TStringList files;
  for (std::size_t i = 1; i < options.operands.size(); ++i) {
    const std::string file = os::PathFromHost(options.operands[i]);
    if (!os::FileExists(file)) throw ETvlkCompress("Cannot open the file %s", {file});
    files.Add(file);
  }
  // The engine writes a copy; the archive itself changes only when the copy is whole.
  TReplacement replacement(archive);
  const bool append = options.values.contains("--append") && os::FileExists(archive);
  if (append && !os::CopyFile(archive, replacement.Name(), false))
    throw ETvlkCompress("Cannot copy the file %s", {archive});
  engine.SetCompressedFile(replacement.Name());
  engine.SetFilesToProcess(files);
  engine.Add(append ? lzcOnlyAdd : lzcOverwrite, fileId);
  if (engine.Abort()) throw ETvlkCompress("The add was stopped");
  replacement.Replace();
}

void Extract(const Options& options) {
  Need(options, 2, std::size_t(-1));
  TTvlkCompress engine(nullptr);
  engine.SetOverwrite(Choice<TOverwriteType>(options, "--overwrite", owAlways,
                                             {{"always", owAlways},
                                              {"never", owNever},
                                              {"version", owVersion},
                                              {"date", owDate},
                                              {"versiondate", owVersionDate}}));
  Open(engine, options);
  engine.SetExtractDirectory(WithoutTrailingBackslash(FullArg(options.operands[1])));
  if (options.operands.size() > 2) {
    TStringList names;
    for (std::size_t i = 2; i < options.operands.size(); ++i) names.Add(os::PathFromHost(options.operands[i]));
    engine.SetFilesToProcess(names);
    engine.Extract();
    if (engine.Abort()) throw ETvlkCompress("The extraction was stopped");
    return;
  }
  // Every entry in table order, a later one of the same name replacing an earlier one under the rule.
  for (int i = 0; i < engine.FileCount(); ++i) {
    engine.ExtractIndex(i);
    if (engine.Abort()) throw ETvlkCompress("The extraction was stopped");
  }
}

void EmptyFolder(const std::string& dir) {
  for (const auto& f : os::FindFiles(dir + "\\*")) os::DeleteFile(dir + "\\" + f.name);
}

void Verify(const Options& options) {
  Need(options, 1, 1);
  TTvlkCompress engine(nullptr);
  Open(engine, options);
  // Every entry, each one by its place in the table, is extracted as an extraction would: under its own
  // name, into a scratch folder, checked by the engine and removed again.
  const std::string scratch = WithoutTrailingBackslash(TempFileName(false));
  const ScopeExit cleanup([&] {
    EmptyFolder(scratch);
    os::RemoveDirectory(scratch);
  });
  engine.SetExtractDirectory(scratch);
  for (int i = 0; i < engine.FileCount(); ++i) {
    engine.ExtractIndex(i);
    if (engine.Abort()) throw ETvlkCompress("The verification was stopped");
    EmptyFolder(scratch);
  }
}

void Transfer(const Options& options) {
  Need(options, 2, 2);
  TLimitedDiskEngine engine(Number(options, "--disk-size", 0, 1024, 0x7fffffff));
  Open(engine, options);
  engine.TransferToDisks(WithoutTrailingBackslash(FullArg(options.operands[1])), TVK_FILES_ARCHIVE);
  if (engine.Abort()) throw ETvlkCompress("The transfer was stopped");
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Options options = Parse(argc, argv);
    const bool help = options.command == "-h" || options.command == "--help";
    if (!help) EnterHostDirectory();
    if (help) std::cout << kUsage;
    else if (options.command == "list") List(options);
    else if (options.command == "add") Add(options);
    else if (options.command == "extract") Extract(options);
    else if (options.command == "verify") Verify(options);
    else Transfer(options);
    FlushOutput();
    return 0;
  } catch (const UsageError& e) {
    std::cerr << "tvkarc: " << e.message << "\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "tvkarc: " << OneLine(e.what()) << "\n";
    return 1;
  }
}
