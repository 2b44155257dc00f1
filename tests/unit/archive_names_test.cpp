// The names archive entries are unpacked under: one check, shared with tvkarc and the loading program,
// decides whether a name can be a plain file in the target directory, and the engine writes nothing for
// an entry that fails it.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "archive/cmp_TTvlkCompress.h"
#include "archive/routines_EntryNames.h"
#include "archive_test_data.h"
#include "support/exceptions_Tavelock.h"

namespace {

using archivetest::MessageOf;
using tvktest::ReadFile;
using tvktest::WriteFile;

TEST(EntryNames, SafeFileNames) {
  const struct {
    const char* name;
    bool safe;
  } rows[] = {
      {"a.txt", true},        {".hidden", true},     {"x..y", true},         {" lead", true},
      {"CONSOLE", true},      {"COM10", true},       {"nul_", true},         {"\xe9t\xe9.txt", true},
      {"", false},            {".", false},          {"..", false},          {"...", false},
      {"a.", false},          {"a ", false},         {"CON", false},         {"con.txt", false},
      {"Nul.tar.gz", false},  {"NUL .txt", false},   {"aux", false},         {"PRN", false},
      {"COM1", false},        {"com9.log", false},   {"LPT0", false},        {"lpt\xb9", false},
      {"CLOCK$", false},      {"conin$.x", false},   {"CONOUT$", false},     {"a:b", false},
      {"a/b", false},         {"a\\b", false},       {"a*b", false},         {"a?b", false},
      {"a\"b", false},        {"a<b", false},        {"a>b", false},         {"a|b", false},
      {"a\tb", false},        {"a\x7f" "b", true},
  };
  for (const auto& row : rows)
    EXPECT_EQ(TvkIsSafeFileName(row.name, std::strlen(row.name)) != 0, row.safe) << '"' << row.name << '"';
  EXPECT_FALSE(TvkIsSafeFileName("ok\0/x", 6));

  for (const auto& [path, name] : {std::pair{"C:\\a/b\\c.txt", "c.txt"}, {"D:evil", "evil"}, {"dir/", ""}, {"plain", "plain"}})
    EXPECT_STREQ(path + TvkFileNameStart(path, std::strlen(path)), name) << path;
}

std::string Refusal(const std::string& entry, const std::string& name) {
  return "The archive entry <" + entry + "> cannot be extracted as <" + name +
         ">: that name cannot be a file in the target directory";
}

TEST(EntryNames, ExtractionStaysInItsDirectory) {
  const struct {
    const char* why;
    std::string stored;
    std::string written;  // below out; "" when refused
    std::string refused;  // the name the refusal gives
  } rows[] = {
      {"plain path", "C:\\src\\a.txt", "a.txt", ""},
      {"dots after a backslash, slashes after", "C:\\src\\../../escaped2.txt", "escaped2.txt", ""},
      {"slashes only", "../../../up.txt", "up.txt", ""},
      {"drive-relative", "D:up.txt", "up.txt", ""},
      {"parent directory", "C:\\src\\..", "", ".."},
      {"current directory", "C:\\src/.", "", "."},
      {"ends in a separator", "C:\\src/", "", ""},
      {"device", "C:\\src\\NUL.txt", "", "NUL.txt"},
      {"trailing dot", "C:\\src\\a.txt.", "", "a.txt."},
      {"control character", "C:\\src\\a\x01.txt", "", "a\x01.txt"},
      {"wildcard", "C:\\src\\*.txt", "", "*.txt"},
      {"zero byte in the folder part", std::string("C:\\src\\ok\0/../x", 15), "x", ""},
      {"zero byte in the name", std::string("C:\\src\\a\0b", 10), "", std::string("a\0b", 3)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.why);
    tvktest::ScratchDir dir;
    const std::string archive = archivetest::ArchiveNamed(dir, row.stored);
    TTvlkCompress engine(nullptr);
    engine.SetCompressedFile(archive);
    engine.SetExtractDirectory(dir / "root\\inner\\out");
    const std::string message = MessageOf([&] { engine.ExtractIndex(0); });
    if (row.written.empty()) {
      EXPECT_EQ(message, Refusal(row.stored, row.refused));
      EXPECT_TRUE(engine.Abort());
      EXPECT_EQ(archivetest::Tree(dir / "root"), std::set<std::string>{});
    } else {
      EXPECT_EQ(message, "");
      EXPECT_EQ(archivetest::Tree(dir / "root"), std::set<std::string>{"inner\\out\\" + row.written});
    }
  }
}

// A name the caller chooses goes through the same check, wherever it is chosen.
TEST(EntryNames, ChosenNamesAreCheckedToo) {
  tvktest::ScratchDir dir;
  const std::string archive = archivetest::ArchiveNamed(dir, "C:\\src\\a.txt");
  TTvlkCompress engine(nullptr);
  engine.SetCompressedFile(archive);
  engine.SetExtractDirectory(dir / "out");

  engine.DestFileName = "CON";
  EXPECT_EQ(MessageOf([&] { engine.ExtractIndex(0); }), Refusal("C:\\src\\a.txt", "CON"));
  EXPECT_EQ(engine.DestFileName, "");
  engine.OnBeforeExtracting = [](TTvlkCompress* e, const TlzhFileStats&) { e->DestFileName = "x/.."; };
  EXPECT_EQ(MessageOf([&] { engine.ExtractIndex(0); }), Refusal("C:\\src\\a.txt", ".."));
  engine.OnBeforeExtracting = [](TTvlkCompress* e, const TlzhFileStats&) { e->DestFileName = "..\\..\\b.txt"; };
  engine.ExtractIndex(0);
  EXPECT_EQ(archivetest::Tree(dir / "out"), std::set<std::string>{"b.txt"});

  // Replacing b.txt, the handler picks a device.
  engine.OnReplace = [](TTvlkCompress* e, const TlzhFileStats&) { e->DestFileName = "aux"; };
  EXPECT_EQ(MessageOf([&] { engine.ExtractIndex(0); }), Refusal("C:\\src\\a.txt", "aux"));

  // The uncompressed copy: the target's own name, and one a handler picks.
  WriteFile(dir / "src.txt", "copied");
  engine.OnReplace = nullptr;
  EXPECT_EQ(MessageOf([&] { engine.CopyUncompressed(dir / "src.txt", dir / "out\\lpt1"); }),
            Refusal(dir / "src.txt", "lpt1"));
  engine.OnReplace = [](TTvlkCompress* e, const TlzhFileStats&) { e->DestFileName = "c.txt "; };
  EXPECT_EQ(MessageOf([&] { engine.CopyUncompressed(dir / "src.txt", dir / "out\\b.txt"); }),
            Refusal(dir / "src.txt", "c.txt "));
  EXPECT_EQ(archivetest::Tree(dir / "out"), std::set<std::string>{"b.txt"});
  EXPECT_EQ(ReadFile(dir / "out\\b.txt"), "payload");

  // The one engine message the language files carry: it is raised translated.
  const std::string english = Refusal("%s", "%s");
  SetStringTranslator([&](const std::string& text) { return text == english ? "<%s> nicht als <%s>" : text; });
  const std::string message = MessageOf([&] { engine.CopyUncompressed(dir / "src.txt", dir / "out\\nul"); });
  SetStringTranslator(nullptr);
  EXPECT_EQ(message, "<" + dir / "src.txt" + "> nicht als <nul>");
}

}  // namespace
