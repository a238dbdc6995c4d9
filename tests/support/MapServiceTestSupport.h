#pragma once

// Helpers of the map service tests: the built service run as a process, SOAP requests as
// a client writes them, and reading the answers back.

#include <cstdint>
#include <cstdlib>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "../support/MapServiceProcess.h"  // also from bench/
#include "service/TerraServiceSoapSupport.h"

namespace quorvil::mapservice::testing {

using quorvil::testing::kMapServicePath;
using quorvil::testing::ServiceProcess;

// A SOAP 1.1 request for `operation` whose body element holds `parameters`. With
// `prefixed`, parameters are written with the prefix "t:" of the service namespace
// instead of unqualified.
inline std::string SoapRequest(std::string_view operation, std::string_view parameters,
                               bool prefixed = false) {
  std::string params(parameters);
  if (prefixed) {
    std::string out;
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (params[i] != '<') {
        out += params[i];
      } else if (i + 1 < params.size() && params[i + 1] == '/') {
        out += "</t:";
        ++i;
      } else {
        out += "<t:";
      }
    }
    params = out;
  }
  const std::string ns(kTerraServiceNamespace);
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
         "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:t=\"" +
         ns + "\"><soap:Body><t:" + std::string(operation) + ">" + params +
         "</t:" + std::string(operation) + "></soap:Body></soap:Envelope>";
}

inline std::string SoapAction(std::string_view operation) {
  return "\"" + std::string(kTerraServiceNamespace) + std::string(operation) + "\"";
}

inline std::string Point(std::string_view name, double lon, double lat) {
  return "<" + std::string(name) + "><Lon>" + std::to_string(lon) + "</Lon><Lat>" +
         std::to_string(lat) + "</Lat></" + std::string(name) + ">";
}

inline std::string Id(std::string_view theme, std::string_view scale, int scene, int x, int y) {
  return "<id><Theme>" + std::string(theme) + "</Theme><Scale>" + std::string(scale) +
         "</Scale><Scene>" + std::to_string(scene) + "</Scene><X>" + std::to_string(x) + "</X><Y>" +
         std::to_string(y) + "</Y></id>";
}

// The <OpResult> element of an answer, or an empty node.
inline pugi::xml_node ResultOf(pugi::xml_document& doc, std::string_view body,
                               std::string_view operation) {
  if (!doc.load_buffer(body.data(), body.size())) return {};
  const std::string path = "/soap:Envelope/soap:Body/" + std::string(operation) + "Response/" +
                           std::string(operation) + "Result";
  return doc.select_node(path.c_str()).node();
}

inline std::string FaultString(std::string_view body) {
  pugi::xml_document doc;
  if (!doc.load_buffer(body.data(), body.size())) return "<not XML>";
  return doc.select_node("/soap:Envelope/soap:Body/soap:Fault/faultstring").node().child_value();
}

inline std::vector<std::uint8_t> Base64Decode(std::string_view text) {
  std::vector<std::uint8_t> out;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int v;
    if (c >= 'A' && c <= 'Z')
      v = c - 'A';
    else if (c >= 'a' && c <= 'z')
      v = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      v = c - '0' + 52;
    else if (c == '+')
      v = 62;
    else if (c == '/')
      v = 63;
    else
      continue;
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    if (++count == 4) {
      out.push_back(static_cast<std::uint8_t>(bits >> 16));
      out.push_back(static_cast<std::uint8_t>(bits >> 8));
      out.push_back(static_cast<std::uint8_t>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 3) {
    out.push_back(static_cast<std::uint8_t>(bits >> 10));
    out.push_back(static_cast<std::uint8_t>(bits >> 2));
  } else if (count == 2) {
    out.push_back(static_cast<std::uint8_t>(bits >> 4));
  }
  return out;
}

}  // namespace quorvil::mapservice::testing
