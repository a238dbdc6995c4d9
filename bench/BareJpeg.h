#pragma once

// libjpeg-turbo alone, without the program's codec around it: the yardstick that the
// benchmarks of tile decoding and picture saving compare with.

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cstdint>
#include <vector>

namespace quorvil::bench {

// Decodes a JPEG file from memory into BGR rows of `pixels`, which must be large enough.
inline void BareDecodeJpeg(const std::vector<std::uint8_t>& file, std::uint8_t* pixels) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels + info.output_scanline * info.output_width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
}

}  // namespace quorvil::bench
