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

#include "an2_images.h"
#include "entries.h"
#include "image_io.h"
#include "vantrel.h"

namespace py = pybind11;

namespace {

std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

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

ventry::ResultCopy RunSegmenter(const ventry::Entry& entry, int32_t xres, int32_t yres,
                                const uint8_t* pixels, int32_t rows, int32_t columns,
                                int32_t fingerCount, int32_t handCode) {
  py::gil_scoped_release release;
  std::lock_guard<std::mutex> lock(LibraryMutex());
  return ventry::RunEntry(entry, xres, yres, pixels, rows, columns, fingerCount, handCode);
}

// The container entry of that name; the wrapper checks names first.
const ventry::Entry& ContainerEntry(const std::string& method) {
  const ventry::Entry* entry = ventry::FindEntry(method);
  if (entry == nullptr || entry->function == nullptr)
    throw py::value_error("not a method that fills a result container: " + method);
  return *entry;
}

py::array_t<uint8_t> OwnedPicture(const ventry::FingerCopy& finger) {
  py::array_t<uint8_t> picture({static_cast<py::ssize_t>(finger.record.boxHeight),
                                static_cast<py::ssize_t>(finger.record.boxWidth)});
  std::memcpy(picture.mutable_data(), finger.pixels.data(), finger.pixels.size());
  return picture;
}

// (status, handCode, [record dicts]); the wrapper raises on a nonzero status.
py::tuple Segment(const py::array& image, int32_t xres, int32_t yres, int32_t fingerCount,
                  int32_t handCode, const std::string& method) {
  const ventry::Entry& entry = ContainerEntry(method);
  int32_t rows = 0, columns = 0;
  CheckImage(image, &rows, &columns);
  const ventry::ResultCopy copy =
      RunSegmenter(entry, xres, yres, static_cast<const uint8_t*>(image.data()), rows, columns,
                   fingerCount, handCode);
  py::list fingers;
  for (const ventry::FingerCopy& finger : copy.fingers) {
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
    d["image"] = finger.pixels.empty() ? py::object(py::none()) : py::object(OwnedPicture(finger));
    fingers.append(std::move(d));
  }
  return py::make_tuple(copy.status, copy.handCode, std::move(fingers));
}

// [FingerInfo dicts]; an empty list when the inner search found nothing.
py::list Cent2(const py::array& image, int32_t handCode, int32_t fingerMask) {
  int32_t rows = 0, columns = 0;
  CheckImage(image, &rows, &columns);
  const auto* pixels = static_cast<const uint8_t*>(image.data());
  ventry::Cent2Records copy;
  {
    py::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(LibraryMutex());
    copy = ventry::RunCent2(pixels, rows, columns, handCode, fingerMask);
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

// (error token or None, message, pixels, xppi, yppi, resolution source, format)
py::tuple ReadImage(const std::string& path, int32_t xppi, int32_t yppi) {
  vio::GreyImage image;
  vio::ReadStatus status;
  {
    py::gil_scoped_release release;
    status = vio::ReadImage(path, vio::ResolutionOverride{xppi, yppi}, &image);
  }
  if (!status.ok()) {
    return py::make_tuple(vio::ReadErrorToken(status.error), status.message, py::none(), 0, 0, "",
                          "");
  }
  py::array_t<uint8_t> pixels(
      {static_cast<py::ssize_t>(image.rows), static_cast<py::ssize_t>(image.columns)});
  std::memcpy(pixels.mutable_data(), image.pixels.data(), image.pixels.size());
  return py::make_tuple(py::none(), "", std::move(pixels), image.xppi, image.yppi,
                        vio::ResolutionSourceName(image.resolutionSource),
                        vio::FormatName(image.format));
}

// (error token or None, message, [(record, type, positions, columns, rows,
// xppi, yppi, compression)]) for the image records of a transaction.
py::tuple ReadTransaction(const std::string& path) {
  an2::Transaction transaction;
  vio::ReadStatus status;
  std::vector<an2::ImageRecord> images;
  {
    py::gil_scoped_release release;
    status = an2::ReadTransaction(path, &transaction);
    images = an2::ListImageRecords(transaction);
  }
  py::list records;
  if (!status.ok()) {
    return py::make_tuple(vio::ReadErrorToken(status.error), status.message, records);
  }
  for (const an2::ImageRecord& image : images) {
    py::list positions;
    for (int position : image.positions) positions.append(position);
    records.append(py::make_tuple(image.index + 1, image.type, py::tuple(positions), image.columns,
                                  image.rows, image.xppi, image.yppi,
                                  an2::CompressionName(image.compression)));
  }
  return py::make_tuple(py::none(), "", records);
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
  // (name, library entry, oriented boxes) in table order.
  py::list methods;
  for (const ventry::Entry& entry : ventry::Entries())
    methods.append(py::make_tuple(entry.name, entry.entryName, entry.orientedBoxes));
  m.attr("METHODS") = methods;
  m.attr("DEFAULT_METHOD") = ventry::MethodName(ventry::kDefaultMethod);
  m.def("read_image", &ReadImage, py::arg("path"), py::arg("xppi"), py::arg("yppi"));
  m.def("segment", &Segment, py::arg("image"), py::arg("xres"), py::arg("yres"),
        py::arg("finger_count"), py::arg("hand_code"), py::arg("method"));
  m.def("cent2", &Cent2, py::arg("image"), py::arg("hand_code"), py::arg("finger_mask"));
  m.def(
      "status_text", [](int32_t status) { return std::string(VantrelStatusText(status)); },
      py::arg("status"));
  m.def("status_token", &ventry::StatusToken, py::arg("status"));
  m.def("read_transaction", &ReadTransaction, py::arg("path"));
  m.def("lock_for_fork", &LockForFork);
  m.def("unlock_after_fork", &UnlockAfterFork);
}
