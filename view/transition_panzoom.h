// Pan and zoom: the start and end rectangles of the 46 kinds of movement
// (TVXPanZoomType, view/transition_catalogue.h) over an image shown in a
// client area. The engine's frame routine for vxttPanZoom is in
// transition_panzoom.cpp.
#pragma once

#include <cstdint>

#include "platform/win_geometry.h"
#include "view/transition_catalogue.h"

// StartRect and EndRect, in image coordinates, of Kind for an image of
// ImageWidth x ImageHeight shown in a client of ClientWidth x ClientHeight,
// zoomed by ZoomLevel per cent (below 2: 20). Both stay unset for a kind
// above 45, a client width or height of 0, or an image that leaves no room
// inside its margins (2 pixels left and top, 4 right and bottom).
void CalcPanZoomRects(int32_t ClientWidth, int32_t ClientHeight, int32_t ImageWidth, int32_t ImageHeight,
                      int32_t ZoomLevel, TVXPanZoomType Kind, TRect& StartRect, TRect& EndRect);
