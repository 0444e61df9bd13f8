// Stand-ins for the two engines on 127.0.0.1, enforcing the rules the real ones document.
//
// MockBaidu: POST /urls?site=SITE&token=TOKEN[&type=daily], addresses one per line.
//   - a token other than the one set: 401 token is not valid;
//   - a site other than the one set: 400 site error;
//   - no address: 400 empty content; more than 2000: 400 only 2000 urls are allowed once;
//   - more addresses than the quota left (normal or daily, each its own): 400 over quota;
//   - otherwise an address whose host differs from the site's is not_same_site, one whose path
//     holds "/invalid" is not_valid, the rest are accepted and the quota goes down by them;
//     the answer is {"remain":R,"success":N[,"not_same_site":[…]][,"not_valid":[…]]}, with
//     remain_daily and success_daily for type=daily.
//   Statuses to answer instead, one per request, can be queued (500s, 429s).
// MockIndexNow: POST /indexnow with {host, key, keyLocation, urlList}; 403 for another key, 422
//   when an address's host is not `host`, 400 for a malformed body or more than 10,000
//   addresses, else 200. GET /KEY.txt serves the key file.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/http_server.h"

namespace kestrin::testsupport {

class MockBaidu {
 public:
  // `site` as the interface knows it, e.g. "http://127.0.0.1:1234" or "www.example.com".
  MockBaidu(std::string site, std::string token, std::int64_t quota, std::int64_t dailyQuota = 10);

  [[nodiscard]] std::string Interface() const;  // the address without a query
  [[nodiscard]] int RequestCount() const;
  // The addresses of every request, in order; one inner list per request.
  [[nodiscard]] std::vector<std::vector<std::string>> Batches() const;
  [[nodiscard]] std::vector<std::string> Targets() const;  // path and query of every request
  [[nodiscard]] std::vector<std::string> ContentTypes() const;  // of every request
  [[nodiscard]] std::int64_t Remain() const;
  void SetRemain(std::int64_t remain);
  // Answers the next requests with these statuses (and a JSON error body), then as usual.
  void QueueStatuses(std::vector<int> statuses);
  // Holds every answer this long, so that runs started together overlap; a request is counted
  // when it arrives.
  void SetDelayMs(int delayMs);

 private:
  struct State {
    std::mutex mutex;
    int delayMs = 0;
    std::string site;
    std::string token;
    std::int64_t remain;
    std::int64_t remainDaily;
    std::deque<int> statuses;
    std::vector<std::vector<std::string>> batches;
    std::vector<std::string> targets;
    std::vector<std::string> contentTypes;
  };
  std::shared_ptr<State> state_;
  HttpServer server_;
};

class MockIndexNow {
 public:
  explicit MockIndexNow(std::string key);

  [[nodiscard]] std::string Endpoint() const;      // …/indexnow
  [[nodiscard]] std::string KeyLocation() const;   // …/KEY.txt
  [[nodiscard]] std::string Origin() const;
  void ServeKeyFile(std::string body);             // what GET /KEY.txt answers (the key unless set)
  [[nodiscard]] int PostCount() const;
  [[nodiscard]] std::vector<std::string> Bodies() const;

 private:
  struct State {
    std::mutex mutex;
    std::string key;
    std::string keyFile;
    std::vector<std::string> bodies;
  };
  std::shared_ptr<State> state_;
  HttpServer server_;
};

}  // namespace kestrin::testsupport
