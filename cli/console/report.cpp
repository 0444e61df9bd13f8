#include "cli/console/report.h"

#include <nlohmann/json.hpp>

#include "cli/console/messages.h"
#include "cli/sources/dates.h"

namespace kestrin::cli {
namespace {

int Rank(int code) {
  switch (code) {
    case kExitUsage: return 4;
    case kExitAuth: return 3;
    case kExitQuota: return 2;
    case kExitProblems: return 1;
    default: return 0;
  }
}

// Members in the order written, as a reader of the lines expects them.
std::string Json(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Count(std::int64_t n) { return std::to_string(n); }

}  // namespace

std::string Grouped(std::int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  for (auto at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return (n < 0 ? "-" : "") + digits;
}

int WorseExit(int a, int b) { return Rank(b) > Rank(a) ? b : a; }

std::string StateWords(AddressState state) {
  switch (state) {
    case AddressState::kAccepted: return Tr("accepted", "已接受");
    case AddressState::kNotValid: return Tr("not_valid", "不合法（not_valid）");
    case AddressState::kNotSameSite: return Tr("not_same_site", "不属于本站（not_same_site）");
    case AddressState::kQueued: return Tr("queued", "排队");
    case AddressState::kFailed: break;
  }
  return Tr("failed", "失败");
}

std::string InvalidLog::Tell(std::string_view source, std::string_view entry, const std::string& reason) {
  if (++counts_[{std::string(source), reason}] > kNamed) return {};
  return "kestrin-cli: " + Printable(std::string(source) + (source.empty() ? "" : ": ") + reason + ": " + std::string(entry));
}

std::vector<std::string> InvalidLog::Rest() const {
  std::vector<std::string> lines;
  for (const auto& [key, count] : counts_) {
    if (count <= kNamed) continue;
    const std::string more = Count(static_cast<std::int64_t>(count - kNamed));
    lines.push_back("kestrin-cli: " + Printable(key.first + (key.first.empty() ? "" : ": ") +
                                                Tr(more + " more: ", "另有 " + more + " 项：") + key.second));
  }
  return lines;
}

Report::Report(std::ostream& out, std::ostream& err, bool json, bool progress)
    : out_(out), err_(err), json_(json), progress_(progress) {}

void Report::Add(std::string_view engine, const AddressOutcome& outcome, bool sent) {
  if (sent) ++summary_.sent;
  switch (outcome.state) {
    case AddressState::kAccepted: ++summary_.accepted; break;
    case AddressState::kNotValid:
    case AddressState::kNotSameSite:
      ++summary_.refused;
      refused_.push_back(std::string(engine) + " " + StateWords(outcome.state) + ": " + Printable(outcome.url));
      exit_ = WorseExit(exit_, kExitProblems);
      break;
    case AddressState::kQueued:
      ++summary_.queued;
      exit_ = WorseExit(exit_, kExitQuota);
      break;
    case AddressState::kFailed:
      ++summary_.failed;
      exit_ = WorseExit(exit_, kExitProblems);
      break;
  }
  if (outcome.state == AddressState::kFailed) {
    // The reason may be the interface's own words: no byte of it may steer the terminal.
    ++summary_.reasons[StateWords(outcome.state) + (outcome.reason.empty() ? "" : ": " + Printable(outcome.reason))];
  }
  if (json_) {
    out_ << Json({{"url", outcome.url}, {"engine", engine}, {"state", StateName(outcome.state)},
                  {"reason", outcome.reason}})
         << '\n';
  }
}

void Report::Skipped(std::int64_t count) { summary_.skipped += count; }

void Report::Invalid(std::string_view source, std::string_view entry, const std::string& reason) {
  ClearProgress();
  ++summary_.invalid;
  if (const std::string line = invalid_.Tell(source, entry, reason); !line.empty()) err_ << line << '\n';
  if (json_) {
    out_ << Json({{"url", entry}, {"engine", ""}, {"state", "invalid"}, {"reason", reason}, {"source", source}})
         << '\n';
  }
}

void Report::Quota(std::string_view engine, std::string_view site, std::int64_t remain) {
  summary_.quota[{std::string(engine), std::string(site)}] = remain;
}

void Report::QuotaSpent(std::string_view engine, std::string_view site, std::int64_t queued) {
  Quota(engine, site, 0);
  exit_ = WorseExit(exit_, kExitQuota);
  if (!spentTold_.emplace(std::string(engine), std::string(site)).second) return;
  ClearProgress();
  err_ << "kestrin-cli: "
       << Tr("{} quota for {} is spent for today: {} addresses are queued for the next Beijing day",
             "{} 的站点 {} 今日配额已用完：{} 个地址已排队，北京时间次日再推送", {engine, site, Count(queued)})
       << '\n';
}

void Report::Waiting(std::string_view engine, std::string_view site, std::int64_t count, std::int64_t oldestMs) {
  summary_.waiting[{std::string(engine), std::string(site)}] = {count, oldestMs};
}

void Report::Plan(std::string_view engine, std::string_view url, bool send) {
  const char* state = send ? "would-send" : "would-wait";
  ++(send ? summary_.wouldSend : summary_.wouldWait);
  std::string line = json_ ? Json({{"url", url}, {"engine", engine}, {"state", state}, {"reason", ""}})
                           : std::string(state) + " " + std::string(engine) + " " + std::string(url);
  if (send) {
    out_ << line << '\n';
  } else {
    wouldWait_.push_back(std::move(line));
  }
}

void Report::Progress(std::string_view engine, std::string_view site, std::int64_t done, std::int64_t total) {
  if (!progress_) return;
  err_ << '\r' << engine << ' ' << site << ": " << done << '/' << total << "\x1b[K" << std::flush;
  progressShown_ = true;
}

void Report::ClearProgress() {
  if (!progressShown_) return;
  err_ << "\r\x1b[K";
  progressShown_ = false;
}

void Report::Problem(int code, const std::string& message) {
  ClearProgress();
  err_ << "kestrin-cli: " << Printable(message) << '\n';
  exit_ = WorseExit(exit_, code);
}

void Report::Finish() {
  ClearProgress();
  for (const std::string& line : invalid_.Rest()) err_ << line << '\n';
  for (const std::string& line : wouldWait_) out_ << line << '\n';
  const Summary& s = summary_;
  if (s.planned) {
    err_ << Tr("would send " + Count(s.wouldSend) + ", would wait " + Count(s.wouldWait) +
                   ", skipped as already accepted " + Count(s.skipped) + ", skipped as invalid " + Count(s.invalid),
               "将发送 " + Count(s.wouldSend) + "，将等待 " + Count(s.wouldWait) + "，已接受过而跳过 " +
                   Count(s.skipped) + "，无效而跳过 " + Count(s.invalid))
         << '\n';
  } else {
    err_ << Tr("sent " + Count(s.sent) + ", accepted " + Count(s.accepted) + ", refused " + Count(s.refused) +
                 ", skipped as already accepted " + Count(s.skipped) + ", skipped as invalid " + Count(s.invalid) +
                 ", queued " + Count(s.queued) + ", failed " + Count(s.failed),
             "已发送 " + Count(s.sent) + "，已接受 " + Count(s.accepted) + "，被拒绝 " + Count(s.refused) +
                 "，已接受过而跳过 " + Count(s.skipped) + "，无效而跳过 " + Count(s.invalid) + "，排队 " +
                 Count(s.queued) + "，失败 " + Count(s.failed))
         << '\n';
  }
  for (const std::string& line : refused_) err_ << "  " << line << '\n';
  for (const auto& [reason, count] : s.reasons) err_ << "  " << count << " x " << reason << '\n';
  for (const auto& [key, remain] : s.quota) {
    err_ << Tr("  quota left: {} {}: {}", "  剩余配额：{} {}：{}", {key.first, key.second, Count(remain)}) << '\n';
  }
  for (const auto& [key, waiting] : s.waiting) {
    const std::string oldest = waiting.second > 0 ? DayText(BeijingDay(waiting.second / 1000)) : "";
    err_ << "  " << key.first << " " << key.second << ": "
         << Tr(Grouped(waiting.first) + (waiting.first == 1 ? " address waits" : " addresses wait") +
                   (oldest.empty() ? "" : ", the oldest queued " + oldest),
               Grouped(waiting.first) + " 个地址等待推送" + (oldest.empty() ? "" : "，最早于 " + oldest + " 排队"))
         << '\n';
  }
  if (json_) {
    nlohmann::ordered_json quota = nlohmann::ordered_json::array();
    for (const auto& [key, remain] : s.quota) {
      quota.push_back({{"engine", key.first}, {"site", key.second}, {"remain", remain}});
    }
    nlohmann::ordered_json waiting = nlohmann::ordered_json::array();
    for (const auto& [key, wait] : s.waiting) {
      waiting.push_back({{"engine", key.first},
                         {"site", key.second},
                         {"count", wait.first},
                         {"oldest", wait.second > 0 ? DayText(BeijingDay(wait.second / 1000)) : ""}});
    }
    nlohmann::ordered_json summary = {{"sent", s.sent},         {"accepted", s.accepted}, {"refused", s.refused},
                                      {"skipped", s.skipped},   {"invalid", s.invalid},   {"queued", s.queued},
                                      {"failed", s.failed},     {"quota", quota},         {"waiting", waiting}};
    if (s.planned) {
      summary["would_send"] = s.wouldSend;
      summary["would_wait"] = s.wouldWait;
    }
    out_ << Json({{"summary", summary}}) << '\n';
  }
  out_.flush();
  err_.flush();
}

int Report::Exit() const { return exit_; }

}  // namespace kestrin::cli
