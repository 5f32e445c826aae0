// vantrel: cuts a flat multi-finger impression (four fingers of one hand, or
// the two thumbs) into single fingers.
//
// Memory ownership
// - A result container (VantrelResultType) with its record array and every
//   finger image belongs to the caller. Release it with DestroyVantrelResult1,
//   or pass the same pointer to the next segmentation call, which releases it
//   first. The library also remembers the container of the last successful
//   call so that DestroyVantrelParameter can release it if the caller has not;
//   after DestroyVantrelParameter such a pointer must not be used again.
// - Images passed in are only read, never kept.
//
// Threads: every function may be called from any thread. The calls are
// serialised on one process-wide lock, so they behave as if made one after
// another; VantrelSegmentSlap runs its search outside the lock, in parallel
// with other calls. A container belongs to the caller that received it:
// DestroyVantrelParameter, which releases the last successful call's
// container, must not run while another thread still uses a container it has
// not released.
//
// Coordinates are pixels of the caller's image: x is the column counted from
// the left, y the row counted from the top. Images are 8-bit grey, row-major,
// row stride equal to the number of columns.
#ifndef VANTREL_H
#define VANTREL_H

#include <cstdint>

#if defined(VANTREL_BUILDING_LIBRARY)
#define VANTREL_API __attribute__((visibility("default")))
#else
#define VANTREL_API
#endif

// Status codes returned by the segmenters.
enum VantrelStatus : int32_t {
  VANTREL_OK = 0,                 // success; the container holds >= 1 record
  VANTREL_BAD_XRES = 7,           // horizontal resolution below 201 ppi
  VANTREL_BAD_YRES = 8,           // vertical resolution below 201 ppi, or no
                                  // pixel left at the working resolution
  VANTREL_NULL_IMAGE = 9,         // image pointer null
  VANTREL_BAD_ROWS = 10,          // rows below 1
  VANTREL_BAD_COLUMNS = 11,       // columns below 1
  VANTREL_BAD_FINGER_COUNT = 12,  // expected finger count below 1
  VANTREL_OUT_OF_MEMORY = 19,     // a heap allocation failed
  VANTREL_NO_FINGER = 23,         // no finger found
  VANTREL_NULL_RESULT = 24,       // the result argument itself is null
  VANTREL_IMAGE_TOO_LARGE = 25,   // VantrelSegmentSlap only: the image at its
                                  // working resolution passes 2^16 pixels on a
                                  // side or 2^24 pixels in all
};

// Finger-position codes of a whole impression.
enum VantrelHandCode : int32_t {
  VANTREL_HAND_UNKNOWN = 0,
  VANTREL_HAND_RIGHT = 13,   // right four fingers
  VANTREL_HAND_LEFT = 14,    // left four fingers
  VANTREL_HAND_THUMBS = 15,  // both thumbs
};

// One finger found. Layout is part of the binary interface.
struct SegmentedFinger {
  uint8_t* image;     // boxHeight x boxWidth pixels, row stride boxWidth; null
                      // when no image was made. Owned by the container.
  int32_t position;   // finger-position code 1..10 (quick segmenters) or the
                      // place from the left 0, 1, 2, ... (SeparateImages)
  int32_t boxHeight;  // rows of the finger box
  int32_t boxWidth;   // columns of the finger box
  int32_t centerX;    // column of the finger's centre
  int32_t centerY;    // row of the finger's centre
  float angle;        // direction of the finger's axis, radians
  float fixedValue;   // 15.0 from the quick segmenters, 0 from SeparateImages
  int32_t top;        // box edges (quick segmenters; 0 from SeparateImages)
  int32_t left;
  int32_t bottom;
  int32_t right;
};

// The result of one segmentation call.
struct VantrelResultType {
  int32_t handCode;          // 13, 14, 15 or 0 (see each segmenter)
  int32_t count;             // number of records in fingers, >= 1
  SegmentedFinger* fingers;  // array of count records
};

// Plain integer record written by VantrelCent2.
struct FingerInfo {
  int32_t centerRow;
  int32_t centerColumn;
  int32_t angleTwoDegrees;  // finger angle in units of 2 degrees
  int32_t fixedValue;       // 15
  int32_t boxHeight;
  int32_t boxWidth;
  int32_t position;  // finger-position code
  int32_t upperLeftRow;
  int32_t upperLeftColumn;
  int32_t upperRightRow;
  int32_t upperRightColumn;
  int32_t lowerLeftRow;
  int32_t lowerLeftColumn;
  int32_t lowerRightRow;
  int32_t lowerRightColumn;
};

// The segmenters share one contract. Arguments are checked in this order and
// the first failure is returned: xres < 201 -> 7, yres < 201 -> 8, image null
// -> 9, rows < 1 -> 10, columns < 1 -> 11, fingerCount < 1 -> 12, result null
// -> 24. Before running, the container *result still holds is released. On any
// failure *result is null and no partial result is returned.
//
// Sizes: rows x columns may pass 2^32 (offsets are 64-bit). An image whose
// working copy (62 ppi for the quick segmenters and SeparateImages, about
// 250 ppi for VantrelSegmentSlap) would exceed 2^24 pixels or 65536 pixels
// either way is refused before anything is allocated, with 19
// (VantrelSegmentSlap: 25), and so is a finger picture above 2^31 - 1 bytes
// (19). A resolution so high that no working pixel is left gives 8
// (VantrelSegmentSlap: 23).
//
// xres, yres: resolution across and down in pixels per inch. rows, columns:
// image size. fingerCount: fingers expected (4 for a hand, 2 for thumbs).
// handCode: 13, 14, 15, or 0 to leave the hand open.

// Quick fingertip finder: highest sufficiently large foreground piece per
// column band. Records carry finger-position codes, box edges and, while
// finger images are on, each finger's box contents with its neighbour
// whitened. Fills handCode, inferring 13/14/15 when left open.
// - handCode 15 seeks two fingers whatever fingerCount says.
// - Records run from left to right. position: handCode 14 gives 10, 9, 8, 7;
//   15 gives 6 then 1; any other code 2, 3, 4, 5.
// - Inference when handCode is 0: fingerCount 2 with two found gives 15;
//   four found whose tips rise over the first three gives 14, whose tips
//   fall over the last three 13; otherwise 0.
// - Fewer fingers than expected is still a success; none large enough is 23.
VANTREL_API int32_t VantrelQuick(int32_t xres, int32_t yres, const uint8_t* image, int32_t rows,
                                 int32_t columns, int32_t fingerCount, int32_t handCode,
                                 VantrelResultType** result);

// Variant of VantrelQuick that picks candidates from the largest components
// down and visits them by centroid height; infers only the thumbs (15).
// Records, numbering and failures as VantrelQuick. The container's handCode
// is the caller's code, or 15 when 0 was passed with fingerCount 2 and two
// fingers were found; with 0 otherwise it stays 0 and positions run 2, 3, ...
VANTREL_API int32_t VantrelQuickNew(int32_t xres, int32_t yres, const uint8_t* image, int32_t rows,
                                    int32_t columns, int32_t fingerCount, int32_t handCode,
                                    VantrelResultType** result);

// Full separator: slanted gap-line search, oriented box per finger refined by
// a rotation search, upright finger images. Records are numbered 0, 1, ...
// from the left in position.
// - At most five fingers are sought: a larger fingerCount counts as 5.
//   handCode 15 always seeks the two thumbs, whatever fingerCount says.
// - Each record: centre, box size and angle (radians, positive when the
//   finger's base lies right of its tip) in caller pixels; image is the box
//   cut upright from the caller's image, boxHeight x boxWidth, white (255)
//   where the box leaves the image. fixedValue and the box edges stay 0.
// - The container's handCode is the impression's code: the caller's 13, 14
//   or 15, or, when the caller passed 0 and four fingers were kept, 13 or 14
//   as recognised from the fingertip heights; otherwise 0.
// - fingerCount 1 (handCode not 15) takes the whole image as the finger's
//   starting box; the record's centre is where the rotation search settled
//   it, its angle 0.
VANTREL_API int32_t SeparateImages(int32_t xres, int32_t yres, const uint8_t* pixels, int32_t rows,
                                   int32_t columns, int32_t fingerCount, int32_t handCode,
                                   VantrelResultType** result);

// Texture-driven segmenter for real captures (livescan, inked cards, bilevel
// scans, rotated hands). Friction-ridge texture tells fingers from paper,
// ink, text and handwriting; every finger gets its own axis, and the box
// covers the fingertip's top segment, from the tip to the first crease.
// Records run from left to right, and a finger that is not there leaves no
// record. With handCode 13 or 14 at most fingerCount come back, with 15 at
// most two. With handCode 0 the image decides, whatever fingerCount says:
// up to four fingers of a right or a left hand, or up to two thumbs (two
// large fingertips side by side with no finger beside them, however faint);
// fingerCount is then only checked (>= 1).
// - position: finger-position code: right hand 2..5 (index..little from the
//   left), left hand 10..7 (little..index from the left), thumbs 6 (left
//   thumb, on the image's left) and 1 (right thumb, on the right).
// - centerX, centerY, boxWidth, boxHeight, angle: the oriented box of the top
//   segment in SeparateImages' convention (one box column to the right moves
//   (cos a, -sin a) in (column, row), one box row down (sin a, cos a); 0 is
//   upright, a < 0 when the tip leans right), each finger with its own angle.
// - top, left, bottom, right: the box's axis-aligned bounds clipped to the
//   image. fixedValue: confidence 0..1; below 0.5 means "look at this
//   finger": the box is probably wrong or the finger doubtful. image: the
//   upright finger picture cut along the box as SeparateImages cuts it.
// The container's handCode is the hand used: the caller's 13, 14 or 15, or,
// when left open, the one worked out from the image (thumbs as above; a hand
// right or left from the spacing and heights of its tips). Safe to call
// from several threads at once.
VANTREL_API int32_t VantrelSegmentSlap(int32_t xres, int32_t yres, const uint8_t* image,
                                       int32_t rows, int32_t columns, int32_t fingerCount,
                                       int32_t handCode, VantrelResultType** result);

// Compact entry for 500 ppi images: runs VantrelQuick without finger images
// and writes up to four FingerInfo records into info (room for four needed).
// Returns the number of records written (0 on any failure, info untouched).
// Writes "StartToSegement" into message (at least 16 bytes).
//
// handCode other than 13, 14, 15: a two-thumb search. For 13 and 14 bits 0..3
// of fingerMask, for 15 bits 0..1, are visited and the set bits counted; that
// count is the expected finger count, and a count of 3 or more turns the hand
// code into 15 (so at most two thumbs are sought). A count of 0 returns 0.
// With hand code 15 (given or turned into) two thumbs are sought whenever the
// count is at least 1, so at most two records are written.
// The inner container is released before the call returns.
VANTREL_API int32_t VantrelCent2(const uint8_t* image, int32_t rows, int32_t columns,
                                 int32_t handCode, int32_t unused5, int32_t unused6,
                                 int32_t unused7, int32_t unused8, int32_t unused9,
                                 int32_t fingerMask, FingerInfo* info, char* message);

// Releases a container with its records and images and sets *result to null.
// A null result or *result is fine. Also forgets the last-result record.
VANTREL_API void DestroyVantrelResult1(VantrelResultType** result);

// Releases the library's process-wide state and the last successful call's
// container, if the caller has not released it. Safe to call any time, twice,
// or before any other call. The next call starts afresh.
VANTREL_API void DestroyVantrelParameter();

// Stores the caller's image file name (kept, never read by the library).
// A null name clears it; a name longer than 255 characters is truncated to
// its first 255 characters.
VANTREL_API void VtlSetImageFileName(const char* name);

// Returns the stored image file name; empty until set. Valid until
// DestroyVantrelParameter. Returns null only when memory is exhausted. The
// text is shared: another thread's VtlSetImageFileName changes it.
VANTREL_API char* VtlGetImageFileName();

// Text for a status code (header-only helper, not part of the library).
inline const char* VantrelStatusText(int32_t status) {
  switch (status) {
    case VANTREL_OK: return "success";
    case VANTREL_BAD_XRES: return "horizontal resolution below 201 pixels per inch";
    case VANTREL_BAD_YRES:
      return "vertical resolution below 201 pixels per inch, or image too small";
    case VANTREL_NULL_IMAGE: return "image pointer null";
    case VANTREL_BAD_ROWS: return "number of rows below 1";
    case VANTREL_BAD_COLUMNS: return "number of columns below 1";
    case VANTREL_BAD_FINGER_COUNT: return "expected finger count below 1";
    case VANTREL_OUT_OF_MEMORY: return "out of memory";
    case VANTREL_NO_FINGER: return "no finger found";
    case VANTREL_NULL_RESULT: return "result pointer null";
    case VANTREL_IMAGE_TOO_LARGE: return "image too large";
    default: return "unknown status";
  }
}

#endif  // VANTREL_H
