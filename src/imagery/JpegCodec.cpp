#include "imagery/JpegCodec.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>

#include "platform/ProgramError.h"

namespace quorvil {

namespace {

// libjpeg reports fatal errors through error_exit, which by default ends the process.
// Ours jumps back to the caller's frame with the message kept.
// With warningsFail, a warning (libjpeg's word for damaged or cut-off data, which it
// papers over with grey) jumps back the same way.
struct JumpingErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool warningsFail;
};

void ErrorExit(j_common_ptr info) {
  auto* manager = reinterpret_cast<JumpingErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

void EmitMessage(j_common_ptr info, int level) {
  auto* manager = reinterpret_cast<JumpingErrorManager*>(info->err);
  if (level < 0) {
    ++info->err->num_warnings;
    if (manager->warningsFail) ErrorExit(info);
  }
}

void InstallErrorManager(JumpingErrorManager& manager, bool warningsFail = false) {
  jpeg_std_error(&manager.base);
  manager.base.error_exit = ErrorExit;
  manager.base.emit_message = EmitMessage;
  manager.message[0] = '\0';
  manager.warningsFail = warningsFail;
}

// Everything that lives across a longjmp sits in one heap block reached through a
// pointer that never changes, so no local is left stale by the jump.
struct DecodeState {
  jpeg_decompress_struct info{};
  JumpingErrorManager error{};
  TBitmap24 bitmap;
  bool created = false;
  std::string failure;
  ~DecodeState() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

struct EncodeState {
  jpeg_compress_struct info{};
  JumpingErrorManager error{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  bool created = false;
  ~EncodeState() {
    if (created) jpeg_destroy_compress(&info);
    std::free(buffer);
  }
};

}  // namespace

std::string PictureSizeFault(const TPictureDemand& demand, std::int64_t width,
                             std::int64_t height) {
  const auto pair = [](std::int64_t a, std::int64_t b) {
    return std::to_string(a) + " x " + std::to_string(b);
  };
  if (demand.Width > 0 || demand.Height > 0) {
    if (width == demand.Width && height == demand.Height) return {};
    return "the picture is " + pair(width, height) + " pixels, not " +
           pair(demand.Width, demand.Height);
  }
  if (width * height > kMaxDecodedPixels) {
    return "the picture is too large (" + pair(width, height) + " pixels)";
  }
  return {};
}

TBitmap24 DecodeJpeg(const std::uint8_t* data, std::size_t size, const TPictureDemand& demand) {
  if (data == nullptr || size < 4)
    throw EQuorvilError("JPEG error: the data is too short to be a JPEG picture");
  const auto state = std::make_unique<DecodeState>();
  DecodeState* const s = state.get();
  InstallErrorManager(s->error, demand.Intact);
  s->info.err = &s->error.base;
  if (setjmp(s->error.jump) != 0) {
    throw EQuorvilError(std::string("JPEG error: ") + s->error.message);
  }
  jpeg_create_decompress(&s->info);
  s->created = true;
  jpeg_mem_src(&s->info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&s->info, TRUE);
  if (s->info.jpeg_color_space == JCS_CMYK || s->info.jpeg_color_space == JCS_YCCK) {
    s->failure = "JPEG error: CMYK pictures are not supported";
  } else if (const std::string fault =
                 PictureSizeFault(demand, s->info.image_width, s->info.image_height);
             !fault.empty()) {
    s->failure = "JPEG error: " + fault;
  }
  if (!s->failure.empty()) throw EQuorvilError(s->failure);
  s->info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&s->info);
  if (s->info.output_components != 3) throw EQuorvilError("JPEG error: unexpected colour layout");
  s->bitmap.SetSize(static_cast<int>(s->info.output_width),
                    static_cast<int>(s->info.output_height));
  while (s->info.output_scanline < s->info.output_height) {
    JSAMPROW row = s->bitmap.Row(static_cast<int>(s->info.output_scanline));
    jpeg_read_scanlines(&s->info, &row, 1);
  }
  jpeg_finish_decompress(&s->info);
  return std::move(s->bitmap);
}

namespace {

// A destination that hands libjpeg's output to a stream a buffer at a time.
struct StreamDestination {
  jpeg_destination_mgr base{};
  std::ostream* out = nullptr;
  JOCTET buffer[1 << 16];
};

void InitStream(j_compress_ptr info) {
  auto* d = reinterpret_cast<StreamDestination*>(info->dest);
  d->base.next_output_byte = d->buffer;
  d->base.free_in_buffer = sizeof d->buffer;
}

boolean EmptyStream(j_compress_ptr info) {
  auto* d = reinterpret_cast<StreamDestination*>(info->dest);
  d->out->write(reinterpret_cast<const char*>(d->buffer), sizeof d->buffer);
  d->base.next_output_byte = d->buffer;
  d->base.free_in_buffer = sizeof d->buffer;
  return TRUE;
}

void TermStream(j_compress_ptr info) {
  auto* d = reinterpret_cast<StreamDestination*>(info->dest);
  d->out->write(reinterpret_cast<const char*>(d->buffer),
                static_cast<std::streamsize>(sizeof d->buffer - d->base.free_in_buffer));
}

// Runs the encoder over the picture into a destination that `setDestination` installs.
template <typename SetDestination>
void Encode(EncodeState* s, const TBitmap24& bitmap, int quality, SetDestination setDestination) {
  if (bitmap.Empty()) throw EQuorvilError("JPEG error: cannot write an empty picture");
  InstallErrorManager(s->error);
  s->info.err = &s->error.base;
  if (setjmp(s->error.jump) != 0) {
    throw EQuorvilError(std::string("JPEG error: ") + s->error.message);
  }
  jpeg_create_compress(&s->info);
  s->created = true;
  setDestination(s->info);
  s->info.image_width = static_cast<JDIMENSION>(bitmap.Width());
  s->info.image_height = static_cast<JDIMENSION>(bitmap.Height());
  s->info.input_components = 3;
  s->info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&s->info);
  jpeg_set_quality(&s->info, quality < 1 ? 1 : (quality > 100 ? 100 : quality), TRUE);
  jpeg_start_compress(&s->info, TRUE);
  while (s->info.next_scanline < s->info.image_height) {
    // libjpeg takes non-const rows but only reads them.
    JSAMPROW row = const_cast<JSAMPROW>(bitmap.Row(static_cast<int>(s->info.next_scanline)));
    jpeg_write_scanlines(&s->info, &row, 1);
  }
  jpeg_finish_compress(&s->info);
}

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(const TBitmap24& bitmap, int quality) {
  const auto state = std::make_unique<EncodeState>();
  EncodeState* const s = state.get();
  Encode(s, bitmap, quality,
         [s](jpeg_compress_struct& info) { jpeg_mem_dest(&info, &s->buffer, &s->size); });
  return std::vector<std::uint8_t>(s->buffer, s->buffer + s->size);
}

void EncodeJpegToStream(const TBitmap24& bitmap, int quality, std::ostream& out) {
  const auto state = std::make_unique<EncodeState>();
  const auto destination = std::make_unique<StreamDestination>();
  destination->out = &out;
  destination->base.init_destination = InitStream;
  destination->base.empty_output_buffer = EmptyStream;
  destination->base.term_destination = TermStream;
  Encode(state.get(), bitmap, quality,
         [d = destination.get()](jpeg_compress_struct& info) { info.dest = &d->base; });
}

}  // namespace quorvil
