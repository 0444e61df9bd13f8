// The publisher's notice page for kestrin_e2e, on the port the program was built to read it from.
#pragma once

#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/app/e2e/desktop.h"

namespace kestrin::e2e {

// Names `version` (by default the program's own, so that no message box interrupts a run) and
// sends the pop-up to `popupPrefix` (a ListSite's, which records the browser's request).
class NoticeServer {
 public:
  NoticeServer(int port, const std::string& popupPrefix, const std::string& version = "v1.0") {
    page_ = "<html><body><p>" + Utf8(u8"版本：") + version + "|</p><p>" + Utf8(u8"弹网：") + popupPrefix +
            "|</p></body></html>";
    server_.Get("/notice.html", [this](const httplib::Request&, httplib::Response& response) {
      ++requests_;
      response.set_content(page_, "text/html; charset=utf-8");
    });
    listening_ = server_.bind_to_port("127.0.0.1", port);
    if (listening_) thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~NoticeServer() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }
  NoticeServer(const NoticeServer&) = delete;
  NoticeServer& operator=(const NoticeServer&) = delete;

  [[nodiscard]] bool Listening() const { return listening_; }
  // Readings of the notice page so far.
  [[nodiscard]] int Requests() const { return requests_; }

 private:
  httplib::Server server_;
  std::string page_;
  std::thread thread_;
  bool listening_ = false;
  std::atomic<int> requests_{0};
};

}  // namespace kestrin::e2e
