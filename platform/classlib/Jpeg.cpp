// JPEG decoding with libjpeg (the skins' pictures). Corrupt or truncated data is an error,
// not a grey picture: a half-decoded skin would look like a fault of the program.
#include <QImage>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include "classlib/Graphics.h"

// After the platform's types: libjpeg defines TRUE and FALSE as macros.
#include <jpeglib.h>

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  // Warnings (level -1) mean damaged data: treated as errors.
  if (level < 0) OnError(cinfo);
}

// Pictures larger than this are refused rather than allocated.
constexpr long long kMaxPixels = 64LL * 1024 * 1024;

}  // namespace

QImage DecodeJpeg(const void* data, std::size_t size, const String& where) {
  // Everything the decoder touches after setjmp lives on the heap behind pointers made
  // before it, so a jump back leaves nothing in an undefined state.
  auto out = std::make_unique<QImage>();
  auto row = std::make_unique<std::vector<unsigned char>>();
  auto err = std::make_unique<ErrorManager>();
  auto cinfo = std::make_unique<jpeg_decompress_struct>();
  cinfo->err = jpeg_std_error(&err->pub);
  err->pub.error_exit = OnError;
  err->pub.emit_message = OnMessage;
  err->message[0] = 0;
  if (setjmp(err->jump)) {
    jpeg_destroy_decompress(cinfo.get());
    throw EInvalidGraphic(String("JPEG error: ") + err->message + ": " + where);
  }
  jpeg_create_decompress(cinfo.get());
  jpeg_mem_src(cinfo.get(), static_cast<const unsigned char*>(data),
               static_cast<unsigned long>(size));
  jpeg_read_header(cinfo.get(), TRUE);
  cinfo->out_color_space = JCS_RGB;
  jpeg_start_decompress(cinfo.get());
  if (cinfo->output_components != 3 ||
      static_cast<long long>(cinfo->output_width) * cinfo->output_height > kMaxPixels) {
    std::snprintf(err->message, sizeof err->message, "unsupported picture (%ux%u)",
                  cinfo->output_width, cinfo->output_height);
    std::longjmp(err->jump, 1);
  }
  *out = QImage(int(cinfo->output_width), int(cinfo->output_height), QImage::Format_RGB32);
  if (out->isNull()) {
    std::snprintf(err->message, sizeof err->message, "out of memory");
    std::longjmp(err->jump, 1);
  }
  row->resize(std::size_t(cinfo->output_width) * 3);
  while (cinfo->output_scanline < cinfo->output_height) {
    int y = int(cinfo->output_scanline);
    JSAMPROW rows[1] = {row->data()};
    jpeg_read_scanlines(cinfo.get(), rows, 1);
    auto* line = reinterpret_cast<std::uint32_t*>(out->scanLine(y));
    for (unsigned x = 0; x < cinfo->output_width; ++x) {
      const unsigned char* p = row->data() + x * 3;
      line[x] = 0xFF000000u | (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
    }
  }
  jpeg_finish_decompress(cinfo.get());
  jpeg_destroy_decompress(cinfo.get());
  return std::move(*out);
}
