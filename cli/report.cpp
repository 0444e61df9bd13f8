#include "cli/report.h"

#include <nlohmann/json.hpp>

#include "cli/messages.h"

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

}  // namespace

int WorseExit(int a, int b) { return Rank(b) > Rank(a) ? b : a; }

Report::Report(std::ostream& out, std::ostream& err, bool json, bool progress)
    : out_(out), err_(err), json_(json), progress_(progress) {}

void Report::Add(std::string_view engine, const AddressOutcome& outcome, bool sent) {
  if (sent) ++summary_.sent;
  switch (outcome.state) {
    case AddressState::kAccepted: ++summary_.accepted; break;
    case AddressState::kNotValid:
    case AddressState::kNotSameSite:
      ++summary_.refused;
      problems_ = true;
      break;
    case AddressState::kQueued:
      ++summary_.queued;
      quota_ = true;
      break;
    case AddressState::kFailed:
      ++summary_.failed;
      problems_ = true;
      break;
  }
  if (outcome.state != AddressState::kAccepted && outcome.state != AddressState::kQueued) {
    ++summary_.reasons[std::string(StateName(outcome.state)) +
                       (outcome.reason.empty() || outcome.reason == StateName(outcome.state) ? ""
                                                                                              : ": " + outcome.reason)];
  }
  if (json_) {
    out_ << Json({{"url", outcome.url}, {"engine", engine}, {"state", StateName(outcome.state)},
                  {"reason", outcome.reason}})
         << '\n';
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

void Report::Problem(ExitCode code, const std::string& message) {
  ClearProgress();
  err_ << "kestrin-cli: " << message << '\n';
  if (code == kExitUsage) usage_ = true;
  if (code == kExitAuth) auth_ = true;
  if (code == kExitQuota) quota_ = true;
  if (code == kExitProblems) problems_ = true;
}

void Report::Finish() {
  ClearProgress();
  const Summary& s = summary_;
  err_ << Tr("sent " + std::to_string(s.sent) + ", accepted " + std::to_string(s.accepted) + ", refused " +
                 std::to_string(s.refused) + ", queued " + std::to_string(s.queued) + ", failed " +
                 std::to_string(s.failed),
             "已发送 " + std::to_string(s.sent) + "，已接受 " + std::to_string(s.accepted) + "，被拒绝 " +
                 std::to_string(s.refused) + "，排队 " + std::to_string(s.queued) + "，失败 " +
                 std::to_string(s.failed))
       << '\n';
  for (const auto& [reason, count] : s.reasons) err_ << "  " << count << " x " << reason << '\n';
  if (json_) {
    out_ << Json({{"summary",
                   {{"sent", s.sent}, {"accepted", s.accepted}, {"refused", s.refused}, {"queued", s.queued},
                    {"failed", s.failed}}}})
         << '\n';
  }
  out_.flush();
  err_.flush();
}

int Report::Exit() const {
  if (usage_) return kExitUsage;
  if (auth_) return kExitAuth;
  if (quota_) return kExitQuota;
  if (problems_) return kExitProblems;
  return kExitOk;
}

}  // namespace kestrin::cli
