#include "kwinet/graphics/JpegDecoder.h"

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace kwinet {

namespace {

// A progressive file can ask for any number of scans, each a pass over the
// whole picture. What the format needs is a first scan of the DC values, a
// refinement or two, and the AC coefficients in a few bands with their own
// refinements: the encoders' progressions use six scans a component at most.
// Sixteen a component leaves room for any sensible encoder and keeps a file
// of thousands of scans from costing thousands of passes.
constexpr int kMaxScansPerComponent = 16;

// A Huffman-coded file spends at least one bit on each block of 8 by 8
// samples, and a component sampled down four times in each direction has a
// block for every 32 by 32 pixels: at most 8192 pixels a byte. (Arithmetic
// coding has no such floor: a plain picture can take next to nothing, so
// only the fixed limits hold for it.)
constexpr std::int64_t kHuffmanPixelsPerByte = 8192;

// Everything the jump out of libjpeg may touch lives here, outside the frame
// that calls setjmp.
struct TJpegJob {
  jpeg_decompress_struct Info;
  jpeg_error_mgr Errors;
  jpeg_progress_mgr Progress;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX] = {0};
  std::vector<std::uint32_t> Pixels;
  std::vector<JSAMPLE> Row;
  int Width = 0, Height = 0;
};

TJpegJob* JobOf(j_common_ptr info) {
  return reinterpret_cast<TJpegJob*>(info->client_data);
}

void ErrorExit(j_common_ptr info) {
  TJpegJob* job = JobOf(info);
  info->err->format_message(info, job->Message);
  std::longjmp(job->Jump, 1);
}

// Warnings are not printed; the one that matters (the data ended early,
// where libjpeg would paint the rest grey) is an error here.
void EmitMessage(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) ErrorExit(info);
  if (level < 0) info->err->num_warnings++;
}

void OutputMessage(j_common_ptr) {}

void CheckProgress(j_common_ptr info) {
  auto* d = reinterpret_cast<j_decompress_ptr>(info);
  if (d->input_scan_number > kMaxScansPerComponent * d->num_components) {
    TJpegJob* job = JobOf(info);
    std::snprintf(job->Message, sizeof job->Message, "too many scans");
    std::longjmp(job->Jump, 1);
  }
}

// The decoding itself; no object with a destructor is made in this frame
// after setjmp, so the jump skips nothing.
bool Run(TJpegJob* job, const unsigned char* data, unsigned long size) {
  j_decompress_ptr info = &job->Info;
  if (setjmp(job->Jump)) return false;
  jpeg_create_decompress(info);
  job->Progress.progress_monitor = CheckProgress;
  info->progress = &job->Progress;
  jpeg_mem_src(info, data, size);
  jpeg_read_header(info, TRUE);
  if (!PictureSizeAllowed(info->image_width, info->image_height)) {
    std::snprintf(job->Message, sizeof job->Message, "picture is too large");
    return false;
  }
  if (!info->arith_code &&
      !PictureSizeInProportion(info->image_width, info->image_height, size, kHuffmanPixelsPerByte)) {
    std::snprintf(job->Message, sizeof job->Message, "the file declares more pixels than its data can hold");
    return false;
  }
  const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_start_decompress(info);
  const std::size_t w = info->output_width;
  job->Pixels.resize(w * info->output_height);
  job->Row.resize(w * 4);
  while (info->output_scanline < info->output_height) {
    const std::size_t y = info->output_scanline;
    JSAMPROW row = job->Row.data();
    if (jpeg_read_scanlines(info, &row, 1) != 1) break;
    std::uint32_t* out = &job->Pixels[y * w];
    const JSAMPLE* p = job->Row.data();
    for (std::size_t x = 0; x < w; ++x, p += 4) {
      if (cmyk) {
        // Adobe's files store the inks inverted, which is what every
        // encoder of CMYK JPEG writes.
        const unsigned k = p[3];
        out[x] = Argb(255, p[0] * k / 255, p[1] * k / 255, p[2] * k / 255);
      } else {
        out[x] = Argb(p[3], p[2], p[1], p[0]);
      }
    }
  }
  jpeg_finish_decompress(info);
  job->Width = static_cast<int>(w);
  job->Height = static_cast<int>(info->output_height);
  return true;
}

}  // namespace

bool DecodeJpeg(std::string_view data, TPixelImage& image, String& error) {
  auto job = std::make_unique<TJpegJob>();
  job->Info.err = jpeg_std_error(&job->Errors);
  job->Errors.error_exit = ErrorExit;
  job->Errors.emit_message = EmitMessage;
  job->Errors.output_message = OutputMessage;
  job->Info.client_data = job.get();
  // Destroying a struct that was never created is harmless: it is zeroed.
  const bool ok =
      Run(job.get(), reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned long>(data.size()));
  jpeg_destroy_decompress(&job->Info);
  if (!ok) {
    error = u"JPEG: " + Utf8ToString(job->Message[0] ? job->Message : "corrupt JPEG data");
    return false;
  }
  image.Width = job->Width;
  image.Height = job->Height;
  image.Pixels = std::move(job->Pixels);
  return true;
}

}  // namespace kwinet
