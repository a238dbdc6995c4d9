#pragma once

// The built local map service run as a process for a test, on the port its arguments
// give ("--port 0": a free one), stopped and reaped when the object goes.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace quorvil::testing {

#ifdef QUORVIL_MAPSERVICE_PATH
inline constexpr const char* kMapServicePath = QUORVIL_MAPSERVICE_PATH;
#else
inline constexpr const char* kMapServicePath = nullptr;
#endif

// The service process, stopped and reaped when the object goes. With `errPath`, its
// standard error goes into that file.
class ServiceProcess {
 public:
  explicit ServiceProcess(std::vector<std::string> args, const std::string& errPath = {}) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (!errPath.empty()) {
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    args.insert(args.begin(), kMapServicePath);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, kMapServicePath, &actions, nullptr, argv.data(), environ) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    // The first line says where it listens.
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line_ += c;
    close(out[0]);
  }
  ~ServiceProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  const std::string& Line() const { return line_; }
  // The peak resident memory in kB, from /proc.
  long PeakMemoryKb() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    }
    return -1;
  }
  pid_t Pid() const { return pid_; }
  void Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
  }
  // Port from "quorvil-mapservice listening on http://127.0.0.1:PORT/terraservice.asmx".
  int Port() const {
    const auto colon = line_.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(line_.c_str() + colon + 1);
  }
  // The SOAP endpoint the first line names, empty when the service did not start.
  std::string Endpoint() const {
    const auto at = line_.find("http://");
    return at == std::string::npos ? std::string() : line_.substr(at);
  }
  // Waits for the process to end by itself; its exit code, or -1.
  int Wait() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  std::string line_;
};

}  // namespace quorvil::testing
