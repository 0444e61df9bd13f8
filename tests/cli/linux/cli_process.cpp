#include "tests/cli/cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrin::testsupport {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream out;
  out << file.rdbuf();
  return out.str();
}

std::int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

std::string CliPath() { return KESTRIN_CLI_PATH; }

std::string NoPrivateFiles() { return {}; }

std::string AsLogged(const std::string& text) { return text; }

TempFolder::TempFolder() {
  char pattern[] = "/tmp/kestrin-cli-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  path_ = made != nullptr ? made : "/tmp";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Write(const std::string& name, const std::string& content, unsigned mode) const {
  const std::string path = path_ + "/" + name;
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
  }
  chmod(path.c_str(), mode);
  return path;
}

CliProcess::CliProcess(const CliCall& call) : timeoutMs_(call.timeoutMs) {
  char pattern[] = "/tmp/kestrin-cli-run-XXXXXX";
  folder_ = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
  {
    std::ofstream input(folder_ + "/in", std::ios::binary);
    input << call.input;
  }
  std::map<std::string, std::string> env = {
      {"PATH", "/usr/bin:/bin"}, {"HOME", folder_}, {"SHELL", "/bin/sh"}, {"LOGNAME", "root"}};
  // The sanitizers' settings are the build's, not the environment's under test.
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) env[name] = value;
  }
  for (const auto& [name, value] : call.env) env[name] = value;

  std::vector<std::string> args{CliPath()};
  args.insert(args.end(), call.args.begin(), call.args.end());
  if (call.shell) {
    args = {"/bin/sh", "-c", call.args.empty() ? "" : call.args.front()};
    env["PATH"] = std::filesystem::path(CliPath()).parent_path().string() + ":" + env["PATH"];
  }
  std::vector<std::string> envText;
  for (const auto& [name, value] : env) envText.push_back(name + "=" + value);

  // Everything the child needs is made before the fork: other threads of the test may hold the
  // allocator's lock at that moment.
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : envText) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const std::string inPath = folder_ + "/in";
  const std::string outPath = folder_ + "/out";
  const std::string errPath = folder_ + "/err";
  int terminalSide = -1;
  if (call.terminal && openpty(&terminal_, &terminalSide, nullptr, nullptr, nullptr) != 0) {
    terminal_ = terminalSide = -1;
  }

  pid_ = fork();
  if (pid_ == 0) {
    const int in = open(inPath.c_str(), O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = terminalSide >= 0 ? terminalSide : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    setsid();  // no controlling terminal, as under cron
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (terminalSide >= 0) close(terminalSide);
}

CliProcess::~CliProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (terminal_ >= 0) close(terminal_);
  std::error_code ignored;
  if (folder_ != "/tmp") std::filesystem::remove_all(folder_, ignored);
}

CliRun CliProcess::Wait() {
  CliRun run;
  if (pid_ <= 0) return run;
  const std::int64_t deadline = NowMs() + timeoutMs_;
  int status = 0;
  std::string terminalText;
  for (;;) {
    // The terminal is drained as the run goes, so that a full one never holds the process up.
    if (terminal_ >= 0) {
      pollfd ready{terminal_, POLLIN, 0};
      char buffer[4096];
      while (poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0) {
        const ssize_t got = read(terminal_, buffer, sizeof buffer);
        if (got <= 0) break;
        terminalText.append(buffer, static_cast<std::size_t>(got));
      }
    }
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (NowMs() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      run.out = ReadAll(folder_ + "/out");
      run.err = terminal_ >= 0 ? terminalText : ReadAll(folder_ + "/err");
      return run;
    }
    usleep(5000);
  }
  pid_ = -1;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadAll(folder_ + "/out");
  if (terminal_ >= 0) {
    char buffer[4096];
    for (ssize_t got; (got = read(terminal_, buffer, sizeof buffer)) > 0;) {
      terminalText.append(buffer, static_cast<std::size_t>(got));
    }
    run.err = terminalText;
  } else {
    run.err = ReadAll(folder_ + "/err");
  }
  return run;
}

CliRun RunCli(const CliCall& call) { return CliProcess(call).Wait(); }

}  // namespace kestrin::testsupport
