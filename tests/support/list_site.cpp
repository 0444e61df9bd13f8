#include "tests/support/list_site.h"

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "runtime/codepage.h"
#include "tests/support/http_server.h"

namespace kestrin::testsupport {
namespace {

struct Page {
  std::string body;
  int status = 200;
  std::string contentType;
};

std::string Encoded(const Text& gbk, PageEncoding encoding) {
  return encoding == PageEncoding::kUtf8 ? GbkToUtf8(gbk) : gbk;
}

std::string ContentType(PageEncoding encoding) {
  return encoding == PageEncoding::kUtf8 ? "text/html; charset=utf-8" : "text/html; charset=gbk";
}

std::string Charset(PageEncoding encoding) { return encoding == PageEncoding::kUtf8 ? "utf-8" : "gbk"; }

std::string ReplaceDollars(const std::string& pattern, long long number) {
  std::string out;
  for (char c : pattern) {
    if (c == '$') {
      out += std::to_string(number);
    } else {
      out += c;
    }
  }
  return out;
}

// The folder part of a page path ("/list/index_2.html?x" -> "/list/").
std::string FolderOf(const std::string& path) {
  const std::string bare = path.substr(0, path.find('?'));
  return bare.substr(0, bare.rfind('/') + 1);
}

}  // namespace

struct ListSite::State {

  mutable std::mutex mutex;
  std::map<std::string, Page> pages;
  std::optional<Page> notice;
  int noticeFetches = 0;
  std::vector<std::string> fetched;
  std::map<std::string, InterfaceAnswer> answerFor;
  std::deque<InterfaceAnswer> queued;
  InterfaceAnswer defaultAnswer = answers::kAccepted;
  std::vector<Submission> submissions;

  ScriptedReply Serve(const RecordedRequest& request) {
    const std::string method = request.Method();
    if (method == "GET" || method == "HEAD") return ServeGet(request.Target());
    if (method == "POST") return ServePost(request.Target(), request.body);
    return {.status = 404, .body = "<html><body>Not Found</body></html>"};
  }

  ScriptedReply ServeGet(const std::string& target) {
    const std::string path = LookupPath(target);
    std::optional<Page> page;
    {
      const std::lock_guard lock(mutex);
      fetched.push_back(target);
      if (path == "/notice.html") {
        ++noticeFetches;
        page = notice;
      } else if (const auto full = pages.find(target); full != pages.end()) {
        page = full->second;
      } else if (const auto bare = pages.find(path); bare != pages.end()) {
        page = bare->second;
      }
    }
    if (!page && path.rfind("/pop/", 0) == 0) {
      page = Page{GbkToUtf8("<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>公告</title></head>"
                            "<body><p>站长工具公告</p></body></html>\r\n"),
                  200, "text/html; charset=utf-8"};
    }
    if (!page) {
      page = Page{"<!DOCTYPE html>\r\n<html><head><title>404 Not Found</title></head>\r\n"
                  "<body><h1>Not Found</h1><p>The requested URL was not found on this server.</p></body></html>\r\n",
                  404, "text/html; charset=iso-8859-1"};
    }
    return {.status = page->status, .body = std::move(page->body), .contentType = std::move(page->contentType)};
  }

  ScriptedReply ServePost(const std::string& target, const std::string& body) {
    if (LookupPath(target).rfind("/urls", 0) != 0) {
      return {.status = 404, .body = R"({"error":404,"message":"not found"})", .contentType = "application/json"};
    }
    InterfaceAnswer answer;
    {
      const std::lock_guard lock(mutex);
      submissions.push_back({target, body});
      if (const auto it = answerFor.find(body); it != answerFor.end()) {
        answer = it->second;
      } else if (!queued.empty()) {
        answer = queued.front();
        queued.pop_front();
      } else {
        answer = defaultAnswer;
      }
    }
    return {.status = answer.status, .body = std::move(answer.body), .contentType = "application/json"};
  }

  // Last, so that it stops serving before the records above go.
  HttpServer server;
};

ListSite::ListSite() : state_(std::make_unique<State>()) {
  State& state = *state_;
  if (!state.server.Available()) throw std::runtime_error("the list site found no free port on 127.0.0.1");
  // The site is a stand-in for long runs: it keeps its own records, and the server keeps none.
  state.server.KeepNoRecords();
  state.server.Answer("/*", [&state](const RecordedRequest& request) { return state.Serve(request); });
}

ListSite::~ListSite() = default;

int ListSite::Port() const { return state_->server.Port(); }

Text ListSite::Origin() const { return state_->server.Origin(); }

Text ListSite::Address(std::string_view path) const { return Origin() + std::string(path); }

void ListSite::SetPage(const std::string& path, std::string body, int status, std::string contentType) {
  const std::lock_guard lock(state_->mutex);
  state_->pages[path] = Page{std::move(body), status, std::move(contentType)};
}

Text ListSite::ListPageText(const std::vector<ListLink>& links, PageEncoding encoding) {
  Text page =
      "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"" + Charset(encoding) +
      "\">\r\n<title>文章列表 - 示例站点</title>\r\n</head>\r\n<body>\r\n"
      "<div class=\"nav\"><a href=\"/\">首页</a> <a href=\"/about.html\">关于我们</a></div>\r\n"
      "<div class=\"cca\">\r\n<ul>\r\n";
  for (const ListLink& link : links) {
    page += "<li><a href=\"" + link.href + "\" title=\"" + link.title + "\">" + link.title +
            "</a><span>2026-12-01</span></li>\r\n";
  }
  page +=
      "</ul>\r\n</div>\r\n"
      "<div class=\"pages\"><a href=\"/list/index_1.html\">首页</a> <a href=\"/list/index_2.html\">下一页</a></div>\r\n"
      "<div class=\"foot\">版权所有 示例站点</div>\r\n</body>\r\n</html>\r\n";
  return page;
}

void ListSite::SetListPage(const std::string& path, const std::vector<ListLink>& links, PageEncoding encoding) {
  SetPage(path, Encoded(ListPageText(links, encoding), encoding), 200, ContentType(encoding));
}

std::vector<Text> ListSite::AddNumberedListPages(const std::string& pattern, int from, int to, int perPage,
                                                 PageEncoding encoding, LinkForm form) {
  std::vector<Text> expected;
  const std::string host = state_->server.Authority();
  for (long long page = from; page <= to; ++page) {  // to may be INT_MAX
    const std::string path = ReplaceDollars(pattern, page);
    std::vector<ListLink> links;
    for (int k = 1; k <= perPage; ++k) {
      const std::string tail = "html/" + std::to_string(page) + "/" + std::to_string(k) + ".html";
      LinkForm thisForm = form;
      if (form == LinkForm::kMixed) thisForm = static_cast<LinkForm>((k - 1) % 4);
      ListLink link{{}, "第" + std::to_string(page) + "页第" + std::to_string(k) + "篇文章"};
      switch (thisForm) {
        case LinkForm::kRelative: {
          const std::string name = "art_" + std::to_string(page) + "_" + std::to_string(k) + ".html";
          link.href = name;
          expected.push_back(Origin() + FolderOf(path) + name);
          break;
        }
        case LinkForm::kAbsolute:
          link.href = Origin() + "/" + tail;
          expected.push_back(link.href);
          break;
        case LinkForm::kProtocolRelative:
          link.href = "//" + host + "/" + tail;
          expected.push_back("http:" + link.href);
          break;
        default:
          link.href = "/" + tail;
          expected.push_back(Origin() + link.href);
          break;
      }
      links.push_back(std::move(link));
    }
    SetListPage(path, links, encoding);
  }
  return expected;
}

std::vector<std::string> ListSite::Fetched() const {
  const std::lock_guard lock(state_->mutex);
  return state_->fetched;
}

std::vector<std::string> ListSite::FetchedUnder(std::string_view prefix) const {
  std::vector<std::string> under;
  for (std::string& target : Fetched()) {
    if (target.starts_with(prefix)) under.push_back(std::move(target));
  }
  return under;
}

Text ListSite::InterfaceAddress(std::string_view site, std::string_view token) const {
  return Origin() + "/urls?site=" + std::string(site) + "&token=" + std::string(token);
}

void ListSite::SetDefaultAnswer(InterfaceAnswer answer) {
  const std::lock_guard lock(state_->mutex);
  state_->defaultAnswer = std::move(answer);
}

void ListSite::SetAnswerFor(const std::string& body, InterfaceAnswer answer) {
  const std::lock_guard lock(state_->mutex);
  state_->answerFor[body] = std::move(answer);
}

void ListSite::QueueAnswers(const std::vector<InterfaceAnswer>& answers) {
  const std::lock_guard lock(state_->mutex);
  state_->queued.insert(state_->queued.end(), answers.begin(), answers.end());
}

std::vector<Submission> ListSite::Submissions() const {
  const std::lock_guard lock(state_->mutex);
  return state_->submissions;
}

void ListSite::SetNotice(const Text& version, PageEncoding encoding) {
  SetNoticeText("<!DOCTYPE html>\r\n<html><head><meta charset=\"" + Charset(encoding) +
                    "\"><title>Kestrin 公告</title></head>\r\n<body>\r\n"
                    "<p>版本：" + version + "|</p>\r\n"
                    "<p>更新说明：修复了若干问题，提升了推送速度。</p>\r\n"
                    "<p>弹网：" + PopupPrefix() + "|</p>\r\n</body></html>\r\n",
                encoding);
}

void ListSite::SetNoticeText(const Text& text, PageEncoding encoding) {
  const std::lock_guard lock(state_->mutex);
  state_->notice = Page{Encoded(text, encoding), 200, ContentType(encoding)};
}

Text ListSite::NoticeAddress() const { return Origin() + "/notice.html"; }

Text ListSite::PopupPrefix() const { return Origin() + "/pop/"; }

int ListSite::NoticeFetches() const {
  const std::lock_guard lock(state_->mutex);
  return state_->noticeFetches;
}

void ListSite::ClearRecords() {
  const std::lock_guard lock(state_->mutex);
  state_->fetched.clear();
  state_->submissions.clear();
  state_->noticeFetches = 0;
}

}  // namespace kestrin::testsupport
