// The reduced picture for a view that shows an image smaller than 1:1: only the
// view's own pixels are made, each sampled from the block directly, so that a fitted
// 2048 x 2048 (or 8000 x 4000) image never costs a full-size 32-bit copy.
#pragma once

#include <QImage>
#include <QRect>

#include "image/PackedDib.h"

class CViewportTransform;
struct LiveWindowFrame;

// The part `viewRect` of the view (view pixels) as the transform shows `dib`: each
// pixel the image pixel under its centre, or with `oversample` 2 the mean of four
// samples (smooth). Pixels off the image are transparent. Null for a block that is
// incomplete or whose pixels are not 8- or 24-bit.
QImage SampleDibForView(const PackedDib* dib, const CViewportTransform& viewport, const QRect& viewRect,
                        int oversample);

// The same for the frame a window drag shows (see LiveWindowImage.h): what
// SampleDibForView gives for the frame converted with the dragged window.
QImage SampleLiveWindowForView(const LiveWindowFrame& frame, const CViewportTransform& viewport, const QRect& viewRect,
                               int oversample);
