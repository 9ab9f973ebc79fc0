// The picture shown while a grey window is dragged: the current frame's 16-bit
// samples mapped through the dragged window only where they are painted, so that a
// drag step on a 2048 x 2048 frame costs the screen's pixels, not the frame's. Each
// pixel is the one the document's conversion gives for the same window: the same
// grey table, the shown bitmap's colour table, and its padding columns as they are.
#pragma once

#include <cstdint>
#include <span>

#include <QImage>
#include <QRect>

#include "dicom/GreyWindow.h"
#include "image/PackedDib.h"

struct LiveWindowFrame {
    // The frame as last converted: 8-bit, rows x at least `columns` pixels.
    const PackedDib* shown = nullptr;
    // Its samples, 16-bit little-endian, top row first, rows x columns of them.
    std::span<const std::uint8_t> samples;
    int columns = 0;
    // The dragged window's grey level of every 16-bit sample.
    const GreyTable* grey = nullptr;
};

// Whether the bitmap and the samples of `frame` agree: a complete 8-bit bitmap whose
// rows are the samples' rows, at least as wide. The pictures below also need a grey table.
bool IsLiveWindowFrame(const LiveWindowFrame& frame);

// The part `part` of the picture (image pixels, clipped to it) 1:1, as DibToImage
// gives it for the frame converted with the dragged window; null when nothing of it
// lies on the picture. Reduced views sample it with SampleLiveWindowForView.
QImage LiveWindowToImage(const LiveWindowFrame& frame, QRect part);
