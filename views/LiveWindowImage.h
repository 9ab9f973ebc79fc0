// The picture shown while a grey window is dragged: the current frame's samples drawn
// through the dragged window only where they are painted, so that a drag step on a
// 2048 x 2048 frame costs the screen's pixels, not the frame's. Each pixel is the one
// the document's render gives for the same window (the same FrameRenderer), in the
// shown bitmap's colour table, its padding columns as they are.
#pragma once

#include <QImage>
#include <QRect>

#include "dicom/FrameRender.h"
#include "dicom/FrameSource.h"
#include "image/PackedDib.h"

struct LiveWindowFrame {
    // The frame as last drawn: 8-bit, rows x at least `samples->columns` pixels.
    const PackedDib* shown = nullptr;
    // Its stored samples, and the render of the dragged window.
    const FrameSamples* samples = nullptr;
    const FrameRenderer* render = nullptr;
};

// Whether the bitmap and the samples of `frame` agree: a complete 8-bit bitmap whose
// rows are the samples' rows, at least as wide, and a grey render.
bool IsLiveWindowFrame(const LiveWindowFrame& frame);

// The part `part` of the picture (image pixels, clipped to it) 1:1, as DibToImage
// gives it for the frame drawn with the dragged window; null when nothing of it lies
// on the picture. Reduced views sample it with SampleLiveWindowForView.
QImage LiveWindowToImage(const LiveWindowFrame& frame, QRect part);
