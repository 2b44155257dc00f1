// tvkarc, run as the program it is: its commands and exit codes, and that it never destroys what it was
// given. Native only, where the tool is a Linux program the shell can start.
#ifdef TVKARC_PATH
#include <gtest/gtest.h>

#include "archive_test_data.h"

namespace {

using tvktest::ReadFile;
using tvktest::WriteFile;

struct Result {
  int status;
  std::string output;  // standard error, and standard output unless Redirect sends it elsewhere
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

Result Tvkarc(const std::string& arguments, const std::string& redirect = "2>&1", const std::string& workingDir = "") {
  const std::string cd = workingDir.empty() ? "" : "cd " + Quoted(workingDir) + " && ";
  const std::string text =
      tvktest::CommandOutput(cd + std::string(TVKARC_PATH) + " " + arguments + " " + redirect + "; echo \"<$?>\"");
  const std::size_t mark = text.rfind('<');
  return {std::stoi(text.substr(mark + 1)), text.substr(0, mark)};
}

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

TEST(Tvkarc, UsageAndExitCodes) {
  tvktest::ScratchDir dir;
  const struct {
    std::string arguments;
    int status;
    std::string start;
  } rows[] = {
      {"-h", 0, "usage:\n"},
      {"--help", 0, "usage:\n"},
      {"extract --help", 0, "usage:\n"},
      {"", 2, "tvkarc: no command\nusage:\n"},
      {"pack x", 2, "tvkarc: unknown command pack\n"},
      {"list --level max x", 2, "tvkarc: unknown option --level\n"},
      {"list", 2, "tvkarc: wrong number of arguments\n"},
      {"add --level huge a b", 2, "tvkarc: bad value for --level: huge\n"},
      {"list " + Quoted(dir / "none.tvk"), 1, "tvkarc: Cannot open the compressed file " + dir / "none.tvk" + "\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Result result = Tvkarc(row.arguments);
    EXPECT_EQ(result.status, row.status);
    EXPECT_TRUE(StartsWith(result.output, row.start)) << result.output;
  }
}

TEST(Tvkarc, EveryCommand) {
  tvktest::ScratchDir dir;
  const std::string archive = dir / "a.tvk";
  const std::vector<std::string> names = {"a.txt", "b.dat", "c.txt"};
  WriteFile(dir / names[0], "alpha");
  WriteFile(dir / names[1], archivetest::RandomBytes(5000));
  WriteFile(dir / names[2], "");

  Result result = Tvkarc("add --id 7 " + Quoted(archive) + " " + Quoted(dir / "a.txt") + " " + Quoted(dir / "b.dat"));
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(result.output, "");
  result = Tvkarc("add --append --level none " + Quoted(archive) + " " + Quoted(dir / "c.txt"));
  EXPECT_EQ(result.status, 0) << result.output;

  result = Tvkarc("list " + Quoted(archive));
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("0\t7\t5\t"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("2\t0\t0\t"), std::string::npos) << result.output;
  EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 3) << result.output;

  result = Tvkarc("verify " + Quoted(archive));
  EXPECT_EQ(result.status, 0) << result.output;

  result = Tvkarc("extract " + Quoted(archive) + " " + Quoted(dir / "out"));
  EXPECT_EQ(result.status, 0) << result.output;
  for (const std::string& name : names) EXPECT_TRUE(ReadFile(dir / ("out\\" + name)) == ReadFile(dir / name)) << name;
  result = Tvkarc("extract --overwrite never " + Quoted(archive) + " " + Quoted(dir / "one") + " " +
                  Quoted(dir / "b.dat"));
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(archivetest::Tree(dir / "one"), std::set<std::string>{"b.dat"});

  result = Tvkarc("transfer --disk-size 4096 " + Quoted(archive) + " " + Quoted(dir / "set"));
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(archivetest::Tree(dir / "set"), (std::set<std::string>{"files.1", "files.2"}));
  result = Tvkarc("extract " + Quoted(dir / "set\\files.1") + " " + Quoted(dir / "fromset"));
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(ReadFile(dir / "fromset\\b.dat") == ReadFile(dir / "b.dat"));
}

// An add that fails at any point leaves the archive byte for byte as it was, and no scratch file beside it.
TEST(Tvkarc, FailedAddLeavesTheArchiveAsItWas) {
  tvktest::ScratchDir dir;
  const std::string archive = dir / "keep.tvk";
  WriteFile(dir / "a.txt", "alpha");
  WriteFile(dir / "b.txt", "bravo");
  WriteFile(dir / "bad.", "refused at the add: extraction could not write it");
  ASSERT_EQ(Tvkarc("add " + Quoted(archive) + " " + Quoted(dir / "a.txt") + " " + Quoted(dir / "b.txt")).status, 0);
  const std::string before = ReadFile(archive);
  const std::set<std::string> files = archivetest::Tree(dir.Path());

  const struct {
    std::string arguments;
    std::string message;
  } rows[] = {
      {"add " + Quoted(archive) + " " + Quoted(dir / "missing.txt"), "Cannot open the file " + dir / "missing.txt"},
      {"add --append " + Quoted(archive) + " " + Quoted(dir / "a.txt") + " " + Quoted(dir / "missing.txt"),
       "Cannot open the file " + dir / "missing.txt"},
      {"add " + Quoted(archive) + " " + Quoted(dir / "a.txt") + " " + Quoted(dir / "bad."),
       "The archive entry <" + dir / "bad." + "> cannot be extracted as <bad.>"},
      {"add --append " + Quoted(archive) + " " + Quoted(dir / "bad."),
       "The archive entry <" + dir / "bad." + "> cannot be extracted as <bad.>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Result result = Tvkarc(row.arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(StartsWith(result.output, "tvkarc: " + row.message)) << result.output;
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_EQ(archivetest::Tree(dir.Path()), files);
  }
}

// Two entries of one name: verify and extract reach the second one too.
TEST(Tvkarc, DamagedSecondEntryOfTheSameNameFails) {
  tvktest::ScratchDir dir;
  const std::string archive = dir / "twice.tvk";
  WriteFile(dir / "a.txt", archivetest::SampleBytes(3000));
  ASSERT_EQ(Tvkarc("add " + Quoted(archive) + " " + Quoted(dir / "a.txt") + " " + Quoted(dir / "a.txt")).status, 0);
  ASSERT_EQ(Tvkarc("verify " + Quoted(archive)).status, 0);

  std::string bytes = ReadFile(archive);
  const std::size_t second = std::size_t(archivetest::GetInt32(bytes, 5 + 124));
  const std::size_t data = std::size_t(archivetest::GetInt32(bytes, second + 132));
  for (std::size_t i = data + 20; i < data + 60; ++i) bytes[i] = char(bytes[i] ^ 0x5a);
  WriteFile(archive, bytes);

  const std::string corrupt = "tvkarc: The compressed data of the file " + dir / "a.txt" + " is corrupt\n";
  for (const std::string command : {"verify ", "extract "}) {
    SCOPED_TRACE(command);
    const Result result = Tvkarc(command + Quoted(archive) + (command == "extract " ? " " + Quoted(dir / "out") : ""));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, corrupt);
  }
}

TEST(Tvkarc, OutputThatCannotBeWrittenFails) {
  tvktest::ScratchDir dir;
  WriteFile(dir / "a.txt", "alpha");
  ASSERT_EQ(Tvkarc("add " + Quoted(dir / "a.tvk") + " " + Quoted(dir / "a.txt")).status, 0);
  for (const std::string& arguments : {"list " + Quoted(dir / "a.tvk"), std::string("--help")}) {
    SCOPED_TRACE(arguments);
    const Result result = Tvkarc(arguments, "2>&1 >/dev/full");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "tvkarc: Cannot write to the standard output\n");
  }
}

// Relative paths are the caller's: the tool works in the host directory it was started in, and refuses to
// work at all from one whose path Windows cannot name rather than guess another.
TEST(Tvkarc, RelativePathsStartInTheCallersDirectory) {
  struct HostDir {
    std::string path = tvktest::CommandOutput("mktemp -d | tr -d '\\n'");
    ~HostDir() { tvktest::CommandOutput("rm -rf " + Quoted(path)); }
  } host;
  ASSERT_FALSE(host.path.empty());
  const std::string hostDir = "Z:" + host.path;  // the host's folder as the kit names it
  WriteFile(hostDir + "\\a.txt", "alpha");
  tvktest::CommandOutput("mkdir " + Quoted(host.path + "/sub") + " " + Quoted(host.path + "/bad:name"));

  Result result = Tvkarc("add rel.tvk a.txt", "2>&1", host.path);
  EXPECT_EQ(result.status, 0) << result.output;
  result = Tvkarc("extract ../rel.tvk out", "2>&1", host.path + "/sub");
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(ReadFile(hostDir + "\\sub\\out\\a.txt"), "alpha");

  result = Tvkarc("list ../rel.tvk", "2>&1", host.path + "/bad:name");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "tvkarc: Cannot use the working directory (system error 123)\n");
  EXPECT_EQ(Tvkarc("--help", "2>&1", host.path + "/bad:name").status, 0);
}

// The entry found writing outside its folder, and one the check refuses, through the command line.
TEST(Tvkarc, ExtractionStaysInItsFolder) {
  for (const auto& [stored, written] : {std::pair<std::string, std::string>{"C:\\src\\../../escaped2.txt", "escaped2.txt"},
                                        {"C:\\src\\..", ""}}) {
    SCOPED_TRACE(stored);
    tvktest::ScratchDir dir;
    const std::string archive = archivetest::ArchiveNamed(dir, stored);
    const Result result = Tvkarc("extract " + Quoted(archive) + " " + Quoted(dir / "root\\inner\\out"));
    if (written.empty()) {
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(result.output, "tvkarc: The archive entry <" + stored +
                                   "> cannot be extracted as <..>: that name cannot be a file in the target directory\n");
      EXPECT_EQ(Tvkarc("verify " + Quoted(archive)).status, 1);
      EXPECT_EQ(archivetest::Tree(dir.Path()), std::set<std::string>{"named.tvk"});
    } else {
      EXPECT_EQ(result.status, 0) << result.output;
      EXPECT_EQ(archivetest::Tree(dir.Path()), (std::set<std::string>{"named.tvk", "root\\inner\\out\\" + written}));
    }
  }
}

}  // namespace
#endif
