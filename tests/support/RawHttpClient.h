#pragma once

// A TCP client that sends exactly the bytes a test gives it, slowly or broken if need be,
// and reads the server's answer back: for HTTP servers under hostile input.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace quorvil::testing {

class TRawHttpClient {
 public:
  explicit TRawHttpClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ =
        fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~TRawHttpClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  TRawHttpClient(const TRawHttpClient&) = delete;
  TRawHttpClient& operator=(const TRawHttpClient&) = delete;

  bool Connected() const { return connected_; }

  // Whether all bytes went out (false once the server has closed or reset the connection).
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // What arrives until the server closes, or until `timeout` passes without a byte.
  std::string ReadUntilClosed(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::string got;
    while (ReadSome(got, timeout)) {
    }
    return got;
  }

  // What arrives until `text` has arrived (or the server closes, or `timeout` passes).
  std::string ReadUntil(std::string_view text,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::string got;
    while (got.find(text) == std::string::npos && ReadSome(got, timeout)) {
    }
    return got;
  }

  // One whole answer with its Content-Length body.
  std::string ReadAnswer(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::string got = ReadUntil("\r\n\r\n", timeout);
    const std::size_t headEnd = got.find("\r\n\r\n");
    if (headEnd == std::string::npos) return got;
    const std::size_t at = got.find("Content-Length: ");
    const std::size_t length = at == std::string::npos ? 0 : std::stoul(got.substr(at + 16));
    while (got.size() < headEnd + 4 + length && ReadSome(got, timeout)) {
    }
    return got;
  }

  // Whether the server has closed the connection (a read sees its end) within `timeout`.
  bool ClosedWithin(std::chrono::milliseconds timeout) {
    std::string ignored;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) return false;
      char buffer[4096];
      if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
    }
    return false;
  }

 private:
  bool ReadSome(std::string& into, std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char buffer[16384];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool connected_ = false;
};

}  // namespace quorvil::testing
