// Tuning of the texture-driven slap segmenter, in one place: lengths in
// millimetres of the page, angles in degrees, shares relative to a finger's
// own measure where a length would not scale with the hand.
#ifndef VANTREL_SLAP_SLAP_TUNING_H
#define VANTREL_SLAP_SLAP_TUNING_H

#include <cstdint>

namespace vtl {
namespace slap {

constexpr double kPi = 3.14159265358979323846;
constexpr double Radians(double degrees) {
  return degrees * kPi / 180;
}
constexpr double kMmPerInch = 25.4;

// Working image and block grid.
constexpr double kWorkingPpi = 250;         // ridge period about five pixels
constexpr double kMinSideMm = 6;            // less cannot hold a fingertip
constexpr double kRidgePeriodMm = 0.5;      // typical ridge period
constexpr double kCoarseBlurPeriods = 1.8;  // band-pass: coarse blur over this many periods
constexpr double kBlockMm = 0.8;            // side of a block of the ridge map
// Ridge direction agreement over (2 r + 1)^2 blocks: from kAgreeLow over
// kAgreeRamp it stands in for coherence.
constexpr int32_t kAgreeRadius = 2;
constexpr float kAgreeLow = 0.6f, kAgreeRamp = 0.2f;

constexpr float kMaskScore = 0.3f;  // ridge score of a finger's block
// Shading (the spread of block means about a block) counts against its ridge
// energy at this weight: form print and ink edges spread the means, but so
// do the ink voids of a dry print, and counted fully they cut its ridges out
// of the mask.
constexpr float kShadingWeight = 0.25f;

// Pieces of the finger mask.
constexpr double kHoleAreaMm2 = 60;   // pockets up to this are filled
constexpr double kPieceAreaMm2 = 40;  // smaller pieces are scraps
constexpr double kUprightDeg = 60;    // pieces leaning further do not set the hand's direction
// Pieces elongated enough to show their axis must make up this share of
// the pieces' area to set the hand's direction on their own.
constexpr double kLeastTrust = 0.2;

// Hand direction from the outline of the pieces.
constexpr double kFirstSlantDeg = -55;  // slants tried: first, step, count
constexpr double kSlantStepDeg = 2.5;
constexpr int32_t kSlants = 45;
constexpr double kNotchMm = 3;         // least dip between two fingertips
constexpr double kPeakCapMm = 12;      // prominence counted per fingertip at most
constexpr double kSlantPenalty = 0.5;  // of a peak per kSlantPenaltyDeg off the pieces' axes
constexpr double kSlantPenaltyDeg = 10;
constexpr double kSlantTie = 0.03;     // scores within this share tie
constexpr double kSameSlantDeg = 2;    // slants this close are searched once
constexpr double kFollowDeg = 5;       // the fingers' median is followed past this
constexpr double kFollowShortDeg = 1;  // ... or this when fingers are missing
constexpr double kBentDeg = 8;         // mean bend past which other slants are tried

// Candidates along one slant.
constexpr double kTopReachMm = 25;    // of a band, measured below its tip
constexpr double kSegmentDropMm = 8;  // a piece this far below a tip over it is a lower segment
constexpr double kPeakMarginMm = 3;
constexpr double kWeakShare = 0.25;  // of the typical finger's weight: a scrap

// A finger's axis may turn this far from the search direction; held, when it
// leaned far from the other fingers' (kOddLeanDeg), this far.
constexpr double kMaxBendDeg = 35;
constexpr double kOddLeanDeg = 15;
constexpr double kHeldBendDeg = 8;
// A top segment this much longer or shorter (log) than the hand's median has
// its crease looked for again.
constexpr double kOddLength = 0.3;
// A finger narrower than kNarrow of the hand's median width is given
// kNarrowed of it (little fingers are about a tenth narrower).
constexpr double kNarrow = 0.7;
constexpr double kNarrowed = 0.9;
// A fingertip's print is at least this wide (the narrowest little fingers
// of the real slaps measure 10.2 to 10.9 mm); a box narrower than that
// stands on a part of one: a dry print's patch, or half of one split by a
// void. It is widened to this about its centre.
constexpr double kLeastTipWidthMm = 10;
// A top segment is at least this long (the shortest of the real slaps, a
// little finger, measures 14 mm by eye; boxed at 16 it still overlaps 0.87).
// A shorter box took a dry print's void for the crease: it is lengthened
// down from its tip, which dry prints keep.
constexpr double kLeastTipLengthMm = 16;
// A box below both of these stands on a patch of a dry print, too small to
// tell the finger's size; with kPatchHandTips tips found or more, the
// nearest step between them does: fingers stand kPatchPitchWidths of their
// width apart, their top segments kPatchLengthWidths of it long. The width
// so read is held to kPatchWidestMm, as tips with a finger missing between
// them stand twice as far apart.
constexpr int32_t kPatchHandTips = 3;
constexpr double kPatchPitchWidths = 1.3;
constexpr double kPatchLengthWidths = 1.45;
constexpr double kPatchWidestMm = 16;
// A box with less than kThinCover of its points on ridge blocks stands on a
// print too thin for the mask to reach its edges (on generated dry prints:
// 0.91 of the true width and 0.93 of the length below a cover of 0.5). It
// grows by kThinWidthGain and kThinLengthGain for each unit of cover short.
constexpr double kThinCover = 0.8;
constexpr double kThinWidthGain = 0.3;
constexpr double kThinLengthGain = 0.15;
// A fingertip at the image's edge narrower than this share of the others',
// or with less than this share of its top segment inside the image, lies
// mostly off the image (nor is it counted as a finger). Its top segment is
// its box grown down to kCutTipLength of the others' median length at least.
constexpr double kCutOff = 0.5;
constexpr double kCutTipLength = 0.9;
constexpr double kBorderMm = 1;  // a box corner this near the edge touches it
// Boxes sharing more than kSharedShare of the smaller are one finger; a box
// across kUnderShare of the narrower from another, whose tip lies kUnderTop
// of the other's length or more below the other's centre, is its lower
// segment: no fingertip stands that far into a neighbour's top segment.
constexpr double kSharedShare = 0.15;
constexpr double kUnderShare = 0.5;
constexpr double kUnderTop = 0.25;

// Tracing a finger's midline on the block grid.
constexpr double kTraceLengthMm = 45;  // levels traced below the tip
constexpr double kTipWalkMm = 40;      // furthest the tip is sought up the axis
constexpr double kMaxHalfWidthMm = 20;
constexpr double kStartWidthMm = 15;
constexpr double kBridgeMm = 7;           // voids this wide within a finger are crossed
constexpr double kWidthFromMm = 3;        // typical width taken this far below the tip ...
constexpr double kWidthToMm = 12;         // ... to this
constexpr double kFitFromMm = 1.5;        // midline fitted from here down
constexpr double kTraceDepth = 2.2;       // widths of midline fitted ...
constexpr double kShortTraceDepth = 1.5;  // ... or, lower segments lost, these

// A dark blot over a fingertip (a pressure blob, smudged ink) hides its
// ridges, so the ridge energy begins below it: the tip is carried up across
// blocks on the axis at least kBlotDarkening grey levels darker than the
// paper, found within kBlotGapMm above the tip, up to kBlotReachMm.
constexpr double kBlotDarkening = 70;
constexpr double kBlotGapMm = 1.5;
constexpr double kBlotReachMm = 12;
// A blot is smooth: its band-pass power stays under this share of its
// shade squared, where ridges, text and pen strokes reach a tenth or more.
constexpr double kBlotTexture = 0.02;

// The top segment along the finger's axis.
constexpr double kProfileAboveMm = 4;  // profile starts above the traced tip
constexpr double kProfileMm = 50;
constexpr double kProfileHalfWidth = 0.3;  // of the finger's width, sampled across
constexpr double kProfileSmoothMm = 0.4;
constexpr double kReferenceFromMm = 6;  // reference ridge energy below the tip ...
constexpr double kReferenceToMm = 16;
constexpr double kTipLevel = 0.25;       // of the reference: the print begins ...
constexpr int32_t kTipStrips = 5;        // ... in the first of these strips along the finger
constexpr double kExpectedLength = 1.5;  // top segment, in widths, without a prior
// The ridge mask stops short of the print's sides, where ridges thin out:
// boxes are this much wider than the mask.
constexpr double kPrintWidthGain = 1.06;
constexpr double kCreaseAboveFromMm = 1.5;  // level above a crease ...
constexpr double kCreaseAboveToMm = 6;
constexpr double kCreaseBelowToMm = 5;  // ... and below it, from kCreaseAboveFromMm
constexpr double kEdgeMarginMm = 1;     // past the image border the print is unknown
constexpr double kCreaseFrom = 0.7;     // crease window, in widths ...
constexpr double kCreaseTo = 2.3;
constexpr double kPriorFrom = 0.6;  // ... or in lengths of the other fingers
constexpr double kPriorTo = 1.6;

// A fourth finger sought on the faint map stands clear of the others (shares
// at most kClearShare of a box), kFaintPitchLow..High of their median width
// beside the outer one, and is kFaintWidthLow..High of it wide. Its piece is
// often a fifth of the others' weight or less (a light little finger breaks
// up on the faint map too): there the place decides, not the weight. The
// window is wide: a little finger lying low on a leaning hand stands nearer
// across it than a pitch, and a faint box spreads past the print's sides.
constexpr double kClearShare = 0.1;
constexpr double kFaintWeakShare = 0.1;
constexpr double kFaintPitchLow = 0.7, kFaintPitchHigh = 2.6;
constexpr double kFaintWidthLow = 0.55, kFaintWidthHigh = 1.7;
constexpr double kFaintPairTiltDeg = 20;  // a third beside two leans within this of them

// Hand placement. Centre to centre, fingers stand about 1.2 (touching) to
// 1.5 of their top segments' widths apart; a pitch expected too short makes a
// hand short of an outer finger look like one with a gap inside.
constexpr double kPitchWidths = 1.35;
// Past this disagreement between the fingers' median axis and the ridges of
// their lower segments, the axes are taken to have been led off.
constexpr double kAxisDoubtDeg = 12;

// What an edge left of a finger it cut away: finger blocks within
// kRemnantEdgeMm of it, kRemnantAreaMm2 at least. A rounded tip cut near
// its side leaves a short strip: 3 x 5 mm. The finger an edge cuts is the
// little one, which stands low: its remnant starts kRemnantDrop of the
// others' length below their highest tip at least; ink at the edge from the
// tips' row down is a smudge or clutter.
constexpr double kRemnantEdgeMm = 3;
constexpr double kRemnantAreaMm2 = 15;
constexpr double kRemnantDrop = 0.15;

// Telling thumbs from a hand left open: a lone thumb's top segment, or two
// thumbs' together, cover at least this much; a finger-sized tip beside them
// (this share of the smaller one) makes them fingers of a hand.
constexpr double kLoneThumbAreaMm2 = 340;
constexpr double kThumbPairAreaMm2 = 640;
constexpr double kBesideShare = 0.5;
constexpr double kThumbBand = 1.5;  // of a thumb's width: tips across it are its own

// Confidence: the ridge evidence times exp(-kDoubtWeight * doubt), doubt a
// sum of squared deviations each 1 at its own limit: top segment length
// (log) and width (log) against the others', tilt against theirs, the
// box's shape (length over width outside kLowAspect..kHighAspect), its
// share on ridge blocks below kFullCover, a width below kNarrowTipMm. The
// product is raised to kConfidencePower, which places 0.5 where 99.2 % of
// right boxes of generated slaps (hard kinds mixed in) stay above it: as
// many wrong ones below as the 99 % asked for allows, with a margin.
constexpr double kDoubtWeight = 0.3;
constexpr double kLengthDoubt = 0.35;
constexpr double kWidthDoubt = 0.3;
constexpr double kTiltDoubtDeg = 16;
constexpr double kLowAspect = 0.95, kHighAspect = 2.3, kAspectDoubt = 0.4;
constexpr double kFullCover = 0.9, kCoverDoubt = 0.3;
constexpr double kNarrowTipMm = 11;
constexpr double kConfidencePower = 0.57;
constexpr float kRidgeBlock = 0.3f;  // block score of ridge

}  // namespace slap
}  // namespace vtl

#endif
