#include "cli/sources/source_stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/sources/files.h"

namespace kestrin::cli {
namespace {

constexpr std::size_t kRawChunk = 256 * 1024;

bool IsGzip(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

// Closes its descriptor when the last reader of the file is gone.
struct FileHandle {
  explicit FileHandle(int descriptor) : fd(descriptor) {}
  ~FileHandle() { close(fd); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd;
};

}  // namespace

SourceStream::SourceStream(RawRead raw, std::size_t maxBytes) : raw_(std::move(raw)), maxBytes_(maxBytes) {}

SourceStream::~SourceStream() {
  if (gzip_) inflateEnd(&zlib_);
}

std::unique_ptr<SourceStream> SourceStream::OfFile(const std::string& path, std::size_t maxBytes) {
  const int fd = OpenToRead(path);
  if (fd < 0) return nullptr;
  auto file = std::make_shared<FileHandle>(fd);
  struct stat status {};
  const bool regular = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0;
  auto stream = std::make_unique<SourceStream>(
      [file](char* buffer, std::size_t size) -> std::ptrdiff_t {
        for (;;) {
          const auto got = read(file->fd, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1 << 30)));
          if (got >= 0 || errno != EINTR) return got;
        }
      },
      maxBytes);
  if (regular) stream->sizeHint_ = static_cast<std::size_t>(status.st_size);
  return stream;
}

std::unique_ptr<SourceStream> SourceStream::OfInput(std::istream& input, std::size_t maxBytes) {
  return std::make_unique<SourceStream>(
      [&input](char* buffer, std::size_t size) -> std::ptrdiff_t {
        if (input.bad()) return -1;
        input.read(buffer, static_cast<std::streamsize>(size));
        if (input.bad()) return -1;
        return static_cast<std::ptrdiff_t>(input.gcount());
      },
      maxBytes);
}

std::unique_ptr<SourceStream> SourceStream::OfBytes(std::string bytes, std::size_t maxBytes) {
  return std::make_unique<SourceStream>(
      [bytes = std::move(bytes), at = std::size_t{0}](char* buffer, std::size_t size) mutable -> std::ptrdiff_t {
        const std::size_t count = std::min(size, bytes.size() - at);
        std::memcpy(buffer, bytes.data() + at, count);
        at += count;
        return static_cast<std::ptrdiff_t>(count);
      },
      maxBytes);
}

bool SourceStream::FillRaw(std::size_t wanted) {
  if (rawBuffer_.empty()) rawBuffer_.resize(kRawChunk);
  while (RawAvailable() < wanted && !rawDone_) {
    if (rawPos_ > 0) {
      std::memmove(rawBuffer_.data(), rawBuffer_.data() + rawPos_, RawAvailable());
      rawEnd_ -= rawPos_;
      rawPos_ = 0;
    }
    const std::ptrdiff_t got = raw_(rawBuffer_.data() + rawEnd_, rawBuffer_.size() - rawEnd_);
    if (got < 0) {
      failure_ = StreamFailure::kUnreadable;
      return false;
    }
    if (got == 0) rawDone_ = true;
    rawEnd_ += static_cast<std::size_t>(got);
  }
  return true;
}

std::ptrdiff_t SourceStream::Inflate(char* buffer, std::size_t size) {
  zlib_.next_out = reinterpret_cast<Bytef*>(buffer);
  zlib_.avail_out = static_cast<uInt>(std::min<std::size_t>(size, 1U << 30));
  const uInt room = zlib_.avail_out;
  while (zlib_.avail_out == room && !finished_) {
    if (!inflating_) {
      // Another member may follow, as `cat a.gz b.gz` makes; anything else after one ends it.
      if (!FillRaw(2)) return -1;
      if (!IsGzip({rawBuffer_.data() + rawPos_, RawAvailable()})) {
        finished_ = true;
        break;
      }
      if (inflateReset(&zlib_) != Z_OK) {
        failure_ = StreamFailure::kCorrupt;
        return -1;
      }
      inflating_ = true;
    }
    if (RawAvailable() == 0) {
      if (!FillRaw(1)) return -1;
      if (RawAvailable() == 0) {  // the input ended inside a member
        failure_ = StreamFailure::kCorrupt;
        return -1;
      }
    }
    zlib_.next_in = reinterpret_cast<Bytef*>(rawBuffer_.data() + rawPos_);
    zlib_.avail_in = static_cast<uInt>(RawAvailable());
    const int status = inflate(&zlib_, Z_NO_FLUSH);
    rawPos_ = rawEnd_ - zlib_.avail_in;
    if (status == Z_STREAM_END) {
      inflating_ = false;
    } else if (status != Z_OK && status != Z_BUF_ERROR) {
      failure_ = StreamFailure::kCorrupt;
      return -1;
    }
  }
  return static_cast<std::ptrdiff_t>(room - zlib_.avail_out);
}

std::ptrdiff_t SourceStream::Decode(char* buffer, std::size_t size) {
  if (failure_ != StreamFailure::kNone) return -1;
  if (!started_) {
    started_ = true;
    if (!FillRaw(2)) return -1;
    gzip_ = IsGzip({rawBuffer_.data() + rawPos_, RawAvailable()});
    if (gzip_ && inflateInit2(&zlib_, 16 + MAX_WBITS) != Z_OK) {
      gzip_ = false;
      failure_ = StreamFailure::kCorrupt;
      return -1;
    }
  }
  std::ptrdiff_t got = 0;
  if (gzip_) {
    got = Inflate(buffer, size);
  } else if (RawAvailable() > 0) {
    got = static_cast<std::ptrdiff_t>(std::min(size, RawAvailable()));
    std::memcpy(buffer, rawBuffer_.data() + rawPos_, static_cast<std::size_t>(got));
    rawPos_ += static_cast<std::size_t>(got);
  } else if (!rawDone_) {
    got = raw_(buffer, size);  // straight into the reader's buffer: no copy on the way
    if (got < 0) failure_ = StreamFailure::kUnreadable;
    if (got == 0) rawDone_ = true;
  }
  if (got < 0) return -1;
  delivered_ += static_cast<std::size_t>(got);
  if (delivered_ > maxBytes_) {
    failure_ = StreamFailure::kTooLarge;
    return -1;
  }
  return got;
}

std::string_view SourceStream::Peek(std::size_t size) {
  if (peekedPos_ > 0) {
    peeked_.erase(0, peekedPos_);
    peekedPos_ = 0;
  }
  while (peeked_.size() < size) {
    const std::size_t used = peeked_.size();
    peeked_.resize(size);
    const std::ptrdiff_t got = Decode(peeked_.data() + used, size - used);
    peeked_.resize(used + static_cast<std::size_t>(std::max<std::ptrdiff_t>(got, 0)));
    if (got <= 0) break;
  }
  return peeked_;
}

std::ptrdiff_t SourceStream::Read(char* buffer, std::size_t size) {
  if (peekedPos_ < peeked_.size()) {
    const std::size_t count = std::min(size, peeked_.size() - peekedPos_);
    std::memcpy(buffer, peeked_.data() + peekedPos_, count);
    peekedPos_ += count;
    return static_cast<std::ptrdiff_t>(count);
  }
  return Decode(buffer, size);
}

std::string SourceStream::ReadRest() {
  std::string rest(peeked_, peekedPos_);
  peeked_.clear();
  peekedPos_ = 0;
  // The string grows as bytes come, so a small source costs no limit's worth of zeros. A file's
  // size is known: room for all of it at once spares the copies and fresh pages of growing, and
  // reads fill the room there is before the string grows again.
  constexpr std::size_t kChunk = 1 << 20;
  const bool hinted = sizeHint_ > rest.size();
  if (hinted) rest.reserve(std::min(sizeHint_, maxBytes_) + 1);
  for (;;) {
    const std::size_t used = rest.size();
    const std::size_t room = rest.capacity() - used;
    const std::size_t chunk = room >= 4096 || (hinted && room > 0) ? room : kChunk;
    rest.resize(used + chunk);
    const std::ptrdiff_t got = Decode(rest.data() + used, chunk);
    rest.resize(used + static_cast<std::size_t>(std::max<std::ptrdiff_t>(got, 0)));
    if (got <= 0) return rest;
  }
}

}  // namespace kestrin::cli
