#include "cli/gzip.h"

#include <zlib.h>

#include <algorithm>

namespace kestrin::cli {

bool IsGzip(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

Inflated Gunzip(std::string_view compressed, std::size_t maxBytes) {
  Inflated out;
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
    out.corrupt = true;
    return out;
  }
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());
  // The trailer tells the size (modulo 4 GiB) of a single-member file: room for it at once.
  if (compressed.size() >= 18) {
    const auto* tail = reinterpret_cast<const unsigned char*>(compressed.data() + compressed.size() - 4);
    const std::size_t told = tail[0] | tail[1] << 8 | tail[2] << 16 | static_cast<std::size_t>(tail[3]) << 24;
    out.bytes.reserve(std::min(told, maxBytes) + 1);
  }
  // One spare byte past the limit tells "exactly the limit" from "over it".
  constexpr std::size_t kChunk = 256 * 1024;
  int status = Z_OK;
  for (;;) {
    const std::size_t used = out.bytes.size();
    const std::size_t room = std::min(kChunk, maxBytes + 1 - used);
    out.bytes.resize(used + room);
    stream.next_out = reinterpret_cast<Bytef*>(out.bytes.data() + used);
    stream.avail_out = static_cast<uInt>(room);
    status = inflate(&stream, Z_NO_FLUSH);
    out.bytes.resize(used + room - stream.avail_out);
    if (out.bytes.size() > maxBytes) {
      out.tooLarge = true;
      out.bytes.resize(maxBytes);
      break;
    }
    if (status == Z_STREAM_END) {
      // Another member may follow, as `cat a.gz b.gz` makes.
      if (stream.avail_in == 0 || !IsGzip({reinterpret_cast<const char*>(stream.next_in), stream.avail_in})) break;
      if (inflateReset(&stream) != Z_OK) {
        out.corrupt = true;
        break;
      }
      continue;
    }
    if (status != Z_OK && status != Z_BUF_ERROR) {
      out.corrupt = true;
      break;
    }
    if (status == Z_BUF_ERROR && stream.avail_in == 0) {  // input ended inside the stream
      out.corrupt = true;
      break;
    }
  }
  inflateEnd(&stream);
  return out;
}

}  // namespace kestrin::cli
