#include "imagery/MosaicSupport.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstring>
#include <deque>
#include <string>

#include "imagery/GifCodec.h"
#include "imagery/JpegCodec.h"
#include "imagery/ZoomLevels.h"
#include "platform/ProgramError.h"
#include "service/SoapEnvelope.h"
#include "service/TerraServiceSupport.h"

namespace quorvil {

namespace {

std::atomic<std::int64_t> retryPauseMs{kTileRetryPause.count()};

// Every store checks its downloads as the mosaic would decode them, on the worker that
// fetched them, and its cache reads on the reader that read them, and hands the decoded
// picture on: a corrupt tile never reaches the cache, and the drawing only places tiles.
const bool kTileCheckInstalled = [] {
  SetTileCheck([](const std::vector<std::uint8_t>& bytes) -> std::shared_ptr<const void> {
    return std::make_shared<const TBitmap24>(DecodeTileBytes(bytes.data(), bytes.size()));
  });
  return true;
}();

int AttemptsFor(const std::exception& error) {
  return dynamic_cast<const ESoapFault*>(&error) ? kFaultAttempts : kTileAttempts;
}

// The service's records hold their parts by pointer; an answer that lacks one is
// reported instead of followed.
const AreaCoordinate& Corner(const std::unique_ptr<AreaCoordinate>& corner) {
  if (!corner || !corner->TileMeta || !corner->TileMeta->Id || !corner->Offset) {
    throw EQuorvilError("The service's area lacks the tiles of its corners");
  }
  return *corner;
}

const TileId& IdOf(const std::unique_ptr<AreaCoordinate>& corner) {
  return *Corner(corner).TileMeta->Id;
}

const LonLatPtOffset& OffsetOf(const std::unique_ptr<AreaCoordinate>& corner) {
  return *Corner(corner).Offset;
}

TBitmap24 DecodeOrDiscard(TMemoryStream& stream, const TileId& id) {
  try {
    return DecodeTileStream(stream);
  } catch (const EQuorvilError& error) {
    // Left in the cache, the same bytes would fail on every later request.
    const std::string file = TileFileName(id);
    DiscardCachedTile(id);
    throw EQuorvilError("The tile file \"" + file + "\" is not a valid picture: " + error.what());
  }
}

void ClearPoint(std::unique_ptr<LonLatPt>& point) {
  if (!point) point = std::make_unique<LonLatPt>();
  *point = LonLatPt{};
}

// Every point of the corner becomes (0, 0) and its tile counts as existing; the tile id
// and the pixel offsets stay.
void ClearAreaCoordinate(std::unique_ptr<AreaCoordinate>& corner) {
  if (!corner) corner = std::make_unique<AreaCoordinate>();
  if (!corner->TileMeta) corner->TileMeta = std::make_unique<TileMeta>();
  if (!corner->Offset) corner->Offset = std::make_unique<LonLatPtOffset>();
  TileMeta& meta = *corner->TileMeta;
  if (!meta.Id) meta.Id = std::make_unique<TileId>();
  ClearPoint(corner->Offset->Point);
  ClearPoint(meta.NorthWest);
  ClearPoint(meta.NorthEast);
  ClearPoint(meta.SouthWest);
  ClearPoint(meta.SouthEast);
  ClearPoint(meta.Center);
  meta.TileExists = true;
}

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
  std::int64_t q = value / divisor;
  if (value % divisor != 0 && value < 0) --q;
  return q;
}

// a x b, or an EQuorvilError when a hostile area makes it leave 64 bits.
std::int64_t CheckedProduct(std::int64_t a, std::int64_t b, const char* what) {
  std::int64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product)) {
    throw EQuorvilError(std::string("The area's ") + what + " is too large to count");
  }
  return product;
}

void PlaceCorner(AreaCoordinate& corner, std::int64_t x, std::int64_t y) {
  corner.Offset->XOffset = 0;
  corner.Offset->YOffset = 0;
  corner.TileMeta->Id->X = static_cast<int>(x);
  corner.TileMeta->Id->Y = static_cast<int>(y);
}

}  // namespace

bool DrawAreaToBitmap(TBitmap24& bitmap, const AreaBoundingBox& area,
                      const TProgressCallback& progress, TMosaicReport* report) {
  return DrawTilesToBitmap(bitmap, area, {}, progress, report);
}

bool DrawTilesToBitmap(TBitmap24& bitmap, const AreaBoundingBox& area,
                       const std::vector<std::int64_t>& only, const TProgressCallback& progress,
                       TMosaicReport* report) {
  (void)kTileCheckInstalled;
  const TileId& northWest = IdOf(area.NorthWest);
  const TileId& southEast = IdOf(area.SouthEast);
  const LonLatPtOffset& offset = OffsetOf(area.NorthWest);
  const std::int64_t columns = std::int64_t{southEast.X} - northWest.X + 1;
  if (AreaTileCount(area) == 0) return true;
  const std::int64_t total =
      only.empty() ? AreaTileCount(area) : static_cast<std::int64_t>(only.size());
  // The store downloads, or reads and decodes, the tiles ahead of their turn, several at
  // once; they are drawn here in their order. Leaving early gives up those not yet begun.
  const std::shared_ptr<TTileStore> store = CurrentTileStore();
  TTileRun tiles(*store, northWest, columns, std::int64_t{northWest.Y} - southEast.Y + 1, only);
  TMosaicReport local;
  TMosaicReport& out = report ? *report : local;

  struct TRetry {
    std::int64_t index;
    int attempt;  // the attempt this request is
    TTileRequest request;
  };
  std::deque<TRetry> retries;
  // One attempt at a tile: true when it is dealt with (drawn, missing or failed for good),
  // false when it waits for a retry.
  const auto attempt = [&](std::int64_t index, int number, const auto& fetch) {
    const TileId id = tiles.IdOfIndex(index);
    try {
      TMemoryStream stream;
      std::shared_ptr<const void> checked;
      fetch(stream, &checked);
      const auto* picture = static_cast<const TBitmap24*>(checked.get());
      TBitmap24 decoded;
      if (!picture) {
        decoded = DecodeOrDiscard(stream, id);
        picture = &decoded;
      }
      DrawPictureAt(bitmap, *picture, (index % columns) * kTileSize - offset.XOffset,
                    (index / columns) * kTileSize - offset.YOffset);
      return true;
    } catch (const ETileMissing&) {
      out.Missing.push_back(index);
      return true;
    } catch (const ESilentAbort&) {
      throw;
    } catch (const std::exception& error) {
      if (number < AttemptsFor(error)) {
        const auto pause = std::chrono::milliseconds(retryPauseMs.load() << (number - 1));
        retries.push_back(
            {index, number + 1, store->Request(id, std::chrono::steady_clock::now() + pause)});
        return false;
      }
      out.Failed.push_back(index);
      if (!out.Failure) out.Failure = std::current_exception();
      return true;
    }
  };
  std::int64_t done = 0;
  const auto dealtWith = [&](std::int64_t index) {
    ++done;
    out.Tile = index;
    if (!progress) return true;
    bool cancel = false;
    progress(cancel, ProgressPercent(done, total));
    return !cancel;
  };

  for (std::int64_t position = 0; position < total; ++position) {
    const std::int64_t index = tiles.NextIndex();
    const bool settled = attempt(
        index, 1, [&](TMemoryStream& stream, auto* checked) { tiles.TakeNext(stream, checked); });
    if (settled && !dealtWith(index)) return false;
  }
  while (!retries.empty()) {
    TRetry retry = std::move(retries.front());
    retries.pop_front();
    const bool settled = attempt(
        retry.index, retry.attempt,
        [&](TMemoryStream& stream, auto* checked) { store->Take(retry.request, stream, checked); });
    if (settled && !dealtWith(retry.index)) return false;
  }
  if (!report && out.Failure) std::rethrow_exception(out.Failure);
  return true;
}

std::chrono::milliseconds TileRetryPause() {
  return std::chrono::milliseconds(retryPauseMs.load());
}

void SetTileRetryPause(std::chrono::milliseconds pause) { retryPauseMs = pause.count(); }

std::int64_t AreaPixelWidth(const AreaBoundingBox& area) {
  return std::int64_t{OffsetOf(area.SouthEast).XOffset} +
         std::int64_t{IdOf(area.SouthEast).X} * kTileSize -
         std::int64_t{IdOf(area.NorthWest).X} * kTileSize - OffsetOf(area.NorthWest).XOffset;
}

std::int64_t AreaPixelHeight(const AreaBoundingBox& area) {
  return std::int64_t{OffsetOf(area.SouthEast).YOffset} +
         std::int64_t{IdOf(area.NorthWest).Y} * kTileSize -
         std::int64_t{IdOf(area.SouthEast).Y} * kTileSize - OffsetOf(area.NorthWest).YOffset;
}

std::int64_t AreaTileCount(const AreaBoundingBox& area) {
  const std::int64_t columns = std::int64_t{IdOf(area.SouthEast).X} - IdOf(area.NorthWest).X + 1;
  const std::int64_t rows = std::int64_t{IdOf(area.NorthWest).Y} - IdOf(area.SouthEast).Y + 1;
  // Crossed corners draw nothing, so they hold nothing either.
  return columns > 0 && rows > 0 ? CheckedProduct(columns, rows, "tile count") : 0;
}

int ProgressPercent(std::int64_t done, std::int64_t total) {
  if (total <= 0 || done >= total) return 100;
  if (done <= 0) return 0;
  // In 128 bits, so that done x 100 cannot overflow however many tiles there are.
  __extension__ using TWide = __int128;
  return static_cast<int>(static_cast<TWide>(done) * 100 / total);
}

std::int64_t AreaDownloadBytes(const AreaBoundingBox& area) {
  return CheckedProduct(AreaTileCount(area), kBytesPerTile, "download size");
}

std::string DownloadSizeText(const AreaBoundingBox& area, char decimalSeparator) {
  const std::int64_t bytes = AreaDownloadBytes(area);
  const bool kilo = bytes < 1048576;
  const double value = static_cast<double>(bytes) / (kilo ? 1024.0 : 1048576.0);
  // to_chars, unlike printf, does not follow the process locale: the separator is ours.
  char digits[64];
  const auto result =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 2);
  std::string text(digits, result.ptr);
  std::replace(text.begin(), text.end(), '.', decimalSeparator);
  if (text.size() < 2) text.insert(0, 2 - text.size(), ' ');
  return text + (kilo ? " kb" : " mb");
}

TBitmap24 NewAreaBitmap(const AreaBoundingBox& area) {
  const std::int64_t width = AreaPixelWidth(area);
  const std::int64_t height = AreaPixelHeight(area);
  if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) {
    throw EQuorvilError("The area's picture cannot be made: it is " + std::to_string(width) +
                        " x " + std::to_string(height) + " pixels");
  }
  TBitmap24 picture(static_cast<int>(width), static_cast<int>(height));
  std::memset(picture.Data(), 0, static_cast<std::size_t>(picture.ByteCount()));
  return picture;
}

void ShiftArea(AreaBoundingBox& area, int dx, int dy, int width, int height) {
  area.NearestPlace.clear();
  for (auto* corner :
       {&area.NorthWest, &area.NorthEast, &area.SouthWest, &area.SouthEast, &area.Center}) {
    ClearAreaCoordinate(*corner);
  }
  LonLatPtOffset& offset = *area.NorthWest->Offset;
  TileId& northWest = *area.NorthWest->TileMeta->Id;
  std::int64_t v = std::int64_t{offset.XOffset} - dx;
  std::int64_t q = FloorDiv(v, kTileSize);
  offset.XOffset = static_cast<int>(v - q * kTileSize);
  northWest.X = static_cast<int>(northWest.X + q);
  v = std::int64_t{offset.YOffset} - dy;
  q = FloorDiv(v, kTileSize);
  offset.YOffset = static_cast<int>(v - q * kTileSize);
  northWest.Y = static_cast<int>(northWest.Y - q);

  const std::int64_t east = northWest.X + (std::int64_t{offset.XOffset} + width) / kTileSize;
  const std::int64_t south = northWest.Y - (std::int64_t{offset.YOffset} + height) / kTileSize;
  PlaceCorner(*area.NorthEast, east, northWest.Y);
  PlaceCorner(*area.SouthWest, northWest.X, south);
  PlaceCorner(*area.SouthEast, east, south);
  PlaceCorner(*area.Center, northWest.X + (std::int64_t{offset.XOffset} + width / 2) / kTileSize,
              northWest.Y - (std::int64_t{offset.YOffset} + height / 2) / kTileSize);
}

bool IsGifStream(TMemoryStream& stream) {
  if (stream.Size() < 3) return false;
  char head[3];
  if (stream.Read(head, 3) < 3) return false;
  return std::toupper(static_cast<unsigned char>(head[0])) == 'G' &&
         std::toupper(static_cast<unsigned char>(head[1])) == 'I' &&
         std::toupper(static_cast<unsigned char>(head[2])) == 'F';
}

TBitmap24 DecodeTileStream(TMemoryStream& stream) {
  stream.Rewind();
  return DecodeTileBytes(stream.Data(), static_cast<std::size_t>(stream.Size()));
}

TBitmap24 DecodeTileBytes(const std::uint8_t* data, std::size_t size) {
  const bool gif = size >= 3 && std::toupper(data[0]) == 'G' && std::toupper(data[1]) == 'I' &&
                   std::toupper(data[2]) == 'F';
  return gif ? DecodeGif(data, size, kTileDemand) : DecodeJpeg(data, size, kTileDemand);
}

void DrawPictureAt(TBitmap24& target, const TBitmap24& picture, std::int64_t x, std::int64_t y) {
  const std::int64_t left = std::max<std::int64_t>(0, x);
  const std::int64_t right = std::min<std::int64_t>(target.Width(), x + picture.Width());
  const std::int64_t top = std::max<std::int64_t>(0, y);
  const std::int64_t bottom = std::min<std::int64_t>(target.Height(), y + picture.Height());
  if (left >= right || top >= bottom) return;
  const auto span = static_cast<std::size_t>((right - left) * 3);
  for (std::int64_t row = top; row < bottom; ++row) {
    std::memcpy(target.Pixel(static_cast<int>(left), static_cast<int>(row)),
                picture.Pixel(static_cast<int>(left - x), static_cast<int>(row - y)), span);
  }
}

}  // namespace quorvil
