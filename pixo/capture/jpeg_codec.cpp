#include "pixo/capture/jpeg_codec.h"

#include <cstdio>
#include <string>

#include "pixo/base/errors.h"
#include <jpeglib.h>

namespace pixo {

namespace {

constexpr size_t kChunk = 4096;

struct Destination {
  jpeg_destination_mgr mgr;
  JOCTET buffer[kChunk];
  std::vector<uint8_t>* out;
};

void InitDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->mgr.next_output_byte = d->buffer;
  d->mgr.free_in_buffer = kChunk;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->out->insert(d->out->end(), d->buffer, d->buffer + kChunk);
  d->mgr.next_output_byte = d->buffer;
  d->mgr.free_in_buffer = kChunk;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<Destination*>(cinfo->dest);
  const size_t used = kChunk - d->mgr.free_in_buffer;
  d->out->insert(d->out->end(), d->buffer, d->buffer + used);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  Raise(ErrorKind::Jpeg, FormatOne(msg::kJpegError, std::to_string(cinfo->err->msg_code)));
}

void EmitMessage(j_common_ptr, int) {}  // warnings and trace messages are ignored
void OutputMessage(j_common_ptr) {}

// Releases the compressor on every path.
struct CompressGuard {
  jpeg_compress_struct* c;
  ~CompressGuard() { jpeg_destroy_compress(c); }
};

}  // namespace

std::vector<uint8_t> CompressJpeg(int width, int height, int quality, JpegPixels pixels,
                                  const uint8_t* (*rowAt)(void* ctx, int y), void* ctx) {
  std::vector<uint8_t> out;
  if (width <= 0 || height <= 0) return out;

  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  err.error_exit = ErrorExit;
  err.emit_message = EmitMessage;
  err.output_message = OutputMessage;
  jpeg_create_compress(&cinfo);
  CompressGuard guard{&cinfo};

  Destination dest{};
  dest.mgr.init_destination = InitDestination;
  dest.mgr.empty_output_buffer = EmptyOutputBuffer;
  dest.mgr.term_destination = TermDestination;
  dest.out = &out;
  cinfo.dest = &dest.mgr;

  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = pixels == JpegPixels::Bgr ? 3 : 4;
  cinfo.in_color_space = pixels == JpegPixels::Bgr ? JCS_EXT_BGR : JCS_EXT_BGRX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rowAt(ctx, int(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  return out;
}

}  // namespace pixo
