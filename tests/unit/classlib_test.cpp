#include <gtest/gtest.h>

#include <vector>

#include "classlib/Classes.h"
#include "classlib/Streams.h"
#include "classlib/Strings.h"
#include "support/test_support.h"

namespace {

// ---- Format

TEST(Format, Table) {
  struct Case {
    const char* format;
    std::vector<FormatArg> args;
    const char* expected;
  };
  const Case cases[] = {
      {"Please insert disk #%d", {3}, "Please insert disk #3"},
      {"Key: %s Ident: %s Value %s", {"k", "i", "v"}, "Key: k Ident: i Value v"},
      {"100%%", {}, "100%"},
      {"[%5d][%-5d]", {42, 42}, "[   42][42   ]"},
      {"[%.2s]", {"abcdef"}, "[ab]"},
      {"%x/%u", {255, -1}, "FF/4294967295"},
      {"%.4d %.2d %.3u [%6.4x] %.1x", {7, -5, 5, 255, -1}, "0007 -05 005 [  00FF] FFFFFFFFFFFFFFFF"},
      {"%d", {-2147483648LL}, "-2147483648"},
      {"no placeholders", {"extra"}, "no placeholders"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    std::string out = Format(c.format, c.args);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(Format, MismatchRaisesConvertError) {
  EXPECT_THROW(Format("%d", {"text"}), EConvertError);
  EXPECT_THROW(Format("%s", {7}), EConvertError);
  EXPECT_THROW(Format("%s and %s", {"one"}), EConvertError);
  EXPECT_THROW(Format("trailing %", {}), EConvertError);
  EXPECT_THROW(Format("%q", {1}), EConvertError);
  EXPECT_EQ(Exception("%s", {"a"}).Message(), "a");
}

TEST(SysUtils, IntegersAndNames) {
  EXPECT_EQ(StrToIntDef(" 12", -1), 12);
  EXPECT_EQ(StrToIntDef("12 ", -1), -1);
  EXPECT_EQ(StrToIntDef("$FF", -1), 255);
  EXPECT_EQ(StrToIntDef("2147483648", -1), -1);
  EXPECT_EQ(StrToIntDef("-2147483648", 0), -2147483648LL);
  EXPECT_EQ(StrToIntDef("1x", -1), -1);
  EXPECT_THROW(StrToInt(""), EConvertError);
  EXPECT_EQ(ExtractFilePath("C:\\Dir\\File.txt"), "C:\\Dir\\");
  EXPECT_EQ(ExtractFileDir("C:\\Dir\\File.txt"), "C:\\Dir");
  EXPECT_EQ(ExtractFileDir("C:\\File.txt"), "C:\\");
  EXPECT_EQ(ExtractFileName("C:File.txt"), "File.txt");
  EXPECT_EQ(ExtractFileExt("C:\\a.b\\noext"), "");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\American.dct", ".1"), "C:\\a.b\\American.1");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\name", ".bat"), "C:\\a.b\\name.bat");
}

TEST(SysUtils, DatesRoundTrip) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  for (TDateTime d : {-700.25, 0.5, 36526.0, 45000.999988}) {
    int y, m, day, h, mi, s, ms;
    DecodeDate(d, y, m, day);
    DecodeTime(d, h, mi, s, ms);
    TDateTime back = EncodeDate(y, m, day);
    back += (back < 0 ? -1 : 1) * EncodeTime(h, mi, s, ms);
    EXPECT_NEAR(back, d, 1e-8) << d;
  }
}

// ---- Components

class Probe : public TComponent {
 public:
  Probe(TComponent* owner, std::vector<std::string>* log, const std::string& name) : TComponent(owner), log_(log) {
    SetName(name);
  }
  ~Probe() override { log_->push_back("~" + Name()); }
  void Notification(TComponent* c, TOperation op) override {
    if (op == TOperation::opRemove && c == watched) {
      log_->push_back(Name() + " lost " + c->Name());
      watched = nullptr;
    }
    TComponent::Notification(c, op);
  }
  void Loaded() override {
    TComponent::Loaded();
    log_->push_back(Name() + " loaded");
  }
  TComponent* watched = nullptr;

 private:
  std::vector<std::string>* log_;
};

TEST(Component, OwnerFreesLastCreatedFirst) {
  std::vector<std::string> log;
  {
    auto owner = std::make_unique<TComponent>(nullptr);
    new Probe(owner.get(), &log, "A");
    new Probe(owner.get(), &log, "B");
    auto* c = new Probe(owner.get(), &log, "C");
    EXPECT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(owner->FindComponent("b")->Name(), "B");
    delete c;  // leaves its owner
    EXPECT_EQ(owner->ComponentCount(), 2);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"~C", "~B", "~A"}));
}

TEST(Component, NamesAreUniqueWithinOwner) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  a->SetName("Install1");
  auto* b = new TComponent(&owner);
  EXPECT_THROW(b->SetName("INSTALL1"), EComponentError);
  a->SetName("install1");  // a case change of its own name is fine
  EXPECT_EQ(a->Name(), "install1");
}

TEST(Component, FreeNotificationClearsReferences) {
  std::vector<std::string> log;
  auto holder = std::make_unique<Probe>(nullptr, &log, "Holder");
  auto target = std::make_unique<Probe>(nullptr, &log, "Target");
  holder->watched = target.get();
  target->FreeNotification(holder.get());
  target.reset();
  EXPECT_EQ(holder->watched, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"~Target", "Holder lost Target"}));

  // Once the holder is gone first, destroying the target must not reach it.
  auto other = std::make_unique<Probe>(nullptr, &log, "Other");
  auto holder2 = std::make_unique<Probe>(nullptr, &log, "Holder2");
  other->FreeNotification(holder2.get());
  holder2.reset();
  other.reset();
}

TEST(Component, LoadingAndDesigningStates) {
  std::vector<std::string> log;
  TComponent form(nullptr);
  form.SetDesigning(true);
  auto* p = new Probe(&form, &log, "P");
  EXPECT_TRUE(p->InState(csDesigning));  // inherited from the owner
  p->SetLoading();
  EXPECT_TRUE(p->InState(csLoading));
  p->Loaded();
  EXPECT_FALSE(p->InState(csLoading));
  EXPECT_EQ(log.back(), "P loaded");
  p->SetTag(-7);
  EXPECT_EQ(p->Tag(), -7);
}

// ---- Strings

TEST(StringList, TextSplitsAtEveryLineBreak) {
  TStringList list;
  int changes = 0;
  list.OnChange = [&](TObject*) { ++changes; };
  list.SetText("one\r\ntwo\nthree\rfour\r\n\r\nlast");
  EXPECT_EQ(changes, 1);  // one change for the whole text
  ASSERT_EQ(list.Count(), 6);
  EXPECT_EQ(list.Strings(3), "four");
  EXPECT_EQ(list.Strings(4), "");
  EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n\r\nlast\r\n");
  EXPECT_THROW(list.Strings(6), EStringListError);
  EXPECT_THROW(list.Delete(-1), EStringListError);
}

TEST(StringList, SortedDuplicatesAndValues) {
  TStringList list;
  list.SetSorted(true);
  list.Add("beta");
  list.Add("Alpha");
  list.Add("gamma");
  EXPECT_EQ(list.Add("BETA"), 1);  // ignored: already there, compared without case
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Strings(0), "Alpha");
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);
  list.SetDuplicates(TDuplicates::dupError);
  EXPECT_THROW(list.Add("gamma"), EStringListError);
  EXPECT_EQ(list.IndexOf("GAMMA"), 2);

  TStringList values;
  values.Add("Path=C:\\X");
  values.Add("Size=12");
  EXPECT_EQ(values.Values("path"), "C:\\X");
  values.SetValues("Size", "");
  EXPECT_EQ(values.Count(), 1);
}

TEST(StringList, LoadAndSaveFile) {
  tvktest::ScratchDir dir;
  tvktest::WriteFile(dir / "in.txt", "first\r\nsecond\nthird");
  TStringList list;
  list.LoadFromFile(dir / "in.txt");
  ASSERT_EQ(list.Count(), 3);
  list.SaveToFile(dir / "out.txt");
  EXPECT_EQ(tvktest::ReadFile(dir / "out.txt"), "first\r\nsecond\r\nthird\r\n");
  EXPECT_THROW(list.LoadFromFile(dir / "missing.txt"), EFOpenError);
}

// ---- Streams

TEST(Streams, FileStreamShareModes) {
  tvktest::ScratchDir dir;
  std::string name = dir / "data.bin";
  {
    TFileStream writer(name, fmCreate);
    writer.WriteBuffer("abcdef", 6);
    EXPECT_THROW(TFileStream(name, fmOpenRead | fmShareDenyNone), EFOpenError);  // created exclusive
  }
  TFileStream reader(name, fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(reader.Size(), 6);
  TFileStream second(name, fmOpenRead | fmShareDenyWrite);  // readers may share
  EXPECT_THROW(TFileStream(name, fmOpenWrite | fmShareDenyNone), EFOpenError);
  char buffer[4];
  reader.SetPosition(4);
  EXPECT_THROW(reader.ReadBuffer(buffer, 4), EReadError);
  try {
    TFileStream missing(dir / "none", fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file " + (dir / "none"));
  }
}

TEST(Streams, MemoryStreamCopyAndGrow) {
  TMemoryStream source;
  std::string text(70000, 'x');
  source.WriteBuffer(text.data(), std::int64_t(text.size()));
  TMemoryStream copy;
  EXPECT_EQ(copy.CopyFrom(source, 0), 70000);
  EXPECT_EQ(std::string(copy.Data().begin(), copy.Data().end()), text);
  copy.SetPosition(100000);
  copy.WriteBuffer("y", 1);
  EXPECT_EQ(copy.Size(), 100001);
  EXPECT_THROW(copy.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
}

}  // namespace
