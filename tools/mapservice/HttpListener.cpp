#include "mapservice/HttpListener.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quorvil::mapservice {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kListenId = 0;
constexpr std::uint64_t kWakeId = 1;
constexpr std::size_t kReadBytes = 16 << 10;
// Read per wake-up from one connection, so that one fast sender cannot hold the loop.
constexpr std::size_t kReadBurstBytes = 256 << 10;
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
// Descriptors kept for the datasets' files and the process's own.
constexpr std::size_t kReservedDescriptors = 256;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { Reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      std::swap(fd_, other.fd_);
    }
    return *this;
  }
  int Get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

enum class Phase {
  Reading,     // waiting for (the rest of) a request
  Processing,  // a worker is answering it
  Writing,     // sending the answer
  Lingering,   // refused: dropping what the client still sends, then closing
};

struct Connection {
  std::uint64_t id = 0;
  FileDescriptor fd;
  Phase phase = Phase::Reading;
  HttpRequestParser parser;
  std::string in;  // read, not yet given to the parser: the start of a pipelined request
  std::string out;
  std::size_t outAt = 0;
  bool continueSent = false;
  bool refused = false;
  std::size_t lingered = 0;  // bytes dropped after a refusal
  std::size_t received = 0;  // bytes of the request being read
  std::uint64_t job = 0;     // which of the connection's requests is being answered
  // A request on a slow worker is refused by then; its head, to say so.
  Clock::time_point slowDeadline = Clock::time_point::max();
  HttpRequest slowRequest;
  bool closeAfterWrite = false;
  bool wasStarted = false;
  std::uint32_t events = 0;
  Clock::time_point idleSince, requestStart, writeStart, lingerUntil;
};

struct Job {
  std::uint64_t id;
  std::uint64_t job;
  HttpRequest request;
  Clock::time_point deadline = Clock::time_point::max();
};

struct Answer {
  std::uint64_t id;
  std::uint64_t job;
  HttpRequest request;
  HttpResponse response;
};

// A request handed to the slow workers, for the loop to watch its deadline.
struct Moved {
  std::uint64_t id;
  std::uint64_t job;
  HttpRequest head;
  Clock::time_point deadline;
};

// Idle workers, guarded by the caller's mutex. The worker that went idle last takes the
// next job: its memory and caches are still warm, and a single stream of requests wakes
// one thread rather than each worker in turn.
struct IdleWorkers {
  // Each waiting on its own condition, the most recent last.
  std::vector<std::condition_variable*> idle;

  void NotifyOne() {
    if (idle.empty()) return;
    idle.back()->notify_one();
    idle.pop_back();
  }
  void NotifyAll() {
    for (std::condition_variable* c : idle) c->notify_one();
    idle.clear();
  }
  // Listed before the lock is let go: a job that comes meanwhile finds the worker.
  void List(std::condition_variable& mine) {
    if (std::find(idle.begin(), idle.end(), &mine) == idle.end()) idle.push_back(&mine);
  }
  template <class Done>
  void Wait(std::unique_lock<std::mutex>& lock, std::condition_variable& mine, Done done) {
    while (!done()) {
      List(mine);
      mine.wait(lock);
    }
    std::erase(idle, &mine);  // still listed after a spurious wake-up
  }
};

// The loop waits at most this long between looks at its deadlines.
constexpr auto kLongestWait = std::chrono::milliseconds(1000);

}  // namespace

std::size_t RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur == RLIM_INFINITY ? HttpListener::kMostConnections * 2
                                         : static_cast<std::size_t>(limit.rlim_cur);
}

namespace {

std::size_t ConnectionBound(std::size_t asked) {
  if (asked > 0) return asked;
  rlimit limit{};
  std::size_t descriptors = 1024;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    descriptors = limit.rlim_cur == RLIM_INFINITY ? HttpListener::kMostConnections * 2
                                                  : static_cast<std::size_t>(limit.rlim_cur);
  }
  const std::size_t room =
      descriptors > 2 * kReservedDescriptors ? descriptors - kReservedDescriptors : descriptors / 2;
  return std::clamp<std::size_t>(room, 16, HttpListener::kMostConnections);
}

}  // namespace

class HttpListener::Loop {
 public:
  Loop(Options options, Handler handler, Refusal refusal, Logger logger)
      : options_(std::move(options)),
        handler_(std::move(handler)),
        refusal_(std::move(refusal)),
        logger_(std::move(logger)),
        epoll_(epoll_create1(EPOLL_CLOEXEC)),
        wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    options_.maxConnections = ConnectionBound(options_.maxConnections);
  }

  int Bind(const std::string& host, int port);
  bool Run();
  void Stop() {
    {
      std::lock_guard lock(stopMutex_);
      stopping_ = true;
    }
    stopChanged_.notify_all();
    Wake();
  }
  bool Sleep(std::chrono::milliseconds time) {
    std::unique_lock lock(stopMutex_);
    return !stopChanged_.wait_for(lock, time, [this] { return stopping_; });
  }
  bool Abandoned() const { return abandoned_; }
  static bool TakeSlowWork() {
    return current_ != nullptr && current_->loop->TakeSlowWork(*current_);
  }

 private:
  // The request a worker thread is answering.
  struct Current {
    Loop* loop;
    const Job* job;
    bool slow;  // on a slow worker's place, with its deadline
  };
  static inline thread_local Current* current_ = nullptr;

  bool Stopping() {
    std::lock_guard lock(stopMutex_);
    return stopping_;
  }
  void Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(wake_.Get(), &one, sizeof one);
  }

  void Accept();
  void RefuseBusy(int fd, const HttpRequest& request);
  bool MakeRoom();
  void OnEvent(std::uint64_t id, std::uint32_t events);
  void ReadFrom(Connection& c);
  void ProcessInput(Connection& c);
  void Refuse(Connection& c, int status, const std::string& why);
  void Send(Connection& c, const HttpRequest& request, HttpResponse response);
  void Flush(Connection& c);
  void AfterWrite(Connection& c);
  void UpdateEvents(Connection& c);
  void Close(std::uint64_t id);
  void CollectAnswers();
  int CheckDeadlines();
  void TakeMoved();
  // The loop watches the deadline of a request handed to the slow workers.
  void WatchMoved(const Job& job, Clock::time_point deadline);
  bool CanTakeOrdinary() const {
    return !ordinaryJobs_.empty() && ordinaryBusy_ < std::max(1, options_.workers);
  }
  bool CanTakeSlow() const {
    return !slowJobs_.empty() && slowBusy_ < std::max(1, options_.slowWorkers);
  }
  bool TakeSlowWork(Current& current);
  void Work();
  void EndWorkers(std::vector<std::thread>& workers);

  Options options_;
  Handler handler_;
  Refusal refusal_;
  Logger logger_;

  FileDescriptor listen_, epoll_, wake_;
  std::unordered_map<std::uint64_t, std::unique_ptr<Connection>> connections_;
  std::uint64_t nextId_ = 2;
  bool acceptPaused_ = false;
  Clock::time_point acceptResumes_;

  std::mutex stopMutex_;
  std::condition_variable stopChanged_;
  bool stopping_ = false;

  // Every worker takes either kind of job, so that a request found to need slow work is
  // answered on the same thread, while the places of each kind stay bounded: ordinary
  // requests always find a place, however many slow ones hang.
  std::mutex jobMutex_;
  std::deque<Job> ordinaryJobs_, slowJobs_;
  IdleWorkers idle_;
  bool workersEnd_ = false;
  int ordinaryBusy_ = 0, slowBusy_ = 0;
  int busy_ = 0;  // workers answering a request
  std::condition_variable allIdle_;
  bool abandoned_ = false;
  std::mutex answerMutex_;
  std::vector<Answer> answers_;
  std::vector<Moved> moved_;
};

int HttpListener::Loop::Bind(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, &freeaddrinfo);
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    FileDescriptor fd(
        ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
    if (fd.Get() < 0) continue;
    const int yes = 1;
    setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd.Get(), a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd.Get(), SOMAXCONN) != 0) {
      continue;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) continue;
    listen_ = std::move(fd);
    return bound.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port)
               : ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
  }
  return -1;
}

bool HttpListener::Loop::Run() {
  if (listen_.Get() < 0 || epoll_.Get() < 0 || wake_.Get() < 0) return false;
  for (const auto& [fd, id] : {std::pair{listen_.Get(), kListenId}, {wake_.Get(), kWakeId}}) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = id;
    if (epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, fd, &event) != 0) return false;
  }
  std::vector<std::thread> workers;
  const int count = std::max(1, options_.workers) +
                    (options_.slowHandler ? std::max(1, options_.slowWorkers) : 0);
  for (int i = 0; i < count; ++i) workers.emplace_back([this] { Work(); });

  bool ok = true;
  std::vector<epoll_event> events(64);
  while (!Stopping()) {
    const int timeout = CheckDeadlines();
    const int n = epoll_wait(epoll_.Get(), events.data(), static_cast<int>(events.size()), timeout);
    if (n < 0 && errno != EINTR) {
      ok = false;
      break;
    }
    for (int i = 0; i < n; ++i) {
      const std::uint64_t id = events[i].data.u64;
      if (id == kListenId) {
        Accept();
      } else if (id == kWakeId) {
        std::uint64_t count;
        [[maybe_unused]] auto ignored = ::read(wake_.Get(), &count, sizeof count);
        CollectAnswers();
      } else {
        OnEvent(id, events[i].events);
      }
    }
  }

  EndWorkers(workers);
  connections_.clear();
  listen_.Reset();
  return ok;
}

// Answers in progress get a moment to finish; a dataset read that hangs does not hold
// the stop any longer, its thread is left to the process's end.
void HttpListener::Loop::EndWorkers(std::vector<std::thread>& workers) {
  std::unique_lock lock(jobMutex_);
  workersEnd_ = true;
  ordinaryJobs_.clear();
  slowJobs_.clear();
  idle_.NotifyAll();
  abandoned_ = !allIdle_.wait_for(lock, options_.stopGrace, [this] { return busy_ == 0; });
  lock.unlock();
  for (auto& w : workers) {
    if (abandoned_) {
      w.detach();
    } else {
      w.join();
    }
  }
}

void HttpListener::Loop::Work() {
  std::condition_variable ready;
  std::unique_lock lock(jobMutex_);
  for (;;) {
    idle_.Wait(lock, ready, [&] { return workersEnd_ || CanTakeSlow() || CanTakeOrdinary(); });
    if (workersEnd_) return;
    // Slow jobs first: they have waited once already.
    const bool slow = CanTakeSlow();
    std::deque<Job>& queue = slow ? slowJobs_ : ordinaryJobs_;
    Job job = std::move(queue.front());
    queue.pop_front();
    // Its client was already told that the request took too long.
    if (Clock::now() >= job.deadline) continue;
    ++(slow ? slowBusy_ : ordinaryBusy_);
    ++busy_;
    lock.unlock();

    Current current{this, &job, slow};
    current_ = &current;
    HttpResponse response;
    bool moved = false;
    try {
      response = slow ? options_.slowHandler(job.request) : handler_(job.request);
    } catch (const ESlowWork&) {
      moved = true;
    } catch (const std::exception& e) {
      response = refusal_(job.request, 500, std::string("Server error: ") + e.what());
    } catch (...) {
      response = refusal_(job.request, 500, "Server error");
    }
    current_ = nullptr;
    if (moved && !slow && options_.slowHandler) {
      job.deadline = Clock::now() + options_.slowTimeout;
      WatchMoved(job, job.deadline);
      lock.lock();
      slowJobs_.push_back(std::move(job));
      idle_.NotifyOne();
      lock.unlock();
    } else {
      if (moved) response = refusal_(job.request, 500, "Server error: no worker for slow work");
      std::lock_guard answerLock(answerMutex_);
      answers_.push_back({job.id, job.job, std::move(job.request), std::move(response)});
    }
    lock.lock();
    --(current.slow ? slowBusy_ : ordinaryBusy_);
    if (--busy_ == 0) allIdle_.notify_all();
    // Idle before the loop hears of the answer, so that the client's next request comes
    // back to this thread.
    if (!workersEnd_ && !CanTakeSlow() && !CanTakeOrdinary()) idle_.List(ready);
    lock.unlock();
    Wake();
    lock.lock();
  }
}

// The request becomes slow work on this thread when a slow worker's place is free.
bool HttpListener::Loop::TakeSlowWork(Current& current) {
  if (current.slow) return true;
  if (!options_.slowHandler) return false;
  {
    std::lock_guard lock(jobMutex_);
    if (slowBusy_ >= std::max(1, options_.slowWorkers)) return false;
    --ordinaryBusy_;
    ++slowBusy_;
    // The ordinary place it leaves may be awaited.
    if (CanTakeOrdinary()) idle_.NotifyOne();
  }
  current.slow = true;
  WatchMoved(*current.job, Clock::now() + options_.slowTimeout);
  // The loop takes note at its next look anyway; a deadline sooner than that must wake it.
  if (options_.slowTimeout <= kLongestWait) Wake();
  return true;
}

void HttpListener::Loop::WatchMoved(const Job& job, Clock::time_point deadline) {
  // What a refusal needs of the request: all but its body.
  HttpRequest head{job.request.method,
                   job.request.target,
                   job.request.path,
                   job.request.query,
                   job.request.minorVersion,
                   job.request.headers,
                   {}};
  std::lock_guard lock(answerMutex_);
  moved_.push_back({job.id, job.job, std::move(head), deadline});
}

void HttpListener::Loop::TakeMoved() {
  std::vector<Moved> moved;
  {
    std::lock_guard lock(answerMutex_);
    moved.swap(moved_);
  }
  for (Moved& m : moved) {
    const auto it = connections_.find(m.id);
    if (it == connections_.end() || it->second->job != m.job) continue;
    it->second->slowDeadline = m.deadline;
    it->second->slowRequest = std::move(m.head);
  }
}

void HttpListener::Loop::CollectAnswers() {
  TakeMoved();
  std::vector<Answer> ready;
  {
    std::lock_guard lock(answerMutex_);
    ready.swap(answers_);
  }
  for (Answer& a : ready) {
    const auto it = connections_.find(a.id);
    // The client may have gone while its answer was made, or been told it took too long.
    if (it == connections_.end() || it->second->phase != Phase::Processing ||
        it->second->job != a.job) {
      continue;
    }
    Send(*it->second, a.request, std::move(a.response));
  }
}

void HttpListener::Loop::Accept() {
  for (;;) {
    FileDescriptor fd(accept4(listen_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (fd.Get() < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // Out of descriptors: stop taking connections for a moment instead of spinning.
        epoll_ctl(epoll_.Get(), EPOLL_CTL_DEL, listen_.Get(), nullptr);
        acceptPaused_ = true;
        acceptResumes_ = Clock::now() + kAcceptPause;
      }
      return;
    }
    if (connections_.size() >= options_.maxConnections && !MakeRoom()) {
      RefuseBusy(fd.Get(), HttpRequest{});
      continue;
    }
    const int yes = 1;
    setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    auto c = std::make_unique<Connection>();
    c->id = nextId_++;
    c->parser = HttpRequestParser(options_.limits);
    c->idleSince = Clock::now();
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.u64 = c->id;
    if (epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, fd.Get(), &event) != 0) continue;
    c->events = event.events;
    c->fd = std::move(fd);
    connections_.emplace(c->id, std::move(c));
  }
}

// The connection that has sent least of its request for longest goes: a refused one
// first, then the lowest rate of bytes since its request (or its wait for one) began. A
// newcomer's rate counts as high, so clients that just connected are not pushed out.
bool HttpListener::Loop::MakeRoom() {
  const auto now = Clock::now();
  Connection* chosen = nullptr;
  double lowest = 0;
  for (auto& [id, c] : connections_) {
    double rate;
    if (c->phase == Phase::Lingering) {
      rate = -1;
    } else if (c->phase == Phase::Reading && c->out.empty()) {
      const auto since = c->parser.Started() ? c->requestStart : c->idleSince;
      const double seconds = std::chrono::duration<double>(now - since).count();
      rate = static_cast<double>(c->received + 1) / std::max(seconds, 1e-3);
    } else {
      continue;
    }
    if (chosen == nullptr || rate < lowest) {
      chosen = c.get();
      lowest = rate;
    }
  }
  if (chosen == nullptr) return false;
  // One in the middle of a request hears why it ends.
  if (chosen->phase == Phase::Reading && chosen->parser.Started()) {
    RefuseBusy(chosen->fd.Get(), chosen->parser.Request());
  }
  Close(chosen->id);
  return true;
}

void HttpListener::Loop::RefuseBusy(int fd, const HttpRequest& request) {
  // Whatever the client already sent is dropped first, so that closing does not reset the
  // connection before it has read the answer.
  char buffer[kReadBytes];
  for (std::size_t read = 0; read < kReadBurstBytes;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    read += static_cast<std::size_t>(n);
  }
  HttpResponse response = refusal_(request, 503, "The service has too many connections");
  response.close = true;
  const std::string bytes = SerializeResponse(response, false, false);
  [[maybe_unused]] auto ignored = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  ::shutdown(fd, SHUT_WR);
  if (logger_) logger_(request, response);
}

void HttpListener::Loop::OnEvent(std::uint64_t id, std::uint32_t events) {
  const auto it = connections_.find(id);
  if (it == connections_.end()) return;
  Connection& c = *it->second;
  if (events & EPOLLERR) return Close(id);
  if ((events & EPOLLOUT) && c.outAt < c.out.size()) {
    Flush(c);
    if (!connections_.contains(id)) return;
  }
  if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP)) {
    if (c.phase == Phase::Reading || c.phase == Phase::Lingering) {
      ReadFrom(c);
    } else if (events & EPOLLHUP) {
      Close(id);
    }
  }
}

void HttpListener::Loop::ReadFrom(Connection& c) {
  char buffer[kReadBytes];
  const std::uint64_t id = c.id;
  for (std::size_t total = 0; total < kReadBurstBytes;) {
    const ssize_t n = ::recv(c.fd.Get(), buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // The client stopped sending: a request cut short still hears why.
      if (c.phase == Phase::Reading && c.parser.Started()) {
        Refuse(c, 400, "The request ended before it was complete");
        if (connections_.contains(id) && c.phase == Phase::Lingering) Close(id);
      } else {
        Close(id);
      }
      return;
    }
    total += static_cast<std::size_t>(n);
    if (c.phase == Phase::Lingering) {
      c.lingered += static_cast<std::size_t>(n);
      // A client that goes on sending after its refusal is not listened to for long.
      if (c.lingered > options_.lingerBytes) return Close(id);
      continue;
    }
    c.in.append(buffer, static_cast<std::size_t>(n));
    c.received += static_cast<std::size_t>(n);
    ProcessInput(c);
    if (!connections_.contains(id) || c.phase != Phase::Reading) return;
  }
}

void HttpListener::Loop::ProcessInput(Connection& c) {
  const std::size_t taken = c.parser.Feed(c.in);
  c.in.erase(0, taken);
  if (c.parser.Started() && !c.wasStarted) {
    c.wasStarted = true;
    c.requestStart = Clock::now();
  }
  switch (c.parser.GetState()) {
    case HttpRequestParser::State::Reading:
      if (c.parser.WantsContinue() && !c.continueSent) {
        c.continueSent = true;
        c.out.append(kContinue);
        Flush(c);
      }
      return;
    case HttpRequestParser::State::Failed:
      return Refuse(c, c.parser.ErrorStatus(), c.parser.ErrorMessage());
    case HttpRequestParser::State::Complete:
      break;
  }
  c.phase = Phase::Processing;
  c.received = c.in.size();  // a pipelined request's start
  ++c.job;
  c.slowDeadline = Clock::time_point::max();
  UpdateEvents(c);
  {
    std::lock_guard lock(jobMutex_);
    ordinaryJobs_.push_back({c.id, c.job, c.parser.TakeRequest()});
    idle_.NotifyOne();
  }
}

void HttpListener::Loop::Refuse(Connection& c, int status, const std::string& why) {
  HttpResponse response = refusal_(c.parser.Request(), status, why);
  response.close = true;
  c.refused = true;
  Send(c, c.parser.Request(), std::move(response));
}

void HttpListener::Loop::Send(Connection& c, const HttpRequest& request, HttpResponse response) {
  if (logger_) logger_(request, response);
  const bool keepAlive = !response.close && request.KeepAlive() && !Stopping();
  c.closeAfterWrite = !keepAlive || c.refused;
  if (c.outAt == c.out.size()) {
    c.out.clear();
    c.outAt = 0;
  }
  c.out += SerializeResponse(response, request.method == "HEAD", !c.closeAfterWrite);
  c.phase = Phase::Writing;
  c.writeStart = Clock::now();
  Flush(c);
}

void HttpListener::Loop::Flush(Connection& c) {
  const std::uint64_t id = c.id;
  while (c.outAt < c.out.size()) {
    const ssize_t n =
        ::send(c.fd.Get(), c.out.data() + c.outAt, c.out.size() - c.outAt, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) return Close(id);
    c.outAt += static_cast<std::size_t>(n);
  }
  if (c.outAt == c.out.size()) {
    c.out.clear();
    c.outAt = 0;
    if (c.phase == Phase::Writing) return AfterWrite(c);
  }
  UpdateEvents(c);
}

void HttpListener::Loop::AfterWrite(Connection& c) {
  if (c.closeAfterWrite) {
    if (!c.refused) return Close(c.id);
    ::shutdown(c.fd.Get(), SHUT_WR);
    c.phase = Phase::Lingering;
    c.lingerUntil = Clock::now() + options_.lingerTime;
    c.in.clear();
    return UpdateEvents(c);
  }
  c.parser.Reset();
  c.phase = Phase::Reading;
  c.continueSent = false;
  c.wasStarted = false;
  c.idleSince = Clock::now();
  UpdateEvents(c);
  if (!c.in.empty()) ProcessInput(c);  // a pipelined request already here
}

void HttpListener::Loop::UpdateEvents(Connection& c) {
  std::uint32_t wanted = 0;
  if (c.phase == Phase::Reading || c.phase == Phase::Lingering) wanted |= EPOLLIN | EPOLLRDHUP;
  if (c.outAt < c.out.size()) wanted |= EPOLLOUT;
  if (wanted == c.events) return;
  epoll_event event{};
  event.events = wanted;
  event.data.u64 = c.id;
  if (epoll_ctl(epoll_.Get(), EPOLL_CTL_MOD, c.fd.Get(), &event) == 0) c.events = wanted;
}

void HttpListener::Loop::Close(std::uint64_t id) {
  const auto it = connections_.find(id);
  if (it == connections_.end()) return;
  epoll_ctl(epoll_.Get(), EPOLL_CTL_DEL, it->second->fd.Get(), nullptr);
  connections_.erase(it);
}

int HttpListener::Loop::CheckDeadlines() {
  TakeMoved();
  const auto now = Clock::now();
  if (acceptPaused_ && now >= acceptResumes_) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kListenId;
    acceptPaused_ = epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, listen_.Get(), &event) != 0;
    if (acceptPaused_) acceptResumes_ = now + kAcceptPause;
  }
  auto next = now + kLongestWait;
  if (acceptPaused_) next = std::min(next, acceptResumes_);
  std::vector<std::uint64_t> expired;
  for (auto& [id, c] : connections_) {
    Clock::time_point due = Clock::time_point::max();
    switch (c->phase) {
      case Phase::Reading:
        due = c->parser.Started() ? c->requestStart + options_.requestTimeout
                                  : c->idleSince + options_.idleTimeout;
        break;
      case Phase::Writing:
        due = c->writeStart + options_.writeTimeout;
        break;
      case Phase::Lingering:
        due = c->lingerUntil;
        break;
      case Phase::Processing:
        due = c->slowDeadline;
        break;
    }
    if (due <= now) {
      expired.push_back(id);
    } else {
      next = std::min(next, due);
    }
  }
  for (const std::uint64_t id : expired) {
    Connection& c = *connections_.at(id);
    if (c.phase == Phase::Processing) {
      c.slowDeadline = Clock::time_point::max();
      HttpResponse response =
          refusal_(c.slowRequest, 500,
                   "The imagery did not answer within " +
                       std::to_string(
                           std::chrono::ceil<std::chrono::seconds>(options_.slowTimeout).count()) +
                       " s");
      Send(c, c.slowRequest, std::move(response));
    } else if (c.phase == Phase::Reading && c.parser.Started()) {
      Refuse(c, 408,
             "The request did not arrive within " +
                 std::to_string(options_.requestTimeout.count()) + " ms");
    } else {
      Close(id);
    }
  }
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
  return static_cast<int>(std::clamp<long long>(wait.count(), 0, kLongestWait.count()));
}

HttpListener::HttpListener(Options options, Handler handler, Refusal refusal, Logger logger)
    : loop_(std::make_unique<Loop>(std::move(options), std::move(handler), std::move(refusal),
                                   std::move(logger))) {}

HttpListener::~HttpListener() {
  // Abandoned workers still use the loop when their answers come: it stays, reachable.
  if (loop_->Abandoned()) {
    static std::mutex mutex;
    static auto* const kept = new std::vector<std::unique_ptr<Loop>>();
    std::lock_guard lock(mutex);
    kept->push_back(std::move(loop_));
  }
}

int HttpListener::Bind(const std::string& host, int port) { return loop_->Bind(host, port); }
bool HttpListener::Run() { return loop_->Run(); }
void HttpListener::Stop() { loop_->Stop(); }
bool HttpListener::Sleep(std::chrono::milliseconds time) { return loop_->Sleep(time); }
bool HttpListener::Abandoned() const { return loop_->Abandoned(); }
bool HttpListener::TakeSlowWork() { return Loop::TakeSlowWork(); }

}  // namespace quorvil::mapservice
