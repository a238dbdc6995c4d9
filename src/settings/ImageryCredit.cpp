#include "settings/ImageryCredit.h"

#include <chrono>
#include <memory>

#include "platform/ProgramError.h"
#include "service/SoapTransport.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

std::string AskDataSource(const std::string& address) {
  auto transport = std::make_shared<CurlSoapTransport>();
  transport->SetTimeouts(std::chrono::seconds(2), std::chrono::seconds(5));
  const std::shared_ptr<TerraServiceSoap> service = CreateServiceProxy(false, address, transport);
  std::string credit;
  for (Theme theme : {Theme::Photo, Theme::Topo}) {
    std::unique_ptr<ThemeInfo> info;
    try {
      info = service->GetTheme(theme);
    } catch (const EQuorvilError&) {
      if (theme == Theme::Photo) throw;  // a service without a map still has photographs
    }
    if (!info || info->Supplier.empty()) continue;
    const std::string line = info->Supplier + " (" + info->CopyrightNotice + ")";
    if (credit.find(line) == std::string::npos) credit += (credit.empty() ? "" : "; ") + line;
  }
  if (credit.empty()) throw EQuorvilError("The map service names no supplier");
  return credit + ".";
}

}  // namespace quorvil
