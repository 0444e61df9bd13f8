#include "tests/cli/mock_engines.h"

#include <nlohmann/json.hpp>
#include <thread>  // also brings std::chrono::milliseconds; <chrono> itself cannot be built for GBK

namespace kestrin::testsupport {
namespace {

std::string HostPort(const std::string& address) {
  const auto scheme = address.find("://");
  std::string rest = scheme == std::string::npos ? address : address.substr(scheme + 3);
  return rest.substr(0, rest.find_first_of("/?#"));
}

std::string JustHost(const std::string& hostPort) { return hostPort.substr(0, hostPort.find(':')); }

std::vector<std::string> Lines(const std::string& body) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < body.size()) {
    const auto end = body.find('\n', start);
    std::string line = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// The %-decoded value of `name` in the query; empty when it has none (the key put at its end is found).
std::string QueryValue(const RecordedRequest& request, const std::string& name) {
  const std::string key = "&" + name + "=";
  const std::string query = "&" + request.Target().substr(request.Target().find('?') + 1) + key;
  std::string value;
  for (auto at = query.find(key) + key.size(); at < query.size() && query[at] != '&'; ++at) {
    const bool escaped = query[at] == '%' && at + 2 < query.size();
    value += escaped ? static_cast<char>(std::stoi(query.substr(at + 1, 2), nullptr, 16)) : query[at];
    at += escaped ? 2 : 0;
  }
  return value;
}

ScriptedReply Error(int code, const std::string& message) {
  return {.status = code, .body = nlohmann::json{{"error", code}, {"message", message}}.dump(),
          .contentType = "application/json"};
}

}  // namespace

MockBaidu::MockBaidu(std::string site, std::string token, std::int64_t quota, std::int64_t dailyQuota)
    : state_(std::make_shared<State>()) {
  state_->site = std::move(site);
  state_->token = std::move(token);
  state_->remain = quota;
  state_->remainDaily = dailyQuota;
  server_.Answer("/urls", [state = state_](const RecordedRequest& request) {
    // A request counts from its arrival; the delay holds only its answer.
    const std::vector<std::string> urls = Lines(request.body);
    int delayMs = 0;
    {
      std::lock_guard lock(state->mutex);
      delayMs = state->delayMs;
      state->batches.push_back(urls);
      state->targets.push_back(request.Target());
      state->contentTypes.push_back(request.Header("Content-Type").value_or(""));
    }
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    std::lock_guard lock(state->mutex);
    if (!state->statuses.empty()) {
      const int status = state->statuses.front();
      state->statuses.pop_front();
      return Error(status, status == 500 ? "internal error" : "too many requests");
    }
    if (QueryValue(request, "token") != state->token) return Error(401, "token is not valid");
    const std::string site = QueryValue(request, "site");
    if (site != state->site) return Error(400, "site error");
    if (urls.empty()) return Error(400, "empty content");
    if (urls.size() > 2000) return Error(400, "only 2000 urls are allowed once");
    const bool daily = QueryValue(request, "type") == "daily";
    std::int64_t& remain = daily ? state->remainDaily : state->remain;
    if (static_cast<std::int64_t>(urls.size()) > remain) return Error(400, "over quota");

    nlohmann::json notSameSite = nlohmann::json::array();
    nlohmann::json notValid = nlohmann::json::array();
    std::int64_t success = 0;
    for (const std::string& url : urls) {
      if (JustHost(HostPort(url)) != JustHost(HostPort(site))) {
        notSameSite.push_back(url);
      } else if (url.find("/invalid") != std::string::npos) {
        notValid.push_back(url);
      } else {
        ++success;
      }
    }
    remain -= success;
    nlohmann::json answer;
    answer[daily ? "remain_daily" : "remain"] = remain;
    answer[daily ? "success_daily" : "success"] = success;
    if (!notSameSite.empty()) answer["not_same_site"] = notSameSite;
    if (!notValid.empty()) answer["not_valid"] = notValid;
    return ScriptedReply{.body = answer.dump(), .contentType = "application/json"};
  });
}

std::string MockBaidu::Interface() const { return server_.Url("/urls"); }

int MockBaidu::RequestCount() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<int>(state_->batches.size());
}

std::vector<std::vector<std::string>> MockBaidu::Batches() const {
  std::lock_guard lock(state_->mutex);
  return state_->batches;
}

std::vector<std::string> MockBaidu::Targets() const {
  std::lock_guard lock(state_->mutex);
  return state_->targets;
}

std::vector<std::string> MockBaidu::ContentTypes() const {
  std::lock_guard lock(state_->mutex);
  return state_->contentTypes;
}

std::int64_t MockBaidu::Remain() const {
  std::lock_guard lock(state_->mutex);
  return state_->remain;
}

void MockBaidu::SetRemain(std::int64_t remain) {
  std::lock_guard lock(state_->mutex);
  state_->remain = remain;
}

void MockBaidu::SetDelayMs(int delayMs) {
  std::lock_guard lock(state_->mutex);
  state_->delayMs = delayMs;
}

void MockBaidu::QueueStatuses(std::vector<int> statuses) {
  std::lock_guard lock(state_->mutex);
  state_->statuses.insert(state_->statuses.end(), statuses.begin(), statuses.end());
}

MockIndexNow::MockIndexNow(std::string key) : state_(std::make_shared<State>()) {
  state_->key = key;
  state_->keyFile = std::move(key);
  server_.Answer("/" + state_->key + ".txt", [state = state_](const RecordedRequest&) {
    std::lock_guard lock(state->mutex);
    return ScriptedReply{.body = state->keyFile, .contentType = "text/plain"};
  });
  server_.Answer("/indexnow", [state = state_](const RecordedRequest& request) {
    std::lock_guard lock(state->mutex);
    state->bodies.push_back(request.body);
    const auto json = nlohmann::json::parse(request.body, nullptr, false);
    if (json.is_discarded() || !json.is_object() || !json.contains("host") || !json.contains("key") ||
        !json.contains("urlList") || !json["urlList"].is_array() || json["urlList"].size() > 10000) {
      return ScriptedReply{.status = 400};
    }
    if (json["key"] != state->key) return ScriptedReply{.status = 403};
    for (const auto& url : json["urlList"]) {
      if (!url.is_string() || JustHost(HostPort(url.get<std::string>())) != json["host"]) {
        return ScriptedReply{.status = 422};
      }
    }
    return ScriptedReply{.status = 200};
  });
}

std::string MockIndexNow::Endpoint() const { return server_.Url("/indexnow"); }
std::string MockIndexNow::KeyLocation() const { return server_.Url("/" + state_->key + ".txt"); }
std::string MockIndexNow::Origin() const { return server_.Origin(); }

void MockIndexNow::ServeKeyFile(std::string body) {
  std::lock_guard lock(state_->mutex);
  state_->keyFile = std::move(body);
}

int MockIndexNow::PostCount() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<int>(state_->bodies.size());
}

std::vector<std::string> MockIndexNow::Bodies() const {
  std::lock_guard lock(state_->mutex);
  return state_->bodies;
}

}  // namespace kestrin::testsupport
