#include "cli/sources/source_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "tests/cli/cli_process.h"
#include "tests/cli/gzip.h"

namespace kestrin::cli {
namespace {

// A source that hands over `step` bytes at a time at most, as a pipe may.
std::unique_ptr<SourceStream> Trickle(std::string bytes, std::size_t step, std::size_t maxBytes) {
  return std::make_unique<SourceStream>(
      [bytes = std::move(bytes), step, at = std::size_t{0}](char* buffer, std::size_t size) mutable {
        const std::size_t count = std::min({size, step, bytes.size() - at});
        std::memcpy(buffer, bytes.data() + at, count);
        at += count;
        return static_cast<std::ptrdiff_t>(count);
      },
      maxBytes);
}

// Everything a stream gives, read `piece` bytes at a time.
std::string Drain(SourceStream& stream, std::size_t piece) {
  std::string out;
  std::string buffer(piece, '\0');
  for (std::ptrdiff_t got; (got = stream.Read(buffer.data(), piece)) > 0;) {
    out.append(buffer, 0, static_cast<std::size_t>(got));
  }
  return out;
}

struct StreamCase {
  const char* name;
  std::string raw;
  std::size_t maxBytes;
  std::string bytes;  // what reading gives
  StreamFailure failure;
  bool gzipped;
};

const std::string kText = "<urlset><url><loc>https://s.example/a</loc></url></urlset>";

TEST(SourceStream, InflatesGzipAndStopsAtTheLimitOrDamage) {
  std::string cut = Gzip(kText);
  cut.resize(cut.size() / 2);
  std::string flipped = Gzip(kText);
  flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x55);
  const StreamCase cases[] = {
      {"plain bytes pass as they are", kText, 1000, kText, StreamFailure::kNone, false},
      {"gzip is inflated", Gzip(kText), 1000, kText, StreamFailure::kNone, true},
      {"concatenated members are one text", Gzip("hello ") + Gzip("world"), 100, "hello world", StreamFailure::kNone,
       true},
      {"exactly the limit is allowed", Gzip("hello ") + Gzip("world"), 11, "hello world", StreamFailure::kNone, true},
      {"one byte past the limit, inflated", Gzip("hello ") + Gzip("world"), 10, "", StreamFailure::kTooLarge, true},
      {"one byte past the limit, plain", "hello world", 10, "", StreamFailure::kTooLarge, false},
      {"bytes after the last member are not gzip and end it", Gzip("hello") + "\n\n", 100, "hello",
       StreamFailure::kNone, true},
      {"cut short inside a member", cut, 1000, "", StreamFailure::kCorrupt, true},
      {"a flipped byte fails the check", flipped, 1000, "", StreamFailure::kCorrupt, true},
      {"the magic number alone", "\x1f\x8b", 1000, "", StreamFailure::kCorrupt, true},
      {"empty", "", 1000, "", StreamFailure::kNone, false},
  };
  for (const StreamCase& row : cases) {
    for (const std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
      SCOPED_TRACE(std::string(row.name) + ", raw bytes " + std::to_string(step) + " at a time");
      const auto stream = Trickle(row.raw, step, row.maxBytes);
      const std::string read = Drain(*stream, 5);
      EXPECT_EQ(stream->Failure(), row.failure);
      if (row.failure == StreamFailure::kNone) {
        EXPECT_EQ(read, row.bytes);
      }
      EXPECT_EQ(stream->Gzipped(), row.gzipped);
      char spare = 0;
      EXPECT_EQ(stream->Read(&spare, 1) < 0, row.failure != StreamFailure::kNone) << "a failure stays";
    }
  }
}

TEST(SourceStream, PeekLeavesTheBytesToBeReadAndReadRestTakesTheRest) {
  const auto stream = SourceStream::OfBytes(Gzip(kText), 1000);
  EXPECT_EQ(stream->Peek(8), "<urlset>");
  EXPECT_EQ(stream->Peek(4), "<urlset>") << "what was peeked stays peeked";
  char first[3];
  ASSERT_EQ(stream->Read(first, 3), 3);
  EXPECT_EQ(std::string(first, 3), "<ur");
  EXPECT_EQ(stream->ReadRest(), kText.substr(3));
  EXPECT_EQ(stream->Failure(), StreamFailure::kNone);

  const auto longer = SourceStream::OfBytes(kText, 1000);
  EXPECT_EQ(longer->Peek(10000), kText) << "a short source peeks whole";
  EXPECT_EQ(longer->ReadRest(), kText);

  std::istringstream input("line one\nline two\n");
  EXPECT_EQ(SourceStream::OfInput(input, 1000)->ReadRest(), "line one\nline two\n");
  EXPECT_EQ(SourceStream::OfFile("/nonexistent/file", 1000), nullptr);
#ifdef _WIN32
  EXPECT_EQ(SourceStream::OfFile("C:\\", 1000), nullptr) << "Windows opens no folder to read";
#else
  const auto folder = SourceStream::OfFile("/", 1000);
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->ReadRest(), "");
  EXPECT_EQ(folder->Failure(), StreamFailure::kUnreadable);
#endif
}

// A file is read whole into room made for its size; whatever that size against the reads' own
// chunks, and whether it inflates past it, every byte comes once and the limit still holds.
TEST(SourceStream, FilesReadWholeWhateverTheirSize) {
  const testsupport::TempFolder folder;
  std::string large;
  for (int i = 0; large.size() < (1u << 20) + 3; ++i) large += "https://s.example/" + std::to_string(i) + "\n";
  const struct {
    const char* name;
    std::string content;  // as written
    std::string bytes;    // what ReadRest gives after a peek
    std::size_t maxBytes;
    StreamFailure failure;
  } cases[] = {
      {"empty", "", "", 1000, StreamFailure::kNone},
      {"one byte", "x", "x", 1000, StreamFailure::kNone},
      {"shorter than a peek", large.substr(0, 4095), large.substr(0, 4095), 1u << 22, StreamFailure::kNone},
      {"past the first raw read", large.substr(0, 300000), large.substr(0, 300000), 1u << 22, StreamFailure::kNone},
      {"past a chunk", large, large, 1u << 22, StreamFailure::kNone},
      {"gzip, inflating past its size", Gzip(large), large, 1u << 22, StreamFailure::kNone},
      {"larger than the limit", large, "", 100000, StreamFailure::kTooLarge},
  };
  int file = 0;
  for (const auto& row : cases) {
    const auto stream = SourceStream::OfFile(folder.Write(std::to_string(file++), row.content), row.maxBytes);
    ASSERT_NE(stream, nullptr) << row.name;
    const std::string peeked(stream->Peek(4096));
    const std::string rest = stream->ReadRest();
    EXPECT_EQ(stream->Failure(), row.failure) << row.name;
    if (row.failure == StreamFailure::kNone) {
      EXPECT_TRUE(rest == row.bytes) << row.name << ": " << rest.size() << " bytes";
    }
  }
}

}  // namespace
}  // namespace kestrin::cli
