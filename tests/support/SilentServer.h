#pragma once

// A loopback port that takes connections and never answers: the kernel completes the
// handshakes of its backlog, and nobody ever accepts or reads. A transfer to it waits
// until its time-out, or until it is aborted.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace quorvil::testing {

class TSilentServer {
 public:
  TSilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 64) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on a loopback port");
    }
    port_ = ntohs(address.sin_port);
  }
  ~TSilentServer() { ::close(fd_); }
  TSilentServer(const TSilentServer&) = delete;
  TSilentServer& operator=(const TSilentServer&) = delete;

  std::string Url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/terraservice.asmx";
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace quorvil::testing
