// The rules in which the two revisions of the graphics library differ. Each revision's transport
// takes its own; tests of either revision (and of the rasterizer) can name both.
#pragma once

#include "graph/raster.h"

namespace graphcore {

struct Revision {
  graphraster::Rules rules;   // how lines, filled shapes and rectangles meet their corners
  bool clearScreenHomesText;  // ClearScreen puts the text position at the text window's top left
};

// Revision 1 (Trabolix): a line leaves out its last pixel, filled shapes have no pen, rectangles
// exclude their right column and bottom row; ClearScreen leaves the text position.
inline constexpr Revision kRevision1 = {
    {.lineEndPoint = false, .filledOutline = false, .rectangleInclusive = false}, false};

// Revision 2 (Zentavor): a line sets its end point, filled shapes get a solid outline in their
// colour, rectangle corners are both included; ClearScreen homes the text position.
inline constexpr Revision kRevision2 = {
    {.lineEndPoint = true, .filledOutline = true, .rectangleInclusive = true}, true};

}  // namespace graphcore
