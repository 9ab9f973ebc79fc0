// What the window sliders and a window drag range over for a document: the width
// from 0 to |max| + |min|, the centre from min to max of the modality values of
// every frame; before that range is known, about the window shown.
#pragma once

#include "views/SliderScale.h"
#include "views/WindowDrag.h"

class CDorvanelleDoc;

WindowLimits WindowLimitsOf(const CDorvanelleDoc& doc);
SliderScale WidthScaleOf(const WindowLimits& limits);
SliderScale CentreScaleOf(const WindowLimits& limits);
