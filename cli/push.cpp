#include "cli/push.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <unordered_set>

#include "cli/baidu.h"
#include "cli/dates.h"
#include "cli/history.h"
#include "cli/indexnow.h"
#include "cli/messages.h"
#include "cli/source_queue.h"
#include "cli/text_source.h"
#include "cli/token.h"

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

// Why a site cannot be pushed as configured, or empty.
std::string SettingProblem(const SiteConfig& site) {
  for (const std::string& engine : EnginesOf(site)) {
    if (engine != kBaidu && engine != kIndexNow) {
      return Tr("unknown engine \"" + engine + "\" (baidu or indexnow)",
                "未知的推送引擎“" + engine + "”（可用 baidu 或 indexnow）");
    }
  }
  if (Uses(site, kBaidu) && (site.site.empty() || site.token.empty())) {
    return Tr("baidu needs --site and --token", "百度推送需要 --site 和 --token");
  }
  if (Uses(site, kIndexNow) && !ValidIndexNowKey(site.indexnowKey)) {
    return Tr("indexnow needs --key: 8 to 128 letters, digits or '-'",
              "IndexNow 推送需要 --key：8 到 128 个字母、数字或“-”");
  }
  return {};
}

// The candidates of one engine and site: what the history has queued first, then the sources'
// addresses, each once.
std::vector<std::string> Candidates(std::vector<std::string> queued, const std::vector<std::string>& addresses) {
  std::unordered_set<std::string> seen(queued.begin(), queued.end());
  for (const std::string& address : addresses) {
    if (seen.insert(address).second) queued.push_back(address);
  }
  return queued;
}

class SitePush {
 public:
  SitePush(const PushSettings& settings, const PushNetwork& network, History& history, Report& report,
           const SiteConfig& site, std::int64_t runStartMs)
      : settings_(settings), network_(network), history_(history), report_(report), site_(site),
        runStartMs_(runStartMs) {}

  // With `sources`, the addresses come from it as it reads, and batches go out meanwhile.
  void Baidu(const std::vector<std::string>& addresses, SourceQueue* sources = nullptr) {
    const bool daily = site_.daily.value_or(false);
    const std::string interface = site_.interface.empty() ? std::string(kBaiduInterface) : site_.interface;
    const std::string address = BaiduAddress(interface, site_.site, site_.token, daily);
    const std::vector<std::string> candidates = Candidates(history_.Queued(kBaidu, site_.site), addresses);
    Refill refill;
    if (sources != nullptr) {
      refill = [this, sources, queued = std::unordered_set<std::string>(candidates.begin(), candidates.end())](
                   std::vector<std::string>& more, std::size_t wanted) {
        std::vector<std::string> read;
        std::vector<std::string> errors;
        const bool open = sources->Take(wanted, read, errors);
        for (const std::string& error : errors) report_.Problem(kExitProblems, MaskTokenIn(error, site_.token));
        for (std::string& url : read) {
          if (!queued.contains(url)) more.push_back(std::move(url));
        }
        return open;
      };
    }
    Engine engine{kBaidu, site_.site, daily ? "baidu-daily" : "baidu", kBaiduBatch};
    Push(
        engine, candidates,
        [&](std::span<const std::string> batch) {
          const std::string body = BaiduBody(batch);
          const HttpReply reply = Send(address, "text/plain", body);
          return ReadBaiduReply(reply, batch, daily);
        },
        refill);
  }

  void IndexNow(const std::vector<std::string>& addresses) {
    const std::string endpoint =
        site_.indexnowEndpoint.empty() ? std::string(kIndexNowEndpoint) : site_.indexnowEndpoint;
    for (const auto& [host, hostAddresses] : ByHost(addresses)) {
      const std::string location =
          site_.keyLocation.empty() ? DefaultKeyLocation(host, site_.indexnowKey) : site_.keyLocation;
      const std::vector<std::string> candidates = Candidates(history_.Queued(kIndexNow, host), hostAddresses);
      Engine engine{kIndexNow, host, "", kIndexNowBatch};
      Push(engine, candidates, [&](std::span<const std::string> batch) {
        const std::string body = IndexNowBody(host, site_.indexnowKey, location, batch);
        const HttpReply reply = Send(endpoint, "application/json; charset=utf-8", body);
        return ReadIndexNowReply(reply, batch);
      });
    }
  }

  // The addresses grouped by host, hosts in the order first met: IndexNow takes one host per request.
  static std::vector<std::pair<std::string, std::vector<std::string>>> ByHost(const std::vector<std::string>& addresses) {
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    std::map<std::string, std::size_t> index;
    for (const std::string& address : addresses) {
      const std::string host = HostOf(address);
      const auto [at, added] = index.emplace(host, groups.size());
      if (added) groups.push_back({host, {}});
      groups[at->second].second.push_back(address);
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
    return SendWithRetries([&] { return network_.post(address, contentType, body); }, settings_.retry,
                           network_.wait);
  }

  // Appends candidates read since, at least `wanted` unless the sources end; false once they have.
  using Refill = std::function<bool(std::vector<std::string>& candidates, std::size_t wanted)>;

  void Push(const Engine& engine, std::vector<std::string> candidates,
            const std::function<BatchVerdict(std::span<const std::string>)>& send, const Refill& refill = {}) {
    std::size_t next = 0;
    std::int64_t done = 0;
    bool probe = false;
    bool open = static_cast<bool>(refill);
    // A batch is claimed once it can be whole, or the sources are done; a stop takes them all.
    const auto fill = [&](std::size_t wanted) {
      while (open && candidates.size() - next < wanted) open = refill(candidates, wanted - (candidates.size() - next));
    };
    const std::size_t all = std::numeric_limits<std::size_t>::max();
    for (fill(engine.batch); next < candidates.size(); fill(probe ? 1 : engine.batch)) {
      const std::span<const std::string> rest = std::span<const std::string>(candidates).subspan(next);
      const Claim claim = history_.ClaimBatch({.engine = engine.name,
                                               .site = engine.site,
                                               .candidates = rest,
                                               .limit = probe ? 1 : engine.batch,
                                               .force = settings_.force,
                                               .runStartMs = runStartMs_,
                                               .quota = engine.quota,
                                               .day = BeijingDay(NowMs() / 1000)});
      if (claim.quotaExhausted) {
        fill(all);
        Stop(engine, std::span<const std::string>(candidates).subspan(next), AddressState::kQueued,
             "quota spent for today");
        return;
      }
      if (open && claim.consumed == rest.size() && claim.urls.size() < (probe ? 1 : engine.batch)) {
        // The sources still being read may hold the rest of this batch: the claim is let go (its
        // quota given back), the candidates it skipped dropped, and it is made again with more.
        history_.Release(claim.id);
        if (claim.quotaKnown) {
          const int day = BeijingDay(NowMs() / 1000);
          const std::int64_t remain = history_.Remain(engine.quota, engine.site, day).value_or(0);
          history_.SetRemain(engine.quota, engine.site, day, remain + static_cast<std::int64_t>(claim.urls.size()));
        }
        candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(next), candidates.end());
        candidates.insert(candidates.end(), claim.urls.begin(), claim.urls.end());
        fill(claim.urls.size() + engine.batch);
        continue;
      }
      next += claim.consumed;
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
          probe = true;
          continue;
        }
        history_.SetRemain(engine.quota, engine.site, BeijingDay(NowMs() / 1000), 0);
        Finish(engine, queued, false, claim.id);
        fill(all);
        Stop(engine, std::span<const std::string>(candidates).subspan(next), AddressState::kQueued, verdict.reason);
        return;
      }
      probe = false;
      Finish(engine, verdict.outcomes, true, claim.id);
      if (verdict.remain && !engine.quota.empty()) {
        history_.SetRemain(engine.quota, engine.site, BeijingDay(NowMs() / 1000), *verdict.remain);
      }
      done += static_cast<std::int64_t>(claim.urls.size());
      report_.Progress(engine.name, engine.site, done, static_cast<std::int64_t>(candidates.size()));
      if (verdict.end == BatchEnd::kAuthFailed || verdict.end == BatchEnd::kStop) {
        const ExitCode code = verdict.end == BatchEnd::kAuthFailed ? kExitAuth : kExitProblems;
        report_.Problem(code, std::string(engine.name) + " " + std::string(engine.site) + ": " + verdict.reason);
        fill(all);
        Stop(engine, std::span<const std::string>(candidates).subspan(next), AddressState::kFailed,
             "not sent: " + verdict.reason);
        return;
      }
    }
  }

  void Finish(const Engine& engine, const std::vector<AddressOutcome>& outcomes, bool sent, std::int64_t claimId) {
    history_.Record(engine.name, engine.site, outcomes, claimId);
    for (const AddressOutcome& outcome : outcomes) report_.Add(engine.name, outcome, sent);
  }

  // The candidates not yet looked at end in `state`, apart from those accepted before or in the
  // hands of another run.
  void Stop(const Engine& engine, std::span<const std::string> rest, AddressState state, const std::string& reason) {
    const std::vector<std::string> marked =
        history_.MarkSendable(engine.name, engine.site, rest, settings_.force, runStartMs_, state, reason);
    for (const std::string& url : marked) report_.Add(engine.name, {url, state, reason}, false);
  }

  const PushSettings& settings_;
  const PushNetwork& network_;
  History& history_;
  Report& report_;
  const SiteConfig& site_;
  std::int64_t runStartMs_;
};

// Every key file the run's IndexNow requests will name, checked before anything is posted.
bool KeyFilesHold(const std::vector<SiteConfig>& sites, const std::vector<std::vector<std::string>>& addresses,
                  const Fetch& fetch, Report& report) {
  std::unordered_set<std::string> checked;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    const SiteConfig& site = sites[i];
    if (!Uses(site, kIndexNow)) continue;
    for (const auto& [host, unused] : SitePush::ByHost(addresses[i])) {
      const std::string location =
          site.keyLocation.empty() ? DefaultKeyLocation(host, site.indexnowKey) : site.keyLocation;
      if (!checked.insert(location + "\n" + site.indexnowKey).second) continue;
      if (const std::string problem = CheckKeyFile(location, site.indexnowKey, fetch); !problem.empty()) {
        report.Problem(kExitUsage, problem + Tr("; nothing was posted", "；未推送任何地址"));
        return false;
      }
    }
  }
  return true;
}

void PushWhileReading(const PushSettings& settings, const SourceOptions& sourceOptions, const PushNetwork& network,
                      std::istream& input, Report& report) {
  std::unique_ptr<History> history;
  try {
    history = std::make_unique<History>(settings.historyPath);
  } catch (const HistoryError& error) {
    report.Problem(kExitUsage, Tr("history ", "历史记录 ") + error.what());
    return;
  }
  const std::int64_t runStartMs = NowMs();
  try {
    for (const SiteConfig& site : settings.sites) {
      SourceQueue sources(site.sources, sourceOptions, network.fetch, input);
      SitePush push(settings, network, *history, report, site, runStartMs);
      push.Baidu({}, &sources);
    }
  } catch (const HistoryError& error) {
    report.Problem(kExitProblems, Tr("history ", "历史记录 ") + error.what());
  }
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
  for (const SiteConfig& site : settings.sites) {
    if (const std::string problem = SettingProblem(site); !problem.empty()) {
      report.Problem(kExitUsage, site.site.empty() ? problem : site.site + ": " + problem);
      return;
    }
  }

  // Sources are fetched again after a failure as the pushes are, on the run's own clock.
  SourceOptions sourceOptions = settings.sourceOptions;
  sourceOptions.retry = settings.retry;
  sourceOptions.wait = network.wait;
  // Without IndexNow no key file need be checked before anything goes: each site's batches go out
  // while its sources are still read.
  if (std::none_of(settings.sites.begin(), settings.sites.end(), [](const SiteConfig& site) { return Uses(site, kIndexNow); })) {
    return PushWhileReading(settings, sourceOptions, network, input, report);
  }
  std::vector<std::vector<std::string>> addresses;
  for (const SiteConfig& site : settings.sites) {
    SourceAddresses read = ReadSources(site.sources, sourceOptions, network.fetch, input);
    for (const std::string& error : read.errors) report.Problem(kExitProblems, MaskTokenIn(error, site.token));
    addresses.push_back(std::move(read.addresses));
  }

  std::unique_ptr<History> history;
  try {
    history = std::make_unique<History>(settings.historyPath);
  } catch (const HistoryError& error) {
    report.Problem(kExitUsage, Tr("history ", "历史记录 ") + error.what());
    return;
  }
  if (!KeyFilesHold(settings.sites, addresses, network.fetch, report)) return;

  const std::int64_t runStartMs = NowMs();
  try {
    for (std::size_t i = 0; i < settings.sites.size(); ++i) {
      const SiteConfig& site = settings.sites[i];
      SitePush push(settings, network, *history, report, site, runStartMs);
      for (const std::string& engine : EnginesOf(site)) {
        if (engine == kBaidu) push.Baidu(addresses[i]);
        if (engine == kIndexNow) push.IndexNow(addresses[i]);
      }
    }
  } catch (const HistoryError& error) {
    // The addresses in hand stay claimed until this process has ended.
    report.Problem(kExitProblems, Tr("history ", "历史记录 ") + error.what());
  }
}

}  // namespace kestrin::cli
