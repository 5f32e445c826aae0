// vantrel._vantrel: the compiled half of the Python module. It checks only what
// the native calls need (a C-contiguous 2-D uint8 array, 32-bit sizes); the
// argument conversions and the exceptions live in vantrel/__init__.py.
//
// Every library call runs with the GIL released and under one module-wide
// mutex, because the library keeps process-wide state. Results are copied out
// of the container before it is released, so nothing handed to Python points
// into library memory.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "image_io.h"
#include "vantrel.h"

namespace py = pybind11;

namespace {

std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

// Kept in step with the method table in vantrel/__init__.py.
enum Method : int {
  kSeparate = 0,
  kQuick = 1,
  kQuickNew = 2,
  kSlap = 3,
};

struct FingerCopy {
  SegmentedFinger record{};  // image pointer cleared after copying
  bool hasImage = false;
  std::vector<uint8_t> pixels;
};

struct SegmentCopy {
  int32_t status = VANTREL_OK;
  int32_t handCode = 0;
  std::vector<FingerCopy> fingers;
};

struct Cent2Copy {
  int32_t count = 0;
  FingerInfo info[4]{};
};

// A C-contiguous 2-D uint8 array with sides that fit the library's 32-bit
// arguments; anything else is the wrapper's mistake and raised as such.
void CheckImage(const py::array& image, int32_t* rows, int32_t* columns) {
  if (image.ndim() != 2) throw py::value_error("image must be a 2-D array");
  if (!image.dtype().is(py::dtype::of<uint8_t>()))
    throw py::value_error("image must have dtype uint8");
  if (!(image.flags() & py::array::c_style)) throw py::value_error("image must be C-contiguous");
  const py::ssize_t limit = std::numeric_limits<int32_t>::max();
  if (image.shape(0) > limit || image.shape(1) > limit)
    throw py::value_error("image sides must be below 2**31");
  *rows = static_cast<int32_t>(image.shape(0));
  *columns = static_cast<int32_t>(image.shape(1));
}

SegmentCopy RunSegmenter(int method, int32_t xres, int32_t yres, const uint8_t* pixels,
                         int32_t rows, int32_t columns, int32_t fingerCount, int32_t handCode) {
  using Entry = int32_t (*)(int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                            VantrelResultType**);
  Entry entry = nullptr;
  switch (method) {
    case kSeparate: entry = SeparateImages; break;
    case kQuick: entry = VantrelQuick; break;
    case kQuickNew: entry = VantrelQuickNew; break;
#if defined(VANTREL_HAVE_SEGMENT_SLAP)
    case kSlap: entry = VantrelSegmentSlap; break;
#endif
    default: throw py::value_error("unknown method code " + std::to_string(method));
  }

  SegmentCopy copy;
  // Allocations for the copies happen under the lock; a bad_alloc must still
  // release the container.
  py::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(LibraryMutex());
  VantrelResultType* result = nullptr;
  copy.status = entry(xres, yres, pixels, rows, columns, fingerCount, handCode, &result);
  if (copy.status != VANTREL_OK || result == nullptr) {
    DestroyVantrelResult1(&result);
    if (copy.status == VANTREL_OK) copy.status = VANTREL_NO_FINGER;
    return copy;
  }
  try {
    copy.handCode = result->handCode;
    const int32_t count = result->fingers == nullptr ? 0 : result->count;
    copy.fingers.resize(count > 0 ? count : 0);
    for (int32_t i = 0; i < count; ++i) {
      const SegmentedFinger& record = result->fingers[i];
      FingerCopy& finger = copy.fingers[i];
      finger.record = record;
      finger.record.image = nullptr;
      if (record.image != nullptr && record.boxHeight > 0 && record.boxWidth > 0) {
        const size_t size = static_cast<size_t>(record.boxHeight) * record.boxWidth;
        finger.pixels.assign(record.image, record.image + size);
        finger.hasImage = true;
      }
    }
  } catch (...) {
    DestroyVantrelResult1(&result);
    throw;
  }
  DestroyVantrelResult1(&result);
  return copy;
}

py::array_t<uint8_t> OwnedPicture(const FingerCopy& finger) {
  py::array_t<uint8_t> picture({static_cast<py::ssize_t>(finger.record.boxHeight),
                                static_cast<py::ssize_t>(finger.record.boxWidth)});
  std::memcpy(picture.mutable_data(), finger.pixels.data(), finger.pixels.size());
  return picture;
}

// (status, handCode, [record dicts]); the wrapper raises on a nonzero status.
py::tuple Segment(const py::array& image, int32_t xres, int32_t yres, int32_t fingerCount,
                  int32_t handCode, int method) {
  int32_t rows = 0, columns = 0;
  CheckImage(image, &rows, &columns);
  const SegmentCopy copy =
      RunSegmenter(method, xres, yres, static_cast<const uint8_t*>(image.data()), rows, columns,
                   fingerCount, handCode);
  py::list fingers;
  for (const FingerCopy& finger : copy.fingers) {
    const SegmentedFinger& r = finger.record;
    py::dict d;
    d["position"] = r.position;
    d["box_height"] = r.boxHeight;
    d["box_width"] = r.boxWidth;
    d["center_x"] = r.centerX;
    d["center_y"] = r.centerY;
    d["angle"] = static_cast<double>(r.angle);
    d["fixed_value"] = static_cast<double>(r.fixedValue);
    d["top"] = r.top;
    d["left"] = r.left;
    d["bottom"] = r.bottom;
    d["right"] = r.right;
    d["image"] = finger.hasImage ? py::object(OwnedPicture(finger)) : py::object(py::none());
    fingers.append(std::move(d));
  }
  return py::make_tuple(copy.status, copy.handCode, std::move(fingers));
}

// [FingerInfo dicts]; an empty list when the inner search found nothing.
py::list Cent2(const py::array& image, int32_t handCode, int32_t fingerMask) {
  int32_t rows = 0, columns = 0;
  CheckImage(image, &rows, &columns);
  const auto* pixels = static_cast<const uint8_t*>(image.data());
  Cent2Copy copy;
  {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(LibraryMutex());
    char message[16] = {};
    copy.count = VantrelCent2(pixels, rows, columns, handCode, 0, 0, 0, 0, 0, fingerMask, copy.info,
                              message);
  }
  py::list fingers;
  for (int32_t i = 0; i < copy.count && i < 4; ++i) {
    const FingerInfo& f = copy.info[i];
    py::dict d;
    d["center_row"] = f.centerRow;
    d["center_column"] = f.centerColumn;
    d["angle_two_degrees"] = f.angleTwoDegrees;
    d["fixed_value"] = f.fixedValue;
    d["box_height"] = f.boxHeight;
    d["box_width"] = f.boxWidth;
    d["position"] = f.position;
    d["upper_left"] = py::make_tuple(f.upperLeftRow, f.upperLeftColumn);
    d["upper_right"] = py::make_tuple(f.upperRightRow, f.upperRightColumn);
    d["lower_left"] = py::make_tuple(f.lowerLeftRow, f.lowerLeftColumn);
    d["lower_right"] = py::make_tuple(f.lowerRightRow, f.lowerRightColumn);
    fingers.append(std::move(d));
  }
  return fingers;
}

// (error kind or None, message, pixels, xppi, yppi, resolution source, format)
py::tuple ReadImage(const std::string& path, int32_t xppi, int32_t yppi) {
  vio::GreyImage image;
  vio::ReadStatus status;
  {
    py::gil_scoped_release release;
    status = vio::ReadImage(path, vio::ResolutionOverride{xppi, yppi}, &image);
  }
  if (!status.ok()) {
    const char* kind = "unreadable";
    switch (status.error) {
      case vio::ReadError::kNotFound: kind = "not_found"; break;
      case vio::ReadError::kUnsupported: kind = "unsupported"; break;
      case vio::ReadError::kCorrupt: kind = "corrupt"; break;
      case vio::ReadError::kTooLarge: kind = "too_large"; break;
      default: break;
    }
    return py::make_tuple(kind, status.message, py::none(), 0, 0, "", "");
  }
  py::array_t<uint8_t> pixels(
      {static_cast<py::ssize_t>(image.rows), static_cast<py::ssize_t>(image.columns)});
  std::memcpy(pixels.mutable_data(), image.pixels.data(), image.pixels.size());
  return py::make_tuple(py::none(), "", std::move(pixels), image.xppi, image.yppi,
                        vio::ResolutionSourceName(image.resolutionSource),
                        vio::FormatName(image.format));
}

// Fork hooks: a child forked while another thread holds the mutex would wait
// on it forever, so the forking thread takes it across fork().
void LockForFork() {
  py::gil_scoped_release release;
  LibraryMutex().lock();
}

void UnlockAfterFork() {
  LibraryMutex().unlock();
}

}  // namespace

PYBIND11_MODULE(_vantrel, m) {
  m.doc() = "Native entries of vantrel; use the vantrel package instead.";
  m.attr("__version__") = VANTREL_VERSION;
  m.attr("METHOD_SEPARATE") = static_cast<int>(kSeparate);
  m.attr("METHOD_QUICK") = static_cast<int>(kQuick);
  m.attr("METHOD_QUICK_NEW") = static_cast<int>(kQuickNew);
  m.attr("METHOD_SLAP") = static_cast<int>(kSlap);
#if defined(VANTREL_HAVE_SEGMENT_SLAP)
  m.attr("HAS_SLAP") = true;
#else
  m.attr("HAS_SLAP") = false;
#endif
  m.def("read_image", &ReadImage, py::arg("path"), py::arg("xppi"), py::arg("yppi"));
  m.def("segment", &Segment, py::arg("image"), py::arg("xres"), py::arg("yres"),
        py::arg("finger_count"), py::arg("hand_code"), py::arg("method"));
  m.def("cent2", &Cent2, py::arg("image"), py::arg("hand_code"), py::arg("finger_mask"));
  m.def(
      "status_text", [](int32_t status) { return std::string(VantrelStatusText(status)); },
      py::arg("status"));
  m.def("lock_for_fork", &LockForFork);
  m.def("unlock_after_fork", &UnlockAfterFork);
}
