#pragma once

// A map service that says whatever a test scripts: each operation answers with a
// scripted reply (any status, any bytes), on 127.0.0.1 at a free port. Requests are
// counted before their answer leaves, so a client that has its answer sees the count.

#include <httplib.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/FakeTerraService.h"
#include "support/SoapAnswers.h"

namespace quorvil::testing {

struct THostileReply {
  int Status = 200;
  std::string Body;
};

class THostileSoapServer {
 public:
  // Gets the request's body; returns the reply.
  using TAnswer = std::function<THostileReply(const std::string& body)>;

  THostileSoapServer() {
    server_.Post("/terraservice.asmx", [this](const httplib::Request& req, httplib::Response& res) {
      const std::string operation = OperationOf(req.get_header_value("SOAPAction"));
      TAnswer answer;
      {
        std::lock_guard lock(mutex_);
        ++requests_[operation];
        if (const auto it = answers_.find(operation); it != answers_.end()) answer = it->second;
      }
      const THostileReply reply =
          answer ? answer(req.body)
                 : THostileReply{500, test::AsmxFault("no answer scripted for " + operation)};
      res.status = reply.Status;
      res.set_content(reply.Body, "text/xml; charset=utf-8");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~THostileSoapServer() {
    server_.stop();
    thread_.join();
  }
  THostileSoapServer(const THostileSoapServer&) = delete;
  THostileSoapServer& operator=(const THostileSoapServer&) = delete;

  void On(const std::string& operation, TAnswer answer) {
    std::lock_guard lock(mutex_);
    answers_[operation] = std::move(answer);
  }
  // The same reply to every request of the operation.
  void On(const std::string& operation, THostileReply reply) {
    On(operation, [reply](const std::string&) { return reply; });
  }

  std::string Endpoint() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/terraservice.asmx";
  }
  int Requests(const std::string& operation) const {
    std::lock_guard lock(mutex_);
    const auto it = requests_.find(operation);
    return it == requests_.end() ? 0 : it->second;
  }

 private:
  // "http://terraserver-usa.com/terraserver/GetTile" (quoted) -> "GetTile".
  static std::string OperationOf(std::string action) {
    if (!action.empty() && action.back() == '"') action.pop_back();
    const auto slash = action.find_last_of('/');
    return slash == std::string::npos ? action : action.substr(slash + 1);
  }

  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::map<std::string, TAnswer> answers_;
  std::map<std::string, int> requests_;
};

// ---- Replies ---------------------------------------------------------------------------

// One corner of an area: its tile and its pixel inside the tile.
struct TAreaCorner {
  int X = 0, Y = 0, XOffset = 0, YOffset = 0;
};

// The answer of GetAreaFromPt or GetAreaFromRect with the two corners (the other three
// copy them), in theme Photo at `scale`, scene 18.
inline THostileReply AreaReply(const std::string& operation, TAreaCorner nw, TAreaCorner se,
                               const std::string& scale = "Scale64m",
                               const std::string& place = "Hostile Hill, NY") {
  const auto corner = [&](const char* name, TAreaCorner c) {
    const std::string point = "<Lon>-73.9</Lon><Lat>40.7</Lat>";
    return std::string("<") + name + "><TileMeta><Id><Theme>Photo</Theme><Scale>" + scale +
           "</Scale><Scene>18</Scene><X>" + std::to_string(c.X) + "</X><Y>" + std::to_string(c.Y) +
           "</Y></Id><TileExists>true</TileExists><NorthWest>" + point + "</NorthWest><SouthEast>" +
           point + "</SouthEast><Center>" + point + "</Center></TileMeta><Offset><Point>" + point +
           "</Point><XOffset>" + std::to_string(c.XOffset) + "</XOffset><YOffset>" +
           std::to_string(c.YOffset) + "</YOffset></Offset></" + name + ">";
  };
  return {200, test::AsmxAnswer(operation, corner("NorthWest", nw) +
                                               corner("NorthEast", {se.X, nw.Y, se.XOffset, 0}) +
                                               corner("SouthWest", {nw.X, se.Y, 0, se.YOffset}) +
                                               corner("SouthEast", se) + corner("Center", nw) +
                                               "<NearestPlace>" + place + "</NearestPlace>")};
}

// A GetTile answer carrying the file.
inline THostileReply TileReply(const std::vector<std::uint8_t>& file) {
  return {200, test::AsmxAnswer("GetTile", EncodeBase64(file))};
}

// A SOAP fault, with the status an .asmx service sends it with. The text goes into the
// XML as it is.
inline THostileReply FaultReply(const std::string& text) { return {500, test::AsmxFault(text)}; }

}  // namespace quorvil::testing
