#pragma once

// The service description: WSDL 1.1 of the sixteen operations with their schema types
// and a SOAP 1.1 document/literal binding.

#include <string>
#include <string_view>

namespace quorvil::mapservice {

// `endpoint` becomes the soap:address of port "TerraServiceSoap" of service
// "TerraService".
std::string BuildWsdl(std::string_view endpoint);

}  // namespace quorvil::mapservice
