#include "image_io.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

#include "decoders.h"

namespace vio {

const char* FormatName(Format format) {
  switch (format) {
    case Format::kPng: return "png";
    case Format::kJpeg: return "jpeg";
    case Format::kBmp: return "bmp";
    case Format::kTiff: return "tiff";
    case Format::kPnm: return "pnm";
    case Format::kWsq: return "wsq";
    case Format::kUnknown: break;
  }
  return "unknown";
}

const char* ResolutionSourceName(ResolutionSource source) {
  switch (source) {
    case ResolutionSource::kFile: return "file";
    case ResolutionSource::kFlag: return "flag";
    case ResolutionSource::kDefault: break;
  }
  return "default";
}

const char* ReadErrorName(ReadError error) {
  switch (error) {
    case ReadError::kNone: return "none";
    case ReadError::kNotFound: return "file not found";
    case ReadError::kUnreadable: return "file not readable";
    case ReadError::kUnsupported: return "unsupported format";
    case ReadError::kCorrupt: return "corrupt or truncated image";
    case ReadError::kTooLarge: return "image too large";
  }
  return "unknown error";
}

const char* ReadErrorToken(ReadError error) {
  switch (error) {
    case ReadError::kNone: return "none";
    case ReadError::kNotFound: return "not_found";
    case ReadError::kUnreadable: return "unreadable";
    case ReadError::kUnsupported: return "unsupported";
    case ReadError::kCorrupt: return "corrupt";
    case ReadError::kTooLarge: return "too_large";
  }
  return "unreadable";
}

namespace detail {

ReadStatus Failure(ReadError error, const std::string& message) {
  ReadStatus status;
  status.error = error;
  status.message = message;
  return status;
}

ReadStatus CheckDimensions(int64_t columns, int64_t rows) {
  if (columns < 1 || rows < 1) {
    return Failure(ReadError::kCorrupt, "image has no pixels (" + std::to_string(columns) + " x " +
                                            std::to_string(rows) + ")");
  }
  if (columns > kMaxSide || rows > kMaxSide || columns * rows > kMaxPixels) {
    return Failure(ReadError::kTooLarge,
                   "image of " + std::to_string(columns) + " x " + std::to_string(rows) +
                       " pixels exceeds the limit of " + std::to_string(kMaxSide) + " x " +
                       std::to_string(kMaxSide) + " and " + std::to_string(kMaxPixels / 1000000) +
                       " million pixels");
  }
  return ReadStatus{};
}

}  // namespace detail

namespace {

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t length) {
  return size >= length && std::memcmp(data, magic, length) == 0;
}

// Names of formats recognised only to say clearly that they are not read.
const char* OtherFormatName(const uint8_t* data, size_t size) {
  if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) return "GIF";
  if (size >= 12 && StartsWith(data, size, "RIFF", 4) && std::memcmp(data + 8, "WEBP", 4) == 0) {
    return "WebP";
  }
  if (StartsWith(data, size, "\x00\x00\x00\x0cjP  ", 8) ||
      StartsWith(data, size, "\xff\x4f\xff\x51", 4)) {
    return "JPEG 2000";
  }
  if (StartsWith(data, size, "%PDF", 4)) return "PDF";
  if (size >= 2 && data[0] == 'P' && data[1] >= '1' && data[1] <= '4') {
    return "plain-text or bilevel PNM (P1-P4; only binary P5/P6 is read)";
  }
  return nullptr;
}

// Rounds a resolution from a file to whole pixels per inch; 0 when absent or
// implausible.
int32_t UsablePpi(double ppi) {
  if (!(ppi >= 0.5) || ppi > kMaxFilePpi) return 0;
  return static_cast<int32_t>(std::lround(ppi));
}

}  // namespace

Format DetectFormat(const uint8_t* data, size_t size) {
  if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) return Format::kPng;
  if (StartsWith(data, size, "\xff\xd8\xff", 3)) return Format::kJpeg;
  if (StartsWith(data, size, "\xff\xa0", 2)) return Format::kWsq;
  if (StartsWith(data, size, "BM", 2)) return Format::kBmp;
  if (StartsWith(data, size, "II*\0", 4) || StartsWith(data, size, "MM\0*", 4) ||
      StartsWith(data, size, "II+\0", 4) || StartsWith(data, size, "MM\0+", 4)) {
    return Format::kTiff;
  }
  if (size >= 3 && data[0] == 'P' && (data[1] == '5' || data[1] == '6') && std::isspace(data[2])) {
    return Format::kPnm;
  }
  return Format::kUnknown;
}

ReadStatus DecodeImage(const uint8_t* data, size_t size, const ResolutionOverride& override,
                       GreyImage* image) {
  *image = GreyImage{};
  if (size == 0) return detail::Failure(ReadError::kCorrupt, "file is empty");
  const Format format = DetectFormat(data, size);
  detail::FileResolution resolution;
  ReadStatus status;
  switch (format) {
    case Format::kPng: status = detail::DecodePng(data, size, image, &resolution); break;
    case Format::kJpeg: status = detail::DecodeJpeg(data, size, image, &resolution); break;
    case Format::kBmp: status = detail::DecodeBmp(data, size, image, &resolution); break;
    case Format::kTiff: status = detail::DecodeTiff(data, size, image, &resolution); break;
    case Format::kPnm: status = detail::DecodePnm(data, size, image, &resolution); break;
    case Format::kWsq: status = detail::DecodeWsq(data, size, image, &resolution); break;
    case Format::kUnknown: {
      const char* other = OtherFormatName(data, size);
      return detail::Failure(
          ReadError::kUnsupported,
          other ? std::string("unsupported image format: ") + other
                : std::string("unsupported or unrecognised image format "
                              "(PNG, JPEG, BMP, TIFF, PGM, PPM and WSQ are read)"));
    }
  }
  if (!status.ok()) {
    *image = GreyImage{};
    return status;
  }
  image->format = format;

  // One axis declared in the file stands for both.
  int32_t fileX = UsablePpi(resolution.x);
  int32_t fileY = UsablePpi(resolution.y);
  if (fileX == 0) fileX = fileY;
  if (fileY == 0) fileY = fileX;
  if (override.xppi > 0 && override.yppi > 0) {
    image->xppi = override.xppi;
    image->yppi = override.yppi;
    image->resolutionSource = ResolutionSource::kFlag;
  } else if (fileX > 0) {
    image->xppi = fileX;
    image->yppi = fileY;
    image->resolutionSource = ResolutionSource::kFile;
  } else {
    image->xppi = kDefaultPpi;
    image->yppi = kDefaultPpi;
    image->resolutionSource = ResolutionSource::kDefault;
  }
  return status;
}

ReadStatus ReadImage(const std::string& path, const ResolutionOverride& override,
                     GreyImage* image) {
  *image = GreyImage{};
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      return detail::Failure(ReadError::kNotFound, "no such file");
    }
    return detail::Failure(ReadError::kUnreadable, std::strerror(errno));
  }
  if (S_ISDIR(info.st_mode)) return detail::Failure(ReadError::kUnreadable, "is a folder");
  if (!S_ISREG(info.st_mode)) return detail::Failure(ReadError::kUnreadable, "not a regular file");
  // Even a compressed file of the largest accepted image stays far below
  // this; a bigger file is refused before it is loaded.
  constexpr int64_t kMaxFileBytes = int64_t{2} << 30;
  if (static_cast<int64_t>(info.st_size) > kMaxFileBytes) {
    return detail::Failure(ReadError::kTooLarge,
                           "file of " + std::to_string(info.st_size) + " bytes is too large");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return detail::Failure(ReadError::kUnreadable,
                           std::string("cannot open: ") + std::strerror(errno));
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size));
  if (!bytes.empty() &&
      !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
    return detail::Failure(ReadError::kUnreadable, "read error");
  }
  return DecodeImage(bytes.data(), bytes.size(), override, image);
}

}  // namespace vio
