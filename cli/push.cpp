#include "cli/push.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <unordered_set>

#include "cli/candidate_order.h"
#include "cli/console/messages.h"
#include "cli/engines/address_form.h"
#include "cli/engines/baidu.h"
#include "cli/engines/indexnow.h"
#include "cli/engines/token.h"
#include "cli/history/history.h"
#include "cli/sources/files.h"
#include "cli/sources/dates.h"
#include "cli/sources/text_source.h"

namespace kestrin::cli {
namespace {

constexpr std::string_view kBaidu = "baidu";
constexpr std::string_view kIndexNow = "indexnow";

std::vector<std::string> EnginesOf(const SiteConfig& site) {
  return site.engines.empty() ? std::vector<std::string>{std::string(kBaidu)} : site.engines;
}

bool Uses(const SiteConfig& site, std::string_view engine) {
  const auto engines = EnginesOf(site);
  return std::find(engines.begin(), engines.end(), engine) != engines.end();
}

// The name of a setting as the reader wrote it: the file's key, or the command line's flag.
std::string Setting(const SiteConfig& site, std::string_view key, std::string_view flag) {
  return site.file.empty() ? std::string(flag) : std::string(key);
}

// Where a site's settings were written, for a message about them.
std::string Where(const SiteConfig& site) {
  if (site.file.empty()) return site.site.empty() ? "" : site.site + ": ";
  return site.file + ": [[site]] " + site.site + ": ";
}

// Why `engine` cannot be pushed for `site` as configured, or empty.
std::string SettingProblem(const SiteConfig& site, std::string_view engine) {
  if (engine != kBaidu && engine != kIndexNow) {
    return Where(site) + Tr("unknown engine \"{}\" in {} (baidu or indexnow)",
                            "{1} 中有未知的推送引擎“{0}”（可用 baidu 或 indexnow）",
                            {engine, Setting(site, "engines", "--engine")});
  }
  if (engine == kBaidu && (site.site.empty() || site.token.empty())) {
    return Where(site) + Tr("baidu needs {} and {}", "百度推送需要 {} 和 {}",
                            {Setting(site, "site", "--site"), Setting(site, "token", "--token")});
  }
  if (engine == kIndexNow && !ValidIndexNowKey(site.indexnowKey)) {
    const std::string key = Setting(site, "indexnow_key", "--key");
    return Where(site) + Tr("indexnow needs " + key + ": 8 to 128 letters, digits or '-'",
                            "IndexNow 推送需要 " + key + "：8 到 128 个字母、数字或“-”");
  }
  return {};
}


// What reading the sources met besides addresses: errors (the token kept out of them) and
// entries that are no address.
void TellSourceProblems(const SourceAddresses& read, const SiteConfig& site, Report& report) {
  for (const std::string& error : read.errors) report.Problem(kExitProblems, MaskTokenIn(error, site.token));
  for (const InvalidEntry& entry : read.invalid) {
    report.Invalid(entry.source, entry.entry, Tr("not an http(s) address", "不是 http(s) 地址"));
  }
}

class SitePush {
 public:
  SitePush(const PushSettings& settings, const PushNetwork& network, History& history, Report& report,
           const SiteConfig& site, std::int64_t runStartMs)
      : settings_(settings), network_(network), history_(history), report_(report), site_(site),
        runStartMs_(runStartMs) {}

  void Baidu(Listed listed) {
    const bool daily = site_.daily.value_or(false);
    const std::string interface = site_.interface.empty() ? std::string(kBaiduInterface) : site_.interface;
    const std::string address = BaiduAddress(interface, site_.site, site_.token, daily);
    Engine engine{kBaidu, site_.site, daily ? "baidu-daily" : "baidu", kBaiduBatch};
    Go(engine, std::move(listed), [&](std::span<const std::string> batch) {
      const std::string body = BaiduBody(batch);
      const HttpReply reply = Send(address, "text/plain", body);
      return Explained(ReadBaiduReply(reply, batch, daily), address, reply);
    });
  }

  // IndexNow for the hosts whose key file holds; `refused` lists those whose check failed.
  void IndexNow(const Listed& addresses, const std::unordered_set<std::string>& refused) {
    const std::string endpoint =
        site_.indexnowEndpoint.empty() ? std::string(kIndexNowEndpoint) : site_.indexnowEndpoint;
    for (auto& [host, hostAddresses] : ByHost(addresses)) {
      if (refused.contains(host)) continue;
      const std::string location =
          site_.keyLocation.empty() ? DefaultKeyLocation(host, site_.indexnowKey) : site_.keyLocation;
      Engine engine{kIndexNow, host, "", kIndexNowBatch};
      Go(engine, std::move(hostAddresses), [&](std::span<const std::string> batch) {
        const std::string body = IndexNowBody(host, site_.indexnowKey, location, batch);
        const HttpReply reply = Send(endpoint, "application/json; charset=utf-8", body);
        return Explained(ReadIndexNowReply(reply, batch), endpoint, reply);
      });
    }
  }

  // The addresses grouped by host, hosts in the order first met: IndexNow takes one host per request.
  static std::vector<std::pair<std::string, Listed>> ByHost(const Listed& addresses) {
    std::vector<std::pair<std::string, Listed>> groups;
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < addresses.urls.size(); ++i) {
      const std::string host = HostOf(addresses.urls[i]);
      const auto [at, added] = index.emplace(host, groups.size());
      if (added) groups.push_back({host, {}});
      Listed& group = groups[at->second].second;
      group.urls.push_back(addresses.urls[i]);
      if (i < addresses.days.size()) group.days.push_back(addresses.days[i]);
    }
    return groups;
  }

 private:
  struct Engine {
    std::string_view name;
    std::string_view site;   // the history's site: the interface's site, or the IndexNow host
    std::string_view quota;  // empty: no quota is kept
    std::size_t batch;
  };

  HttpReply Send(const std::string& address, std::string_view contentType, const std::string& body) {
    attempts_ = 0;
    return SendWithRetries(
        [&] {
          ++attempts_;
          return network_.post(address, contentType, body);
        },
        settings_.retry, network_.wait);
  }

  // A request that failed on the way, or whose failing answer was tried more than once, names the
  // host it went to and how often it was tried.
  BatchVerdict Explained(BatchVerdict verdict, const std::string& address, const HttpReply& reply) const {
    std::string reason;
    if (reply.transfer != Transfer::kComplete) {
      reason = DescribeFailure(address, reply, attempts_);
    } else if (Retryable(reply)) {
      reason = HostOf(address) + ": " + verdict.reason +
               Tr(" (" + std::to_string(attempts_) + " attempts)", "（共尝试 " + std::to_string(attempts_) + " 次）");
    } else {
      return verdict;
    }
    verdict.reason = reason;
    for (AddressOutcome& outcome : verdict.outcomes) {
      if (outcome.state == AddressState::kFailed) outcome.reason = reason;
    }
    return verdict;
  }

  using Sender = std::function<BatchVerdict(std::span<const std::string>)>;

  // Sends the listed addresses and those queued before in their order, or with --dry-run tells
  // what would go; then tells what waits.
  void Go(const Engine& engine, Listed listed, const Sender& send) {
    Candidates candidates = OrderCandidates(std::move(listed), history_.Waiting(engine.name, engine.site),
                                            BeijingDay(NowMs() / 1000));
    if (settings_.dryRun) return Plan(engine, candidates);
    Push(engine, std::move(candidates.urls), send);
    if (const Backlog backlog = history_.Queued(engine.name, engine.site); backlog.count > 0) {
      report_.Waiting(engine.name, engine.site, backlog.count, backlog.oldestMs);
    }
  }

  // What a run now would send, within the remain last known for the day, and what would wait.
  void Plan(const Engine& engine, const Candidates& candidates) {
    const std::vector<char> accepted = history_.AcceptedAmong(engine.name, candidates.urls, settings_.force);
    std::int64_t room = std::numeric_limits<std::int64_t>::max();
    if (!engine.quota.empty()) {
      if (const auto remain = history_.Remain(engine.quota, engine.site, BeijingDay(NowMs() / 1000))) {
        room = *remain;
        report_.Quota(engine.quota, engine.site, *remain);
      }
    }
    std::int64_t skipped = 0;
    std::int64_t waiting = 0;
    std::int64_t oldestMs = 0;
    for (std::size_t i = 0; i < candidates.urls.size(); ++i) {
      if (accepted[i] != 0) {
        ++skipped;
        continue;
      }
      const bool send = room > 0;
      if (send) {
        --room;
      } else {
        ++waiting;
        const std::int64_t seen = candidates.firstSeenMs[i];
        if (seen != 0 && (oldestMs == 0 || seen < oldestMs)) oldestMs = seen;
      }
      report_.Plan(engine.name, candidates.urls[i], send);
    }
    report_.Skipped(skipped);
    if (waiting > 0) report_.Waiting(engine.name, engine.site, waiting, oldestMs);
  }

  void Push(const Engine& engine, std::vector<std::string> candidates, const Sender& send) {
    Standings standings = history_.ReadStandings(engine.name, candidates, settings_.force);
    std::size_t next = 0;
    std::int64_t done = 0;
    bool probe = false;
    const int today = BeijingDay(NowMs() / 1000);
    if (!engine.quota.empty()) {
      if (const auto remain = history_.Remain(engine.quota, engine.site, today)) {
        report_.Quota(engine.quota, engine.site, *remain);
      }
    }
    while (next < candidates.size()) {
      const std::span<const std::string> rest = std::span<const std::string>(candidates).subspan(next);
      const int claimDay = BeijingDay(NowMs() / 1000);
      const Claim claim = history_.ClaimBatch({.engine = engine.name,
                                               .site = engine.site,
                                               .candidates = rest,
                                               .limit = probe ? 1 : engine.batch,
                                               .force = settings_.force,
                                               .runStartMs = runStartMs_,
                                               .standings = std::span<const char>(standings.flags).subspan(next),
                                               .standingsVersion = standings.version,
                                               .quota = engine.quota,
                                               .day = claimDay});
      if (claim.quotaExhausted) {
        const std::size_t queued = Stop(engine, std::span<const std::string>(candidates).subspan(next),
                                        AddressState::kQueued, Tr("quota spent for today", "今日配额已用完"));
        if (queued > 0) report_.QuotaSpent(engine.quota, engine.site, static_cast<std::int64_t>(queued));
        return;
      }
      next += claim.consumed;
      report_.Skipped(static_cast<std::int64_t>(claim.accepted));
      if (claim.urls.empty()) continue;

      const BatchVerdict verdict = send(claim.urls);
      if (verdict.end == BatchEnd::kOverQuota) {
        std::vector<AddressOutcome> queued;
        for (const std::string& url : claim.urls) queued.push_back({url, AddressState::kQueued, verdict.reason});
        if (!claim.quotaKnown && claim.urls.size() > 1) {
          // A quota smaller than the request refuses all of it, and the answer does not tell the
          // figure: one address alone finds it, and the batch goes again.
          history_.Record(engine.name, engine.site, queued, claim.id);
          candidates.insert(candidates.begin() + static_cast<std::ptrdiff_t>(next), claim.urls.begin(),
                            claim.urls.end());
          standings.flags.insert(standings.flags.begin() + static_cast<std::ptrdiff_t>(next), claim.urls.size(),
                                 kStandingUnknown);
          probe = true;
          continue;
        }
        history_.SetRemain(engine.quota, engine.site, BeijingDay(NowMs() / 1000), 0);
        Finish(engine, queued, false, claim.id);
        const std::size_t more =
            Stop(engine, std::span<const std::string>(candidates).subspan(next), AddressState::kQueued, verdict.reason);
        report_.QuotaSpent(engine.quota, engine.site, static_cast<std::int64_t>(queued.size() + more));
        return;
      }
      probe = false;
      Finish(engine, verdict.outcomes, true, claim.id);
      if (verdict.end == BatchEnd::kStop && !verdict.remain && claim.quotaKnown) {
        // The interface spent nothing that it told of: the claim's share of the quota is the
        // next run's again, or a failed request would hold back a day's addresses.
        history_.GiveBack(engine.quota, engine.site, claimDay, static_cast<std::int64_t>(claim.urls.size()));
      }
      if (verdict.remain && !engine.quota.empty()) {
        history_.SetRemain(engine.quota, engine.site, BeijingDay(NowMs() / 1000), *verdict.remain);
        report_.Quota(engine.quota, engine.site, *verdict.remain);
      }
      done += static_cast<std::int64_t>(claim.urls.size());
      report_.Progress(engine.name, engine.site, done, static_cast<std::int64_t>(candidates.size()));
      if (verdict.end == BatchEnd::kAuthFailed || verdict.end == BatchEnd::kStop) {
        const ExitCode code = verdict.end == BatchEnd::kAuthFailed ? kExitAuth : kExitProblems;
        report_.Problem(code, std::string(engine.name) + " " + std::string(engine.site) + ": " + verdict.reason);
        Stop(engine, std::span<const std::string>(candidates).subspan(next), AddressState::kFailed,
             Tr("not sent: ", "未发送：") + verdict.reason);
        return;
      }
    }
  }

  void Finish(const Engine& engine, const std::vector<AddressOutcome>& outcomes, bool sent, std::int64_t claimId) {
    history_.Record(engine.name, engine.site, outcomes, claimId);
    for (const AddressOutcome& outcome : outcomes) report_.Add(engine.name, outcome, sent);
  }

  // The candidates not yet looked at end in `state`, apart from those accepted before or in the
  // hands of another run; returns how many did.
  std::size_t Stop(const Engine& engine, std::span<const std::string> rest, AddressState state,
                   const std::string& reason) {
    const Marked marked =
        history_.MarkSendable(engine.name, engine.site, rest, settings_.force, runStartMs_, state, reason);
    report_.Skipped(static_cast<std::int64_t>(marked.accepted));
    for (const std::string& url : marked.urls) report_.Add(engine.name, {url, state, reason}, false);
    return marked.urls.size();
  }

  const PushSettings& settings_;
  const PushNetwork& network_;
  History& history_;
  Report& report_;
  const SiteConfig& site_;
  std::int64_t runStartMs_;
  int attempts_ = 0;
};

// Checks every key file the run's IndexNow requests would name, before anything is posted. A
// failed check stops IndexNow for that site's host alone; returns those hosts per site.
std::vector<std::unordered_set<std::string>> FailedKeyFiles(const std::vector<SiteConfig>& sites,
                                                           const std::vector<Listed>& addresses,
                                                           const Fetch& fetch, Report& report) {
  std::vector<std::unordered_set<std::string>> failed(sites.size());
  std::map<std::string, std::string> checked;  // location and key -> the problem found, or empty
  for (std::size_t i = 0; i < sites.size(); ++i) {
    const SiteConfig& site = sites[i];
    if (!Uses(site, kIndexNow) || !SettingProblem(site, kIndexNow).empty()) continue;
    for (const auto& [host, unused] : SitePush::ByHost(addresses[i])) {
      const std::string location =
          site.keyLocation.empty() ? DefaultKeyLocation(host, site.indexnowKey) : site.keyLocation;
      const auto [at, added] = checked.emplace(location + "\n" + site.indexnowKey, "");
      if (added) at->second = CheckKeyFile(location, site.indexnowKey, fetch);
      if (at->second.empty()) continue;
      failed[i].insert(host);
      report.Problem(kExitUsage, at->second + Tr("; nothing was posted to IndexNow for {}",
                                                 "；未向 IndexNow 推送 {} 的任何地址", {host}));
    }
  }
  return failed;
}

// The addresses of each site, each once. With several sites, an address goes
// only to the sites on its host; one on none of them is told once and sent nowhere.
std::vector<Listed> SiteAddresses(const std::vector<SiteConfig>& sites, const PushNetwork& network,
                                  const SourceOptions& options, std::istream& input, Report& report) {
  std::map<std::vector<std::string>, SourceAddresses> read;  // sites naming the same sources read them once
  std::vector<Listed> out;
  std::unordered_set<std::string> hosts;
  for (const SiteConfig& site : sites) hosts.insert(HostOf(site.site));
  std::unordered_set<std::string> told;
  for (const SiteConfig& site : sites) {
    auto [at, added] = read.try_emplace(site.sources);
    SourceAddresses& sourced = at->second;
    if (added) {
      sourced = ReadSources(site.sources, options, network.fetch, input);
      TellSourceProblems(sourced, site, report);
    }
    if (sites.size() == 1) {
      out.push_back({std::move(sourced.addresses), std::move(sourced.days)});
      continue;
    }
    if (site.site.empty()) {
      out.push_back({sourced.addresses, sourced.days});
      continue;
    }
    const std::string siteHost = HostOf(site.site);
    Listed addresses;
    for (std::size_t i = 0; i < sourced.addresses.size(); ++i) {
      const std::string& address = sourced.addresses[i];
      const std::string host = HostOf(address);
      if (!hosts.contains(host)) {
        if (told.insert(address).second) {
          report.Invalid("", address, Tr("belongs to no configured site", "不属于任何已配置的站点"));
        }
        continue;
      }
      if (host == siteHost) {
        addresses.urls.push_back(address);
        addresses.days.push_back(sourced.days[i]);
      }
    }
    out.push_back(std::move(addresses));
  }
  return out;
}

// A source file that is not there or cannot be read is a mistake in the command, not a bad day
// of the network: it is found before anything is sent.
bool SourceFilesReadable(const std::vector<SiteConfig>& sites, Report& report) {
  bool readable = true;
  std::unordered_set<std::string> checked;
  for (const SiteConfig& site : sites) {
    for (const std::string& source : site.sources) {
      if (source == "-" || IsWebAddress(source) || !checked.insert(source).second) continue;
      if (IsFolder(source)) {
        report.Problem(kExitUsage, source + Tr(": is a folder, not a file", "：是文件夹而不是文件"));
        readable = false;
      } else if (const int fd = OpenToRead(source); fd < 0) {
        report.Problem(kExitUsage, source + ": " + Tr("cannot be opened: ", "无法打开：") + std::strerror(errno));
        readable = false;
      } else {
        close(fd);
      }
    }
  }
  return readable;
}

}  // namespace

PushNetwork ToolNetwork() {
  PushNetwork network;
  network.post = [](const std::string& address, std::string_view contentType, std::string_view body) {
    return HttpPost(address, contentType, body, HttpLimits{.timeoutMs = 60000, .maxBodyBytes = 1024 * 1024});
  };
  return network;
}

void RunPush(const PushSettings& settings, const PushNetwork& network, std::istream& input, Report& report) {
  if (settings.sites.empty()) {
    report.Problem(kExitUsage, Tr("no site to push: give --site or a --config with [[site]] tables",
                                  "没有要推送的站点：请给出 --site，或在 --config 中写 [[site]] 表"));
    return;
  }
  // A setting one engine lacks keeps that engine back, not the others.
  std::vector<std::vector<std::string>> engines;
  for (const SiteConfig& site : settings.sites) {
    engines.emplace_back();
    for (const std::string& engine : EnginesOf(site)) {
      if (const std::string problem = SettingProblem(site, engine); !problem.empty()) {
        report.Problem(kExitUsage, problem);
      } else {
        engines.back().push_back(engine);
      }
    }
  }
  if (!SourceFilesReadable(settings.sites, report)) return;
  // Sources are fetched again after a failure as the pushes are, on the run's own clock, and
  // their addresses are met in their one form, so that twins are one.
  SourceOptions sourceOptions = settings.sourceOptions;
  sourceOptions.retry = settings.retry;
  sourceOptions.wait = network.wait;
  sourceOptions.formed = AlreadyNormal;
  sourceOptions.form = NormalAddress;

  std::unique_ptr<History> history;
  try {
    history = std::make_unique<History>(settings.historyPath,
                                        settings.dryRun ? History::Opening::kReadOnly : History::Opening::kCreate);
  } catch (const HistoryError& error) {
    report.Problem(kExitUsage, Tr("history ", "历史记录 ") + error.what());
    return;
  }
  std::vector<Listed> addresses = SiteAddresses(settings.sites, network, sourceOptions, input, report);
  const auto refusedHosts = FailedKeyFiles(settings.sites, addresses, network.fetch, report);

  const std::int64_t runStartMs = NowMs();
  try {
    for (std::size_t i = 0; i < settings.sites.size(); ++i) {
      const SiteConfig& site = settings.sites[i];
      SitePush push(settings, network, *history, report, site, runStartMs);
      for (std::size_t e = 0; e < engines[i].size(); ++e) {
        const std::string& engine = engines[i][e];
        // The last engine may take the addresses; the ones before it need a copy.
        if (engine == kBaidu) push.Baidu(e + 1 == engines[i].size() ? std::move(addresses[i]) : addresses[i]);
        if (engine == kIndexNow) push.IndexNow(addresses[i], refusedHosts[i]);
      }
    }
  } catch (const HistoryError& error) {
    // The addresses in hand stay claimed until this process has ended.
    report.Problem(kExitProblems, Tr("history ", "历史记录 ") + error.what());
  }
}

}  // namespace kestrin::cli
