// Image input and output for the vantrel tools: reads PNG, JPEG, BMP, TIFF,
// binary PGM/PPM and WSQ into 8-bit grey with the resolution the file
// declares, and writes 8-bit grey and RGB PNG and grey WSQ with their
// resolution.
//
// Decoding is done by maintained libraries (libpng, libjpeg, libtiff, stb)
// and, for WSQ, which has none in Debian, by our own codec (wsq_*.cpp); this
// layer detects the format from the file's first bytes, converts colour
// and 16-bit samples to 8-bit grey, reads the resolution metadata and turns
// every decoder failure (truncated or corrupt data) into an error message.
#ifndef VANTREL_TOOLS_IMAGEIO_IMAGE_IO_H
#define VANTREL_TOOLS_IMAGEIO_IMAGE_IO_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vio {

// Images larger than this are refused before any pixel buffer is allocated:
// at most kMaxSide pixels across or down and at most kMaxPixels in total.
constexpr int64_t kMaxSide = 20000;
constexpr int64_t kMaxPixels = 200000000;

// Resolution used when neither the file nor the caller gives one.
constexpr int kDefaultPpi = 500;
// A resolution read from a file outside 1 .. kMaxFilePpi pixels per inch is
// treated as absent (metadata garbage rather than a real scanner).
constexpr int kMaxFilePpi = 100000;

enum class Format { kUnknown, kPng, kJpeg, kBmp, kTiff, kPnm, kWsq };

// Lower-case name: "png", "jpeg", "bmp", "tiff", "pnm", "wsq", "unknown".
const char* FormatName(Format format);

// Where the resolution of an image came from.
enum class ResolutionSource { kFile, kFlag, kDefault };

// "file", "flag" or "default".
const char* ResolutionSourceName(ResolutionSource source);

// Why reading failed.
enum class ReadError {
  kNone,
  kNotFound,     // no such file
  kUnreadable,   // exists but cannot be opened or read (permissions, a folder, I/O error)
  kUnsupported,  // not an image format this library reads
  kCorrupt,      // recognised format, but truncated or damaged data
  kTooLarge,     // dimensions beyond kMaxSide / kMaxPixels
};

// Short lower-case description of a ReadError, e.g. "corrupt image".
const char* ReadErrorName(ReadError error);

// Stable token of a ReadError for programs that read the error kinds:
// "not_found", "unreadable", "unsupported", "corrupt", "too_large" ("none"
// for kNone). Library statuses have theirs in the entries table
// (ventry::StatusToken: "status_7", ...).
const char* ReadErrorToken(ReadError error);

struct GreyImage {
  int32_t rows = 0;
  int32_t columns = 0;
  std::vector<uint8_t> pixels;  // rows x columns, row-major, stride = columns
  int32_t xppi = kDefaultPpi;   // pixels per inch across
  int32_t yppi = kDefaultPpi;   // pixels per inch down
  ResolutionSource resolutionSource = ResolutionSource::kDefault;
  Format format = Format::kUnknown;
};

// Resolution forced by the caller; 0 keeps what the file says.
struct ResolutionOverride {
  int32_t xppi = 0;
  int32_t yppi = 0;
};

struct ReadStatus {
  ReadError error = ReadError::kNone;
  std::string message;  // empty on success; says why otherwise (without the file name)
  bool ok() const { return error == ReadError::kNone; }
};

// Format from the first bytes of a file (magic numbers; the name is never
// looked at).
Format DetectFormat(const uint8_t* data, size_t size);

// Decodes an image held in memory. On failure *image is left empty.
ReadStatus DecodeImage(const uint8_t* data, size_t size, const ResolutionOverride& override,
                       GreyImage* image);

// Reads and decodes a file.
ReadStatus ReadImage(const std::string& path, const ResolutionOverride& override, GreyImage* image);

// Writes an 8-bit PNG with its resolution in the pHYs chunk. channels is 1
// (grey) or 3 (RGB, pixels interleaved); the row stride is columns * channels.
// Returns an empty string on success, otherwise the reason.
std::string WritePng(const std::string& path, const uint8_t* pixels, int32_t rows, int32_t columns,
                     int channels, int32_t xppi, int32_t yppi);

// WSQ compression rate usual for 500 ppi fingerprints, bits per pixel.
constexpr double kWsqDefaultBitRate = 0.75;

// Encodes 8-bit grey (stride = columns) as WSQ with the standard 9/7 filters,
// bin widths chosen so that the file comes within a few per cent of
// bitsPerPixel, and a NISTCOM comment carrying ppi. Returns an empty string
// on success, otherwise the reason.
std::string EncodeWsq(const uint8_t* pixels, int32_t rows, int32_t columns, int32_t ppi,
                      double bitsPerPixel, std::vector<uint8_t>* out);

// EncodeWsq into a file.
std::string WriteWsq(const std::string& path, const uint8_t* pixels, int32_t rows, int32_t columns,
                     int32_t ppi, double bitsPerPixel = kWsqDefaultBitRate);

}  // namespace vio

#endif  // VANTREL_TOOLS_IMAGEIO_IMAGE_IO_H
