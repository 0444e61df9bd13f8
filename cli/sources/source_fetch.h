// Sources fetched over HTTP with their bodies streamed to the reader as they arrive, so that a
// 50 MB sitemap is never held whole and a connection that breaks leaves what came before it.
#pragma once

#include <memory>
#include <string>

#include "cli/net/http_client.h"
#include "cli/sources/source_stream.h"

namespace kestrin::cli {

struct OpenedSource {
  // The answer as far as it is known when its body starts: a 2xx status with kComplete, or why
  // there is no body to read (the status, or a transfer that failed).
  HttpReply reply;
  // The body, inflated when gzip and cut off past kMaxFileBytes, when the status is 2xx. A
  // transfer that ends badly part way fails the stream as kUnreadable; `ended` then tells how.
  std::unique_ptr<SourceStream> body;
  std::shared_ptr<Transfer> ended = std::make_shared<Transfer>(Transfer::kComplete);
};

// A GET of `address` through the core's transport with a 60 s deadline (less when the run's is
// nearer) and the run's proxy, its body streamed.
[[nodiscard]] OpenedSource OpenWebSource(const std::string& address);

}  // namespace kestrin::cli
