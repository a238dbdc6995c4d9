// The wrapped service calls: each repeats its call for as long as it fails and the user
// asks to try again.

#include "platform/ProgramError.h"
#include "platform/PromptSupport.h"
#include "platform/WaitSupport.h"
#include "service/ServiceTextSupport.h"
#include "service/SoapTransport.h"
#include "service/TerraServiceSupport.h"

namespace quorvil {

namespace {

template <typename Call>
auto RetryServiceCall(Call call) -> decltype(call(std::declval<TerraServiceSoap&>())) {
  // Outside the loop: a store that was never started is the program's fault, not the
  // server's, and retrying would not mend it.
  TerraServiceSoap& proxy = ServiceProxy();
  for (;;) {
    try {
      // The call waits off the user-interface thread; the prompt below is shown on it.
      // It counts as begun here, so that an abort while the worker is still starting
      // ends it too.
      const std::uint64_t begun = SoapAbortGeneration();
      return WaitForResult([&] {
        const TTransferScope scope(begun);
        return call(proxy);
      });
    } catch (const ESilentAbort&) {
      throw;
    } catch (const std::exception& error) {
      AskToRetryServiceCall(error);
    }
  }
}

// Place names are the service's texts and are shown as they come.
std::unique_ptr<AreaBoundingBox> WithPlaceShown(std::unique_ptr<AreaBoundingBox> area) {
  if (area) area->NearestPlace = ServiceTextForDisplay(area->NearestPlace);
  return area;
}

}  // namespace

std::string RetryPromptText(const std::string& message) {
  // Paragraphs are separated by blank lines; line feeds are what message boxes and
  // terminals on this system break lines on.
  return "The program is having trouble communicating with the TerraServer.\n\n"
         "The following error message was returned: \"" +
         ServiceTextForDisplay(message) + "\"\n\nTry again?";
}

void AskToRetryServiceCall(const std::exception& error) {
  if (!AskYesNo(TPromptKind::pkWarning, "Warning", RetryPromptText(error.what()))) {
    throw ESilentAbort();
  }
}

std::unique_ptr<AreaBoundingBox> ServiceGetAreaFromPt(const LonLatPt& center, Theme theme,
                                                      Scale scale, int width, int height) {
  return WithPlaceShown(RetryServiceCall([&](TerraServiceSoap& proxy) {
    return proxy.GetAreaFromPt(center, theme, scale, width, height);
  }));
}

std::unique_ptr<AreaBoundingBox> ServiceGetAreaFromRect(const LonLatPt& upperLeft,
                                                        const LonLatPt& lowerRight, Theme theme,
                                                        Scale scale) {
  return WithPlaceShown(RetryServiceCall([&](TerraServiceSoap& proxy) {
    return proxy.GetAreaFromRect(upperLeft, lowerRight, theme, scale);
  }));
}

std::unique_ptr<TileMeta> ServiceGetTileMetaFromTileId(const TileId& id) {
  return RetryServiceCall([&](TerraServiceSoap& proxy) { return proxy.GetTileMetaFromTileId(id); });
}

std::string ServiceGetNearestPlace(const LonLatPt& point) {
  return ServiceTextForDisplay(RetryServiceCall(
      [&](TerraServiceSoap& proxy) { return proxy.ConvertLonLatPtToNearestPlace(point); }));
}

ArrayOfPlaceFacts ServiceGetPlaceList(const std::string& placeName, int maxItems,
                                      bool imagePresence) {
  ArrayOfPlaceFacts list = RetryServiceCall([&](TerraServiceSoap& proxy) {
    return proxy.GetPlaceList(placeName, maxItems, imagePresence);
  });
  for (const auto& facts : list) {
    if (!facts || !facts->Place) continue;
    for (std::string* part : {&facts->Place->City, &facts->Place->State, &facts->Place->Country}) {
      *part = ServiceTextForDisplay(*part);
    }
  }
  return list;
}

std::unique_ptr<AreaBoundingBox> GetAreaForSelection(const TSelectionRec& selection, Theme theme,
                                                     Scale scale) {
  const LonLatPt upperLeft{selection.West, selection.North};
  const LonLatPt lowerRight{selection.East, selection.South};
  return ServiceGetAreaFromRect(upperLeft, lowerRight, theme, scale);
}

std::string GetNearestPlaceName(double latitude, double longitude) {
  return ServiceGetNearestPlace(LonLatPt{longitude, latitude});
}

bool TestServiceProxy(TerraServiceSoap& proxy) {
  for (;;) {
    try {
      const std::uint64_t begun = SoapAbortGeneration();
      WaitFor([&] {
        const TTransferScope scope(begun);
        proxy.ConvertLonLatPtToNearestPlace(kTestServerPoint);
      });
      return true;
    } catch (const ESilentAbort&) {
      return false;
    } catch (const std::exception& error) {
      try {
        AskToRetryServiceCall(error);
      } catch (const ESilentAbort&) {
        return false;
      }
    }
  }
}

}  // namespace quorvil
