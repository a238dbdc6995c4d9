#include "imagery/ImageSupport.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "imagery/JpegCodec.h"
#include "platform/ProgramError.h"

namespace quorvil {

namespace {

void PutLe16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  PutLe16(p, v & 0xFFFF);
  PutLe16(p + 2, v >> 16);
}

// BITMAPFILEHEADER + BITMAPINFOHEADER, bottom-up rows padded to four bytes.
void WriteBitmapFile(std::ofstream& out, const TBitmap24& picture) {
  const std::int64_t rowBytes = (picture.Stride() + 3) / 4 * 4;
  const std::int64_t imageBytes = rowBytes * picture.Height();
  if (54 + imageBytes > 0xFFFFFFFFLL) {
    throw EQuorvilError("The picture is too large for a bitmap file");
  }
  std::uint8_t header[54] = {};
  header[0] = 'B';
  header[1] = 'M';
  PutLe32(header + 2, static_cast<std::uint32_t>(54 + imageBytes));
  PutLe32(header + 10, 54);
  PutLe32(header + 14, 40);
  PutLe32(header + 18, static_cast<std::uint32_t>(picture.Width()));
  PutLe32(header + 22, static_cast<std::uint32_t>(picture.Height()));
  PutLe16(header + 26, 1);
  PutLe16(header + 28, 24);
  PutLe32(header + 34, static_cast<std::uint32_t>(imageBytes));
  PutLe32(header + 38, 2835);  // 72 dpi
  PutLe32(header + 42, 2835);
  out.write(reinterpret_cast<const char*>(header), sizeof header);
  std::vector<char> row(static_cast<std::size_t>(rowBytes), 0);
  for (int y = picture.Height() - 1; y >= 0; --y) {
    std::memcpy(row.data(), picture.Row(y), static_cast<std::size_t>(picture.Stride()));
    out.write(row.data(), rowBytes);
  }
}

}  // namespace

void SaveBitmapToFile(const TBitmap24& picture, const std::string& fileName, int fileType) {
  if (fileType != kSaveAsJpeg && fileType != kSaveAsBitmap) return;
  std::vector<std::uint8_t> jpeg;
  if (fileType == kSaveAsJpeg) jpeg = EncodeJpeg(picture, 100);

  const std::string temporary = fileName + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      throw EQuorvilError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
    }
    try {
      if (fileType == kSaveAsJpeg) {
        out.write(reinterpret_cast<const char*>(jpeg.data()),
                  static_cast<std::streamsize>(jpeg.size()));
      } else {
        WriteBitmapFile(out, picture);
      }
      out.flush();
      if (!out)
        throw EQuorvilError("Cannot write file \"" + fileName + "\". " + std::strerror(errno));
    } catch (...) {
      out.close();
      std::remove(temporary.c_str());
      throw;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, fileName, error);
  if (error) {
    std::remove(temporary.c_str());
    throw EQuorvilError("Cannot create file \"" + fileName + "\". " + error.message());
  }
}

}  // namespace quorvil
