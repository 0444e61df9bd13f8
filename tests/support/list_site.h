// A small web site on 127.0.0.1 that stands in for the outside world in tests: a webmaster's
// paginated article lists, the search engine's link-submission interface and the publisher's
// notice page, on one HttpServer on a free port. The constructor starts it, the
// destructor stops it; every method may be called while requests are being served.
//
// What it serves:
//   GET  a path set with SetPage, SetListPage or AddNumberedListPages: that page. A key may hold
//        a query ("/list?page=2"); the path alone is tried when the full target is not set.
//   GET  /notice.html: the notice page set with SetNotice or SetNoticeText (404 until then).
//   GET  /pop/<anything>: a small pop-up page.
//   GET  anything else: 404 with an HTML error page, as a real site answers.
//   POST any path that begins with /urls: the link-submission interface. It records the request
//        and answers, in this order of choice, the answer set for that exact body, the next
//        queued answer, or the default answer (accepted, as the real one answers a good address).
//
// List pages use the main window's default markers: the list opens with <div class="cca"> and a
// CR LF, ends with </ul>, and every article is <li><a href="…" …>. Texts passed in are GBK; the
// page is served in UTF-8 or in GBK as chosen.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.h"

namespace kestrin::testsupport {

enum class PageEncoding { kUtf8, kGbk };

// One article of a list page: its href exactly as the page writes it, and its title (GBK).
struct ListLink {
  std::string href;
  Text title;
};

// How AddNumberedListPages writes its hrefs.
enum class LinkForm {
  kRootRelative,      // /html/<page>/<k>.html
  kRelative,          // art_<page>_<k>.html, next to the list page
  kAbsolute,          // http://127.0.0.1:<port>/html/<page>/<k>.html
  kProtocolRelative,  // //127.0.0.1:<port>/html/<page>/<k>.html
  kMixed,             // the four above in turn
};

struct InterfaceAnswer {
  int status = 200;
  std::string body;
};

// The answers of the real link-submission interface.
namespace answers {
inline const InterfaceAnswer kAccepted{200, R"({"remain":4999,"success":1})"};
inline const InterfaceAnswer kNoneAccepted{
    200, R"({"remain":4999,"success":0,"not_valid":["http://www.example.com/other.html"]})"};
inline const InterfaceAnswer kBadToken{401, R"({"error":401,"message":"token is not valid"})"};
inline const InterfaceAnswer kOverQuota{400, R"({"error":400,"message":"over quota"})"};
}  // namespace answers

// One request received by the interface: its target (path and query) and its body bytes.
struct Submission {
  std::string target;
  std::string body;
};

class ListSite {
 public:
  ListSite();
  ~ListSite();
  ListSite(const ListSite&) = delete;
  ListSite& operator=(const ListSite&) = delete;

  [[nodiscard]] int Port() const;
  // "http://127.0.0.1:<port>"
  [[nodiscard]] Text Origin() const;
  // Origin() followed by `path`.
  [[nodiscard]] Text Address(std::string_view path) const;

  // --- pages
  // Serves `body` as it is at `path`.
  void SetPage(const std::string& path, std::string body, int status = 200,
               std::string contentType = "text/html; charset=utf-8");
  // A whole list page in the default layout listing `links`, as GBK text with CR LF line ends;
  // links outside the list (navigation, paging) are part of it, as on a real site.
  [[nodiscard]] static Text ListPageText(const std::vector<ListLink>& links, PageEncoding encoding);
  // Serves ListPageText(links) at `path` in `encoding`.
  void SetListPage(const std::string& path, const std::vector<ListLink>& links,
                   PageEncoding encoding = PageEncoding::kUtf8);
  // Serves a list page for every number from..to, at `pattern` with each "$" replaced by the
  // number, each listing `perPage` articles with Chinese titles. Returns the full address of
  // every article in page order (from first to last), as a browser resolves the hrefs.
  std::vector<Text> AddNumberedListPages(const std::string& pattern, int from, int to, int perPage,
                                         PageEncoding encoding = PageEncoding::kUtf8,
                                         LinkForm form = LinkForm::kRootRelative);
  // Every GET target received, in order.
  [[nodiscard]] std::vector<std::string> Fetched() const;
  // The GET targets received that start with `prefix`, in order.
  [[nodiscard]] std::vector<std::string> FetchedUnder(std::string_view prefix) const;

  // --- link-submission interface
  // Origin() + "/urls?site=<site>&token=<token>"
  [[nodiscard]] Text InterfaceAddress(std::string_view site = "www.example.com",
                                      std::string_view token = "abcdefghijklmnop") const;
  void SetDefaultAnswer(InterfaceAnswer answer);
  void SetAnswerFor(const std::string& body, InterfaceAnswer answer);
  void QueueAnswers(const std::vector<InterfaceAnswer>& answers);
  [[nodiscard]] std::vector<Submission> Submissions() const;

  // --- notice page
  // A notice page (an ordinary HTML page) carrying "版本：" version "|" and
  // "弹网：" PopupPrefix() "|".
  void SetNotice(const Text& version, PageEncoding encoding = PageEncoding::kUtf8);
  // A notice page of any GBK text, served in `encoding`.
  void SetNoticeText(const Text& text, PageEncoding encoding = PageEncoding::kUtf8);
  [[nodiscard]] Text NoticeAddress() const;  // Origin() + "/notice.html"
  [[nodiscard]] Text PopupPrefix() const;    // Origin() + "/pop/"
  [[nodiscard]] int NoticeFetches() const;

  // Forgets the requests received so far (pages and answers stay).
  void ClearRecords();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kestrin::testsupport
