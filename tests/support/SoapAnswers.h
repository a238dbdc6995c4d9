#pragma once

// SOAP answer envelopes as an .asmx service writes them.

#include <string>

#include "service/TerraServiceSoapSupport.h"

namespace quorvil::test {

// <soap:Envelope ...><soap:Body>{body}</soap:Body></soap:Envelope>
inline std::string AsmxEnvelope(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
         "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>" +
         body + "</soap:Body></soap:Envelope>";
}

// The answer of `operation` with `result` as the inner XML of its result element.
inline std::string AsmxAnswer(const std::string& operation, const std::string& result) {
  return AsmxEnvelope("<" + operation + "Response xmlns=\"" + std::string(kTerraServiceNamespace) +
                      "\"><" + operation + "Result>" + result + "</" + operation + "Result></" +
                      operation + "Response>");
}

inline std::string AsmxFault(const std::string& text) {
  return AsmxEnvelope("<soap:Fault><faultcode>soap:Server</faultcode><faultstring>" + text +
                      "</faultstring><detail /></soap:Fault>");
}

}  // namespace quorvil::test
