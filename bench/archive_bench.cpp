// Speed of the archive engine against raw zlib on the same bytes at the same level, measured in the same
// process, and its memory and per-entry costs. Prints one line per measure:
//   <add|extract> <corpus> <MB/s> baseline <MB/s> ratio <r>
// Usage: archive_bench DICTIONARY WORKDIR   (WORKDIR as the kit sees it, e.g. C:\TEMP\bench)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "archive/cmp_TTvlkCompress.h"
#include "os/os.h"
#include "support/routines_API.h"

double PeakMemoryMB();  // peak_memory.cpp

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }


void WriteAll(const std::string& path, const std::string& data) {
  os::File f = os::File::Open(path, os::Access::Write, os::Share::Exclusive, os::Disposition::CreateAlways);
  if (!f || f.Write(data.data(), data.size()) != std::int64_t(data.size())) throw Exception("cannot write " + path);
}

// Raw deflate of the whole buffer into a 64 KB output buffer that is thrown away; the compressed size.
std::size_t RawDeflate(const std::string& data, int level) {
  z_stream z{};
  deflateInit(&z, level);
  std::vector<Bytef> out(65536);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  std::size_t total = 0;
  int result;
  do {
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    result = deflate(&z, Z_FINISH);
    total += out.size() - z.avail_out;
  } while (result != Z_STREAM_END);
  deflateEnd(&z);
  return total;
}

std::string Compress(const std::string& data, int level) {
  uLongf size = compressBound(uLong(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
            uLong(data.size()), level);
  out.resize(size);
  return out;
}

std::size_t RawInflate(const std::string& stream) {
  z_stream z{};
  inflateInit(&z);
  std::vector<Bytef> out(65536);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = uInt(stream.size());
  std::size_t total = 0;
  int result;
  do {
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    result = inflate(&z, Z_NO_FLUSH);
    total += out.size() - z.avail_out;
  } while (result == Z_OK);
  inflateEnd(&z);
  return total;
}

void AddOne(TTvlkCompress& engine, const std::string& archive, const std::vector<std::string>& files,
            TCompressionLevel level) {
  engine.SetCompressionLevel(level);
  engine.SetCompressedFile(archive);
  TStringList list;
  for (const auto& f : files) list.Add(f);
  engine.SetFilesToProcess(list);
  engine.Add(lzcOverwrite, 0);
}

void ExtractAll(TTvlkCompress& engine, const std::string& archive, const std::vector<std::string>& files,
                const std::string& dir) {
  engine.SetCompressedFile(archive);
  engine.SetExtractDirectory(dir);
  TStringList list;
  for (const auto& f : files) list.Add(f);
  engine.SetFilesToProcess(list);
  engine.Extract();
}

// Best of Runs, to keep the noise of a busy machine out of the ratio.
template <class Body>
double Best(int runs, Body body) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    body();
    best = std::min(best, Seconds(start));
  }
  return best;
}

void Measure(const std::string& name, const std::string& data, const std::string& work, int addRuns,
             int extractRuns) {
  const double mb = double(data.size()) / 1e6;
  const std::string source = work + "\\" + name + ".src";
  const std::string archive = work + "\\" + name + ".tvk";
  WriteAll(source, data);
  TTvlkCompress engine(nullptr);

  const double add = Best(addRuns, [&] { AddOne(engine, archive, {source}, colMax); });
  const double rawAdd = Best(addRuns, [&] { RawDeflate(data, 9); });
  std::printf("add %s %.1f baseline %.1f ratio %.2f\n", name.c_str(), mb / add, mb / rawAdd, rawAdd / add);

  // Extraction as an installation meets it: into a file that does not exist yet. Replacing the output of
  // the run before adds what the file system charges for cutting a written file short (ext4 writes the
  // replaced data out at close); that is the line of its own. The three are timed in turns, so that a
  // busy machine weighs on each alike.
  const std::string stream = Compress(data, 9);
  const std::string output = work + "\\out\\" + name + ".src";
  double extractNew = 1e30, extractOver = 1e30, rawExtract = 1e30;
  for (int i = 0; i < extractRuns; ++i) {
    os::DeleteFile(output);
    rawExtract = std::min(rawExtract, Best(1, [&] { RawInflate(stream); }));
    extractNew = std::min(extractNew, Best(1, [&] { ExtractAll(engine, archive, {source}, work + "\\out"); }));
    extractOver = std::min(extractOver, Best(1, [&] { ExtractAll(engine, archive, {source}, work + "\\out"); }));
  }
  std::printf("extract %s %.1f baseline %.1f ratio %.2f\n", name.c_str(), mb / extractNew, mb / rawExtract,
              rawExtract / extractNew);
  std::printf("extract %s-replacing %.1f baseline %.1f ratio %.2f\n", name.c_str(), mb / extractOver,
              mb / rawExtract, rawExtract / extractOver);
  std::fflush(stdout);
  os::DeleteFile(source);
  os::DeleteFile(archive);
  os::DeleteFile(output);
}

// A mixed corpus of about Size bytes: text, noise, runs and structured binary records.
std::string Mixed(const std::string& dictionary, std::size_t size) {
  std::mt19937 random(7);
  std::string data;
  data.reserve(size);
  while (data.size() < size) {
    switch (random() % 4) {
      case 0: data += dictionary.substr(random() % (dictionary.size() / 2), 200000); break;
      case 1: for (int i = 0; i < 100000; ++i) data.push_back(char(random())); break;
      case 2: data.append(50000 + random() % 50000, char(random())); break;
      default:
        for (std::uint32_t i = 0; i < 20000; ++i) {
          std::uint32_t record[4] = {i, i * 7u, std::uint32_t(random() % 256u), 0x12345678u};
          data.append(reinterpret_cast<const char*>(record), sizeof record);
        }
    }
  }
  data.resize(size);
  return data;
}

void PeakMemory(const std::string& work) {
  // A 200 MB entry written and read in pieces: memory must not follow its size.
  const std::string source = work + "\\big.src";
  const std::string archive = work + "\\big.tvk";
  {
    os::File f = os::File::Open(source, os::Access::Write, os::Share::Exclusive, os::Disposition::CreateAlways);
    std::mt19937 random(3);
    std::string block(1 << 20, '\0');
    for (int i = 0; i < 200; ++i) {
      for (std::size_t j = 0; j < block.size(); j += 64) block[j] = char(random());
      f.Write(block.data(), block.size());
    }
  }
  TTvlkCompress engine(nullptr);
  const double before = PeakMemoryMB();
  AddOne(engine, archive, {source}, colFastest);
  const double afterAdd = PeakMemoryMB();
  ExtractAll(engine, archive, {source}, work + "\\out");
  const double afterExtract = PeakMemoryMB();
  std::printf("peak memory: before %.1f MB, after adding a 200 MB entry %.1f MB, after extracting it %.1f MB\n",
              before, afterAdd, afterExtract);
  std::fflush(stdout);
  os::DeleteFile(source);
  os::DeleteFile(archive);
  os::DeleteFile(work + "\\out\\big.src");
}

void ManyEntries(const std::string& work) {
  for (int count : {200, 2000}) {
    std::vector<std::string> files;
    const std::string dir = work + "\\many";
    os::CreateDirectory(dir);
    for (int i = 0; i < count; ++i) {
      files.push_back(dir + "\\f" + std::to_string(i) + ".txt");
      WriteAll(files.back(), "small file number " + std::to_string(i) + std::string(500, char('a' + i % 26)));
    }
    TTvlkCompress engine(nullptr);
    const std::string archive = work + "\\many.tvk";
    const double add = Best(1, [&] { AddOne(engine, archive, files, colMax); });
    const double extract = Best(1, [&] { ExtractAll(engine, archive, files, work + "\\manyout"); });
    const double replace = Best(1, [&] { ExtractAll(engine, archive, files, work + "\\manyout"); });
    // A new file's name is looked up without regard to case, which on a case-sensitive host (Wine's and
    // the native build's own lookup) reads the whole folder; replacing files finds them at once.
    std::printf("entries %d: add %.3f ms/entry, extract %.3f ms/entry, extract replacing %.3f ms/entry\n", count,
                add * 1e3 / count, extract * 1e3 / count, replace * 1e3 / count);
    std::fflush(stdout);
    for (const auto& f : files) {
      os::DeleteFile(f);
      os::DeleteFile(work + "\\manyout\\" + f.substr(f.rfind('\\') + 1));
    }
    os::DeleteFile(archive);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: archive_bench DICTIONARY WORKDIR\n");
    return 2;
  }
  try {
    std::ifstream in(argv[1], std::ios::binary);
    const std::string dictionary((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (dictionary.empty()) throw Exception(std::string("cannot read ") + argv[1]);
    const std::string work = argv[2];
    CreateDirectoryPath(work);
    CreateDirectoryPath(work + "\\out");
    PeakMemory(work);  // first, while the peak is still the engine's alone
    Measure("dictionary", dictionary, work, 3, 100);
    Measure("mixed50MB", Mixed(dictionary, 50'000'000), work, 1, 8);
    ManyEntries(work);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
