// Copies the content of an oriented box out of an image, nearest sample.
// One box column to the right moves (cos a, -sin a) in (column, row), one box
// row down moves (sin a, cos a); the box centre lies on (centreColumn,
// centreRow). Box pixels outside the source keep `fill`. A size below 1 or a
// null destination writes nothing; a null source leaves the box all `fill`.
#ifndef VANTREL_GEOMETRY_ORIENTED_BOX_H
#define VANTREL_GEOMETRY_ORIENTED_BOX_H

#include <cstdint>

namespace vtl {

// Inside: 0 <= X < columns - 0.5 and 0 <= Y < rows - 0.5; samples the pixel
// nearest to (X, Y).
void SampleOrientedBox(const uint8_t* sourcePixels, int32_t columns, int32_t rows,
                       uint8_t* destination, int32_t boxWidth, int32_t boxHeight,
                       int32_t centreColumn, int32_t centreRow, float angle, uint8_t fill);

// Inside: 0 <= X <= columns - 1.5 and 0 <= Y <= rows - 1.5; samples the pixel
// at (trunc X, trunc Y).
void SampleOrientedBoxTruncated(const uint8_t* sourcePixels, int32_t columns, int32_t rows,
                                uint8_t* destination, int32_t boxWidth, int32_t boxHeight,
                                int32_t centreColumn, int32_t centreRow, float angle, uint8_t fill);

}  // namespace vtl

#endif
