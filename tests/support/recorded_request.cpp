// What both backends of HttpServer share: reading a recorded request.
#include "tests/support/header_line.h"
#include "tests/support/http_server.h"

namespace kestrin::testsupport {

std::string RecordedRequest::Method() const { return requestLine.substr(0, requestLine.find(' ')); }

std::string RecordedRequest::Target() const {
  const std::size_t start = requestLine.find(' ');
  if (start == std::string::npos) return {};
  const std::size_t end = requestLine.find(' ', start + 1);
  return requestLine.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

std::optional<std::string> RecordedRequest::Header(std::string_view name) const {
  for (const std::string& line : headerLines) {
    if (auto parts = SplitHeaderLine(line); parts && EqualsIgnoringCase(parts->first, name)) {
      return std::string(parts->second);
    }
  }
  return std::nullopt;
}

int RecordedRequest::HeaderCount(std::string_view name) const {
  return static_cast<int>(std::count_if(headerLines.begin(), headerLines.end(), [name](const std::string& line) {
    auto parts = SplitHeaderLine(line);
    return parts && EqualsIgnoringCase(parts->first, name);
  }));
}

RecordedRequest ParseRequestHead(std::string_view head) {
  RecordedRequest record;
  std::size_t at = 0;
  bool first = true;
  while (at < head.size()) {
    const std::size_t end = head.find("\r\n", at);
    if (end == std::string_view::npos || end == at) break;
    std::string line(head.substr(at, end - at));
    if (first) {
      record.requestLine = std::move(line);
      first = false;
    } else {
      record.headerLines.push_back(std::move(line));
    }
    at = end + 2;
  }
  return record;
}

std::string LookupPath(std::string target) {
  for (std::string_view scheme : {"http://", "https://"}) {
    if (target.starts_with(scheme)) {
      const std::size_t slash = target.find('/', scheme.size());
      target = slash == std::string::npos ? "/" : target.substr(slash);
    }
  }
  return target.substr(0, target.find_first_of("?#"));
}

}  // namespace kestrin::testsupport
