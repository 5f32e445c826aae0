// VantrelSegmentSlap scored as the evaluation scores it: the real slaps of
// samples/real and generated slaps that once went wrong, each fingertip
// matched at oriented IoU >= 0.5 with its position code.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "evaluate.h"
#include "image_io.h"
#include "vantrel.h"
#ifdef VANTREL_HAVE_SYNTH
#include "slap_generator.h"
#endif

namespace {

const veval::Segmenter kSlap = &ventry::EntryOf(ventry::Method::kSlap);

void ExpectAllMatched(const veval::ImageScore& score) {
  EXPECT_EQ(score.status, VANTREL_OK);
  EXPECT_TRUE(score.countRight) << score.foundCount << " found of " << score.truthCount;
  EXPECT_EQ(score.matched, score.truthCount);
  EXPECT_TRUE(score.allRight);
}

// Every real slap matched with its codes, and each box turned within
// kMaxTurnDeg of its finger: a loose IoU still passes a wide thumb boxed at
// 45 degrees.
TEST(SlapAccuracy, RealSlapsAllMatchedWithTheirCodes) {
  constexpr double kMaxTurnDeg = 25;
  const struct {
    std::string dir;
    std::size_t images;
  } sets[] = {{VANTREL_REAL_DATA_DIR, 7}, {VANTREL_REAL_THUMBS_DIR, 2}};
  for (const auto& [dir, images] : sets) {
    std::vector<veval::ImageTruth> truths;
    ASSERT_EQ(veval::ReadTruthCsv(dir + "/truth.csv", &truths), "");
    ASSERT_EQ(truths.size(), images);
    for (const veval::ImageTruth& truth : truths) {
      SCOPED_TRACE(truth.file);
      vio::GreyImage image;
      ASSERT_TRUE(vio::ReadImage(dir + "/" + truth.file, {}, &image).ok());
      std::vector<veval::Detection> found;
      const veval::ImageScore score =
          veval::RunAndScore(kSlap, image.pixels.data(), image.rows, image.columns, image.xppi,
                             image.yppi, 4, truth.fingers, &found);
      ExpectAllMatched(score);
      const std::vector<int> foundOf = veval::PairByCentre(truth.fingers, found);
      for (std::size_t t = 0; t < foundOf.size(); ++t) {
        if (foundOf[t] < 0) continue;
        const double turn =
            std::remainder(found[foundOf[t]].box.angle - truth.fingers[t].box.angle, 2 * M_PI);
        EXPECT_LT(std::fabs(turn) * 180 / M_PI, kMaxTurnDeg) << "finger " << t;
      }
    }
  }
  DestroyVantrelParameter();
}

// Left open with four fingers asked, the bundled samples come back as the
// impressions they are: the two thumbs as thumbs.
TEST(SlapAccuracy, OpenHandWorkedOutFromTheImage) {
  struct Case {
    const char* file;
    int32_t hand, count;
  };
  for (const Case& c : {Case{"right_250ppi.png", VANTREL_HAND_RIGHT, 4},
                        Case{"left_250ppi.png", VANTREL_HAND_LEFT, 4},
                        Case{"thumbs_250ppi.png", VANTREL_HAND_THUMBS, 2}}) {
    SCOPED_TRACE(c.file);
    vio::GreyImage image;
    ASSERT_TRUE(
        vio::ReadImage(std::string(VANTREL_SAMPLES_DIR) + "/synth/" + c.file, {}, &image).ok());
    VantrelResultType* result = nullptr;
    ASSERT_EQ(VantrelSegmentSlap(image.xppi, image.yppi, image.pixels.data(), image.rows,
                                 image.columns, 4, 0, &result),
              VANTREL_OK);
    EXPECT_EQ(result->handCode, c.hand);
    EXPECT_EQ(result->count, c.count);
    DestroyVantrelResult1(&result);
  }
  DestroyVantrelParameter();
}

#ifdef VANTREL_HAVE_SYNTH
// Generated slaps (by seed of the evaluation's random draw) that each showed
// one fault.
TEST(SlapAccuracy, GeneratedFormerFailures) {
  struct Case {
    uint64_t seed;
    const char* cause;
    bool hard = false;  // drawn from the hard kinds of capture
  };
  const Case cases[] = {
      {1064, "left hand turned 8 degrees read as a right one"},
      {1289, "touching right hand read as a left one"},
      {1285, "left hand at 568 x 446 ppi: heights bent by the resolutions"},
      {1002, "a lone right thumb leaning right"},
      {1126, "a lone left thumb leaning left"},
      {1105, "left hand without its little finger read as a right one"},
      {1210, "touching left hand without its little finger"},
      {5074, "touching left hand searched at a slant: a finger lost"},
      {5103, "touching right hand searched at a slant: two fingers merged"},
      {1278, "touching right hand: the little finger lost"},
      {1068, "punched hole at a fingertip's edge turned its axis"},
      {1176, "faint finger beside clutter turned off the hand's direction"},
      {1155, "crease taken at a dip halfway down the top segment"},
      {1428, "crease taken too high on a card with clutter"},
      {1148, "first crease passed over, the second taken"},
      {1465, "index finger measured far narrower than the others"},
      {1356, "touching right hand: the index's top segment taken for a lower one"},
      {1051, "touching right hand: the little finger's top segment dropped"},
      {1125, "thumb eaten into by a hole, far narrower than the other"},
      {1275, "faint thumb: crease taken halfway down"},
      {1250, "touching faint left hand at 650 x 573 ppi: second creases taken"},
      {1267, "right hand at 413 x 514 ppi: every box down to the second crease"},
      {1150, "bilevel right hand at 497 x 435 ppi: every crease taken early"},
      {1223, "right hand at 608 x 351 ppi: the index lost"},
      {1305, "left hand short of its ring finger at 397 x 469 ppi: boxes twice too tall"},
      {1488, "left hand at 648 x 424 ppi read as a right one"},
      {1495, "left hand without its little finger read as a right one short of its middle"},
      {9080, "left hand without its little finger read as a right one short of its middle"},
      {1136, "ring finger measured narrow: its crease sought in a window too short"},
      {1147, "ring finger's crease taken at half its length"},
      {1363, "bilevel touching hand: the index measured narrow, its crease taken early"},
      {2169, "a finger mostly off the image's left edge counted"},
      {9271,
       "touching left hand without its little finger: axes turned 25 degrees, read as a right one"},
      {9422, "touching right hand: axes turned 10 degrees, read as a left one"},
      {5009, "dry left hand: ridgeless blotches below the cores turned two axes 25 degrees", true},
      {5039, "dry, smudged right hand: one box off its finger", true},
      {5295, "dry large thumbs: neither box on its thumb", true},
      {5168, "dry left hand short of its middle finger, palm below: every box off its finger",
       true},
      {5206, "dry right hand: the search slant drifting with the bent axes, the little finger lost",
       true},
      {5067, "dry left hand, its little finger cut by the side edge: codes one finger off", true},
      {5894, "left hand, its little finger mostly below the bottom edge: counted", true},
      {5222, "two thumbs cut by the top edge taken for two fingers of a right hand", true},
      {5562, "a lone thumb taken for a right index", true},
      {5052, "dry right hand: two axes held at the high corner of a slanted tip", true},
      {5011, "dry right hand: ink voids cut out of the mask, two boxes off", true},
      {5105, "dry right hand, palm below: voids cut out of the mask, hand and boxes turned", true},
      {5036, "right hand: three boxes run on past their crease onto the lower segment", true},
      {1365, "two thumbs, a pen loop joined to the left one's tip: that thumb lost"},
      {5114, "a lone thumb, a pen loop joined to its tip: nothing found", true},
      {5920, "right hand: the ring finger boxed 0.7 of its width", true},
      {5777, "dry leaning thumbs: a thumb split by voids into two narrow tips", true},
      {5331, "dry right hand: a box on the middle finger's lower segment, its tip in the top one's",
       true},
      {5734, "dry right hand: a box between two lower segments counted as a fourth finger", true},
      {6209, "left hand, its little finger faint and low: too light a piece to be kept", true},
      {6892,
       "left hand, its little finger cut by the side edge: a 3 x 8 mm remnant missed, mirrored",
       true},
      {6696, "dry left hand: the middle finger boxed 0.68 x 0.64 of its top segment", true},
      {5516, "dry left hand: a dark blob over the little fingertip, its box below the blob", true},
      {5761, "dry left hand: the index found as a small patch, boxed at the least size", true},
      {5732, "dry right hand: a box as narrow as the broken ridge mask, IoU below 0.5", true},
      {6050, "dry left hand, its faint little finger cut by the bottom: lost, read as a right one",
       true},
      {5401, "dry right hand short of its ring finger, its little faint: read as two thumbs", true},
      {5187, "dry left hand, its little finger mostly below the bottom edge, boxed short: counted",
       true},
      {70382, "dry left hand cut by the top edge: the cut tips' heights read it as a right one",
       true},
      {5769, "right hand short of its ring finger: a smudge at the edge taken for a cut finger",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.seed << ": " << c.cause);
    const vsynth::Slap slap = vsynth::GenerateSlap(c.hard ? vsynth::RandomHardOptions(c.seed)
                                                          : vsynth::RandomOptions(c.seed));
    std::vector<veval::TruthFinger> truth;
    for (const vsynth::FingerTruth& f : slap.fingers) {
      veval::TruthFinger t;
      t.box = {f.cx, f.cy, f.width, f.height, f.angle};
      t.position = f.position;
      truth.push_back(t);
    }
    std::vector<veval::Detection> found;
    const veval::ImageScore score = veval::RunAndScore(
        kSlap, slap.pixels.data(), slap.rows, slap.columns, static_cast<int32_t>(slap.xppi + 0.5),
        static_cast<int32_t>(slap.yppi + 0.5), 4, truth, &found);
    ExpectAllMatched(score);
  }
  DestroyVantrelParameter();
}
#endif

}  // namespace
