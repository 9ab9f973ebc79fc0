// The small drawing routines shared by the image view and the control panel. They draw
// with exact colours and pixel positions, so that tests can check single pixels:
// lines leave out their end point and rectangles their right and bottom edge.
#pragma once

#include <QImage>
#include <QPainter>

#include "image/Geometry.h"
#include "image/Histogram.h"

// Paints `picture` 1:1 with its top-left corner at (x, y); never scales. Returns the
// number of rows painted.
int PaintDib(QPainter& painter, const QImage& picture, int x, int y);

// The histogram panel whose baseline starts at (x, y): a black-bordered grey
// (90, 90, 90) panel from (x - 1, y - 105) to (x + 257, y + 15), the baseline, one
// bar of (200, 200, 0) per bin rising from y - 2, and below the baseline a 13-row
// colour ramp of kind 0 grey, 1 red, 2 green or 3 blue (other kinds draw no ramp).
void DrawHistogram(QPainter& painter, int x, int y, const Histogram& bins, int rampKind);

// The dotted grey (100, 100, 100) outline of `rect` (normalised first), not filled.
void DrawSelectionRect(QPainter& painter, DibRect rect);
