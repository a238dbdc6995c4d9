#pragma once

// Helpers shared by the SOAP tests: a transport that records what would go on the wire,
// and a compact picture of a request.

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "service/SoapTransport.h"
#include "service/TerraServiceSoapSupport.h"
#include "support/SoapAnswers.h"

namespace quorvil::test {

class RecordingTransport : public SoapTransport {
 public:
  struct Post {
    std::string Url, Action, ContentType, Body;
  };
  std::vector<Post> Posts;
  std::vector<std::string> Gets;
  HttpAnswer PostAnswer{200, ""};  // empty body: an empty answer to the posted operation
  HttpAnswer GetAnswer{200, ""};

  HttpAnswer Post(const std::string& url, const std::string& soapAction,
                  const std::string& contentType, const std::string& body) override {
    Posts.push_back({url, soapAction, contentType, body});
    if (!PostAnswer.Body.empty() || PostAnswer.Status != 200) return PostAnswer;
    const std::string op = soapAction.substr(kTerraServiceNamespace.size());
    return {200, AsmxEnvelope("<" + op + "Response xmlns=\"" + std::string(kTerraServiceNamespace) +
                              "\" />")};
  }
  HttpAnswer Get(const std::string& url) override {
    Gets.push_back(url);
    return GetAnswer;
  }
};

// The namespace URI an element's prefix is bound to.
inline std::string NamespaceOf(pugi::xml_node node) {
  const std::string name = node.name();
  const auto colon = name.find(':');
  const std::string attr = colon == std::string::npos ? "xmlns" : "xmlns:" + name.substr(0, colon);
  for (; node; node = node.parent()) {
    if (auto a = node.attribute(attr.c_str())) return a.value();
  }
  return "";
}

inline std::string LocalNameOf(pugi::xml_node node) {
  const std::string name = node.name();
  const auto colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

// "name{child=text;child{...}}"; every element must be in namespace `ns`, else the
// picture says so, so that a comparison with the expected picture fails.
inline std::string Shape(pugi::xml_node element, const std::string& ns) {
  std::string out = LocalNameOf(element);
  if (NamespaceOf(element) != ns) out += "[ns:" + NamespaceOf(element) + "]";
  bool nested = false;
  for (pugi::xml_node child : element.children()) {
    if (child.type() == pugi::node_element) {
      if (!nested) out += "{";
      nested = true;
      out += Shape(child, ns);
    }
  }
  if (nested) return out + "}";
  return out + "=" + element.text().get() + ";";
}

}  // namespace quorvil::test
