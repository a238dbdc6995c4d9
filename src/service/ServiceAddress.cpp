// The routines that build a proxy from an address. They live apart so that a program
// that only ever hands the store a ready proxy does not need the SOAP transport.

#include "service/TerraServiceSupport.h"

namespace quorvil {

void InitializeTileService(const std::string& serviceAddress, const std::string& cacheFolder,
                           std::int64_t tileLimit, int deletePercent, int connections) {
  // One proxy, and so one kept-alive connection, for each download worker.
  StartTileService(
      CreateServiceProxy(false, serviceAddress),
      [serviceAddress] { return CreateServiceProxy(false, serviceAddress); }, serviceAddress,
      cacheFolder, tileLimit, deletePercent, connections);
}

bool TestServerAddress(const std::string& address) {
  const std::shared_ptr<TerraServiceSoap> proxy = CreateServiceProxy(false, address);
  return TestServiceProxy(*proxy);
}

}  // namespace quorvil
