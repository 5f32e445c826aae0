// The fixed WSQ decomposition: 20 nodes, each split into four quadrants by
// one transform step, whose leaves are the 64 subbands. The shapes follow
// from the image size alone; odd lengths give the longer half to the low
// pass unless the node stores its high pass first.
#include "wsq_codec.h"

namespace vio::wsq {
namespace {

enum Quadrant { kTopLeft, kTopRight, kBottomLeft, kBottomRight };

struct NodeDef {
  int parent;  // -1 for the whole image
  Quadrant quadrant;
  bool highFirstX, highFirstY;
};

// Node order is the order of the forward transform.
constexpr NodeDef kNodes[kNodeCount] = {
    {-1, kTopLeft, false, false},   {0, kTopLeft, false, false},   {0, kTopRight, true, false},
    {0, kBottomLeft, false, true},  {1, kTopRight, true, false},   {1, kBottomLeft, false, true},
    {4, kTopLeft, false, false},    {4, kTopRight, true, false},   {4, kBottomLeft, false, true},
    {4, kBottomRight, true, true},  {5, kTopLeft, false, false},   {5, kTopRight, true, false},
    {5, kBottomLeft, false, true},  {5, kBottomRight, true, true}, {1, kTopLeft, false, false},
    {14, kTopLeft, false, false},   {14, kTopRight, true, false},  {14, kBottomLeft, false, true},
    {14, kBottomRight, true, true}, {15, kTopLeft, false, false},
};

Rect QuadrantOf(const Rect& r, bool highFirstX, bool highFirstY, Quadrant q) {
  const int32_t left = highFirstX ? r.width / 2 : (r.width + 1) / 2;
  const int32_t top = highFirstY ? r.height / 2 : (r.height + 1) / 2;
  const bool right = q == kTopRight || q == kBottomRight;
  const bool bottom = q == kBottomLeft || q == kBottomRight;
  return Rect{r.x + (right ? left : 0), r.y + (bottom ? top : 0), right ? r.width - left : left,
              bottom ? r.height - top : top};
}

Rect QuadrantOf(const Node& n, Quadrant q) {
  return QuadrantOf(n.rect, n.highFirstX, n.highFirstY, q);
}

}  // namespace

Layout MakeLayout(int32_t width, int32_t height) {
  Layout layout;
  for (int i = 0; i < kNodeCount; ++i) {
    const NodeDef& d = kNodes[i];
    Node& n = layout.nodes[i];
    n.rect =
        d.parent < 0 ? Rect{0, 0, width, height} : QuadrantOf(layout.nodes[d.parent], d.quadrant);
    n.highFirstX = d.highFirstX;
    n.highFirstY = d.highFirstY;
  }
  // Subbands: the four quadrants of node 19, the other three of node 15,
  // then the quadrants of nodes 16-18, 6-9 and 10-13, the last quadrant of
  // node 1, the quadrants of nodes 2 and 3 and, never coded, of the last
  // quadrant of the image.
  int s = 0;
  auto add4 = [&](const Node& n, int first) {
    for (int q = first; q < 4; ++q) layout.subbands[s++] = QuadrantOf(n, Quadrant(q));
  };
  const auto& nodes = layout.nodes;
  add4(nodes[19], kTopLeft);
  add4(nodes[15], kTopRight);
  for (int i : {16, 17, 18, 6, 7, 8, 9, 10, 11, 12, 13}) add4(nodes[i], kTopLeft);
  layout.subbands[s++] = QuadrantOf(nodes[1], kBottomRight);
  add4(nodes[2], kTopLeft);
  add4(nodes[3], kTopLeft);
  const Rect last = QuadrantOf(nodes[0], kBottomRight);
  for (int q = 0; q < 4; ++q) layout.subbands[s++] = QuadrantOf(last, true, true, Quadrant(q));
  return layout;
}

}  // namespace vio::wsq
