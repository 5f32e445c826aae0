// Accuracy evaluation of the segmenters against fingertip ground truth: truth
// files, oriented-box overlap, matching, per-image scores and totals.
//
// Boxes use the library's convention: one box column to the right moves
// (cos a, -sin a) in (column, row), one box row down moves (sin a, cos a),
// a = 0 is upright and a < 0 means the tip leans right.
#ifndef VANTREL_TOOLS_EVALUATE_EVALUATE_H
#define VANTREL_TOOLS_EVALUATE_EVALUATE_H

#include <cstdint>
#include <string>
#include <vector>

#include "entries.h"
#include "vantrel.h"

namespace veval {

struct Box {
  double cx = 0, cy = 0;
  double width = 0, height = 0;
  double angle = 0;
};

// The four corners in (column, row), clockwise on screen from the top left.
void BoxCorners(const Box& box, double xs[4], double ys[4]);

// Area of the intersection of two oriented rectangles over the area of their
// union (exact convex polygon clipping); 0 when either box is empty.
double OrientedBoxIoU(const Box& a, const Box& b);

// Box from a tilt from vertical in degrees, positive when the tip leans right.
Box BoxFromTilt(double cx, double cy, double halfWidth, double halfHeight, double tiltDegrees);

struct TruthFinger {
  Box box;
  int32_t position = 0;  // finger-position code, 0 when unknown
};

struct ImageTruth {
  std::string file;  // as written in the truth file
  int32_t hand = 0;  // 13, 14, 15 or 0 when unknown
  int32_t xppi = 0, yppi = 0;
  std::vector<TruthFinger> fingers;  // left to right
};

// Reads a truth CSV with the header
// file,finger_from_left,cx,cy,halfwidth,halfheight,angle_deg (angle = tilt
// from vertical, + = tip leans right). A file name holding "right" or "left"
// names the hand; with four fingers listed their position codes follow from
// it. Returns an empty string on success, otherwise the reason.
std::string ReadTruthCsv(const std::string& path, std::vector<ImageTruth>* images);

// Position codes of the fingers of a hand listed left to right.
void AssignHandPositions(ImageTruth* truth);

struct Detection {
  Box box;
  int32_t position = 0;
  double confidence = 0;  // the record's fixedValue
};

// Below this a record's confidence says "look at this finger".
constexpr double kDoubtful = 0.5;

// The records of a result as detections.
std::vector<Detection> DetectionsFrom(const ventry::ResultCopy& result);

struct ImageScore {
  std::string name;
  int32_t truthCount = 0;
  int32_t foundCount = 0;
  int32_t matched = 0;  // truth fingertips matched at IoU >= threshold
  bool countRight = false;
  bool positionsKnown = false;  // every truth finger carries a code
  // Count right and, with returned fingers paired to true ones by nearest
  // centres, every pair's codes equal: the codes alone, whatever the boxes.
  bool codesRight = false;
  // Count right, every true fingertip matched at the threshold and every
  // matched pair's codes equal.
  bool allRight = false;
  std::vector<double> centreDistances;  // matched pairs, pixels
  std::vector<double> ious;             // matched pairs
  double millimetresPerPixel = 0.0508;
  double milliseconds = 0;
  int32_t status = 0;
  // Found boxes matched (right) or not (wrong), and of each how many the
  // confidence judged so (right at or above kDoubtful, wrong below it).
  int32_t rightBoxes = 0, rightTrusted = 0, wrongBoxes = 0, wrongDoubted = 0;
};

// The fingers behind an image's line, one line each: every true fingertip
// with the found box overlapping it most (IoU, code, confidence) or "none",
// then every found box overlapping no true one at all ("extra").
std::string FormatFingerLines(const std::vector<TruthFinger>& truth,
                              const std::vector<Detection>& found);

// A fingertip missed, the count wrong or a code wrong: the images worth
// listing from a long generated run.
bool HasFault(const ImageScore& score);

// Pairs each truth finger with at most one found finger and the other way
// round, nearest centres first; returns the found index per truth finger, -1
// when unpaired.
std::vector<int> PairByCentre(const std::vector<TruthFinger>& truth,
                              const std::vector<Detection>& found);

// One-to-one matching, pairs taken by decreasing IoU; codes checked also over
// the pairing by centres.
ImageScore ScoreImage(const std::vector<TruthFinger>& truth, const std::vector<Detection>& found,
                      double iouThreshold = 0.5);

struct Summary {
  int32_t images = 0;
  int32_t truthFingers = 0;
  int32_t foundFingers = 0;
  int32_t matched = 0;
  int32_t countRight = 0;
  int32_t positionImages = 0;  // images with count right and known codes
  int32_t codesRight = 0;      // of positionImages
  int32_t allRight = 0;        // of positionImages
  double medianCentreMm = 0;
  double medianIou = 0;
  double meanMilliseconds = 0;
  double maxMilliseconds = 0;
  int32_t rightBoxes = 0, rightTrusted = 0, wrongBoxes = 0, wrongDoubted = 0;
};

Summary Summarise(const std::vector<ImageScore>& scores);

// A fixed-width table row per image and a closing line; for logs.
std::string FormatImageLine(const ImageScore& score);
std::string FormatSummary(const std::string& label, const Summary& summary);

// Draws boxes into an RGB copy of a grey image: truth green, found boxes red.
std::vector<uint8_t> DrawOverlay(const uint8_t* grey, int32_t rows, int32_t columns,
                                 const std::vector<TruthFinger>& truth,
                                 const std::vector<Detection>& found);

// An entry that fills a result container; cent2 writes no boxes to score.
using Segmenter = const ventry::Entry*;

// The container entry of that name; null for anything else.
Segmenter SegmenterByName(const std::string& name);

// Runs `segmenter` on one image (hand left open) and scores its records
// against `truth`; *found receives the records as detections.
ImageScore RunAndScore(Segmenter segmenter, const uint8_t* pixels, int32_t rows, int32_t columns,
                       int32_t xppi, int32_t yppi, int32_t fingerCount,
                       const std::vector<TruthFinger>& truth, std::vector<Detection>* found);

}  // namespace veval

#endif
