// One of everything the graphics library draws, for the demo programs and the picture tests.
#pragma once

#include <cstdint>

namespace graphdemo {

// Selects line style `number`: 0 solid, 1 dotted, 2 dashed, 3 dash-dot, 4 dash-dot-dot,
// 5 invisible (each revision has its own operation for it).
using StyleSetter = void (*)(uint32_t number);

// Draws the scene into the open window (780 x 570 pixels of it): lines in each style, rectangles,
// ellipses and circles outlined and filled, arcs, pies, polygons and a polyline, a flood fill,
// text both ways, an image put back with each raster operation, clipped drawing, points, the
// hatches and a user pattern. Main thread, after a successful Graph::Init of at least 800 x 600.
void Draw(StyleSetter setStyle);

}  // namespace graphdemo
