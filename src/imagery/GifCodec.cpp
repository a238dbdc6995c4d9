#include "imagery/GifCodec.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imagery/JpegCodec.h"
#include "platform/ProgramError.h"

namespace quorvil {

namespace {

struct TMemorySource {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position;
};

int ReadFromMemory(GifFileType* file, GifByteType* buffer, int count) {
  auto* source = static_cast<TMemorySource*>(file->UserData);
  const std::size_t wanted = count < 0 ? 0 : static_cast<std::size_t>(count);
  const std::size_t given = std::min(wanted, source->size - source->position);
  std::memcpy(buffer, source->data + source->position, given);
  source->position += given;
  return static_cast<int>(given);
}

struct TGifCloser {
  void operator()(GifFileType* file) const {
    int ignored = 0;
    DGifCloseFile(file, &ignored);
  }
};

[[noreturn]] void Fail(const std::string& what) { throw EQuorvilError("GIF error: " + what); }

[[noreturn]] void FailWith(int code) {
  const char* text = GifErrorString(code);
  Fail(text != nullptr ? text : "unknown error " + std::to_string(code));
}

// The transparent index of a Graphics Control Extension block, or -1.
int TransparentIndexOf(const GifByteType* block) {
  GraphicsControlBlock control{};
  if (block != nullptr && block[0] >= 4 &&
      DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
    return control.TransparentColor;
  }
  return -1;
}

}  // namespace

TBitmap24 DecodeGif(const std::uint8_t* data, std::size_t size, const TPictureDemand& demand) {
  if (data == nullptr || size < 13) Fail("the data is too short to be a GIF picture");
  TMemorySource source{data, size, 0};
  int error = 0;
  std::unique_ptr<GifFileType, TGifCloser> file(DGifOpen(&source, ReadFromMemory, &error));
  if (!file) FailWith(error);

  const int screenWidth = file->SWidth;
  const int screenHeight = file->SHeight;
  int transparent = -1;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(file.get(), &record) != GIF_OK) FailWith(file->Error);
    if (record == TERMINATE_RECORD_TYPE) Fail("the file holds no image");
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(file.get(), &code, &block) != GIF_OK) FailWith(file->Error);
      if (code == GRAPHICS_EXT_FUNC_CODE) transparent = TransparentIndexOf(block);
      while (block != nullptr) {
        if (DGifGetExtensionNext(file.get(), &block) != GIF_OK) FailWith(file->Error);
      }
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) continue;

    if (DGifGetImageDesc(file.get()) != GIF_OK) FailWith(file->Error);
    const GifImageDesc& image = file->Image;
    const ColorMapObject* colours = image.ColorMap != nullptr ? image.ColorMap : file->SColorMap;
    if (colours == nullptr) Fail("the image has no colour table");
    if (image.Width <= 0 || image.Height <= 0) Fail("the image has no pixels");
    // A screen of 0 x 0 (some writers leave it out) is the image's own extent.
    const int width = screenWidth > 0 ? screenWidth : image.Left + image.Width;
    const int height = screenHeight > 0 ? screenHeight : image.Top + image.Height;
    if (const std::string fault = PictureSizeFault(demand, width, height); !fault.empty()) {
      Fail(fault);
    }
    const bool sized = demand.Width > 0 || demand.Height > 0;
    if (static_cast<std::int64_t>(image.Width) * image.Height > kMaxDecodedPixels ||
        (sized && (image.Width > width || image.Height > height))) {
      Fail("the image of " + std::to_string(image.Width) + " x " + std::to_string(image.Height) +
           " pixels does not fit the picture of " + std::to_string(width) + " x " +
           std::to_string(height));
    }

    TBitmap24 picture(width, height);
    std::uint8_t background[3] = {0, 0, 0};
    if (file->SColorMap != nullptr && file->SBackGroundColor < file->SColorMap->ColorCount) {
      const GifColorType& c = file->SColorMap->Colors[file->SBackGroundColor];
      background[0] = c.Blue;
      background[1] = c.Green;
      background[2] = c.Red;
    }
    // An opaque image over the whole screen, as tiles are, leaves no pixel to fill.
    const bool coversScreen = transparent < 0 && image.Left <= 0 && image.Top <= 0 &&
                              image.Left + image.Width >= width &&
                              image.Top + image.Height >= height;
    if (!coversScreen) {
      std::uint8_t* row = picture.Row(0);
      for (int x = 0; x < width; ++x) std::memcpy(row + x * 3, background, 3);
      for (int y = 1; y < height; ++y)
        std::memcpy(picture.Row(y), row, static_cast<std::size_t>(picture.Stride()));
    }

    // Each colour index once as BGR in four bytes, so that a row is one lookup and one
    // store per pixel: each store's fourth byte is overwritten by the next pixel.
    std::uint8_t palette[256][4] = {};
    for (int i = 0; i < colours->ColorCount && i < 256; ++i) {
      palette[i][0] = colours->Colors[i].Blue;
      palette[i][1] = colours->Colors[i].Green;
      palette[i][2] = colours->Colors[i].Red;
    }

    // Interlaced rows arrive in four passes: every 8th from 0, every 8th from 4, every
    // 4th from 2, every 2nd from 1.
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(image.Height));
    if (image.Interlace) {
      static constexpr int kStart[] = {0, 4, 2, 1};
      static constexpr int kStep[] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < image.Height; y += kStep[pass]) order.push_back(y);
    } else {
      for (int y = 0; y < image.Height; ++y) order.push_back(y);
    }

    const int firstX = std::max(0, -image.Left);
    const int lastX = std::min(image.Width, width - image.Left);  // exclusive
    std::vector<GifPixelType> line(static_cast<std::size_t>(image.Width));
    for (const int y : order) {
      if (DGifGetLine(file.get(), line.data(), image.Width) != GIF_OK) FailWith(file->Error);
      const int screenY = image.Top + y;
      if (screenY < 0 || screenY >= height) continue;
      if (firstX >= lastX) continue;
      std::uint8_t* out = picture.Pixel(image.Left + firstX, screenY);
      const GifPixelType* in = line.data() + firstX;
      const int count = lastX - firstX;
      if (transparent < 0) {
        for (int x = 0; x < count - 1; ++x) std::memcpy(out + x * 3, palette[in[x]], 4);
        std::memcpy(out + (count - 1) * 3, palette[in[count - 1]], 3);
        continue;
      }
      for (int x = 0; x < count; ++x) {
        if (in[x] != transparent) std::memcpy(out + x * 3, palette[in[x]], 3);
      }
    }
    return picture;
  }
}

}  // namespace quorvil
