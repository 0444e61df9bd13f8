// The bytes of one source as they come, from a file, standard input or memory: inflated on the
// way when they are gzip, and cut off past a limit, so that neither a large file nor a small one
// that inflates to gigabytes is ever held whole.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::cli {

enum class StreamFailure {
  kNone,
  kUnreadable,  // the file or input could not be read
  kTooLarge,    // more bytes than the limit, after inflating
  kCorrupt,     // gzip data that is damaged or cut short
};

class SourceStream {
 public:
  // Pulls raw bytes: up to `size` into `buffer`; how many, 0 at the end, -1 when reading failed.
  using RawRead = std::function<std::ptrdiff_t(char* buffer, std::size_t size)>;

  SourceStream(RawRead raw, std::size_t maxBytes);
  ~SourceStream();
  SourceStream(const SourceStream&) = delete;
  SourceStream& operator=(const SourceStream&) = delete;

  // A file, or nullptr when it cannot be opened.
  [[nodiscard]] static std::unique_ptr<SourceStream> OfFile(const std::string& path, std::size_t maxBytes);
  [[nodiscard]] static std::unique_ptr<SourceStream> OfInput(std::istream& input, std::size_t maxBytes);
  [[nodiscard]] static std::unique_ptr<SourceStream> OfBytes(std::string bytes, std::size_t maxBytes);

  // The first `size` bytes (fewer when the source is shorter or fails), left to be read.
  [[nodiscard]] std::string_view Peek(std::size_t size);
  // Up to `size` bytes into `buffer`: how many, 0 at the end, -1 on a failure (Failure() says
  // which; every later call fails too).
  [[nodiscard]] std::ptrdiff_t Read(char* buffer, std::size_t size);
  // The bytes not yet read; check Failure() after.
  [[nodiscard]] std::string ReadRest();
  [[nodiscard]] StreamFailure Failure() const { return failure_; }
  // Whether the bytes came inflated from gzip (known once anything was peeked or read).
  [[nodiscard]] bool Gzipped() const { return gzip_; }

 private:
  std::ptrdiff_t Decode(char* buffer, std::size_t size);
  std::ptrdiff_t Inflate(char* buffer, std::size_t size);
  // Makes at least `wanted` raw bytes available, unless the source ends first; false on failure.
  bool FillRaw(std::size_t wanted);
  std::size_t RawAvailable() const { return rawEnd_ - rawPos_; }

  RawRead raw_;
  std::size_t maxBytes_;
  std::size_t sizeHint_ = 0;  // a file's size when opened: what ReadRest makes room for at once
  std::size_t delivered_ = 0;  // decoded bytes handed out or peeked
  StreamFailure failure_ = StreamFailure::kNone;

  std::vector<char> rawBuffer_;
  std::size_t rawPos_ = 0;
  std::size_t rawEnd_ = 0;
  bool rawDone_ = false;

  bool started_ = false;
  bool gzip_ = false;
  bool inflating_ = false;  // inside a gzip member
  bool finished_ = false;
  z_stream zlib_{};

  std::string peeked_;
  std::size_t peekedPos_ = 0;
};

}  // namespace kestrin::cli
