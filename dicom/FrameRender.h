// The one render function: the stored samples of a frame, the file's attributes
// and the document's display state give the displayable bitmap, as DICOM's pixel
// pipeline defines it:
//   1. stored value: the stored bits of each sample, signed by the pixel representation;
//   2. modality value: Rescale Slope and Intercept, or the Modality LUT;
//   3. grey level: the window (LINEAR, LINEAR_EXACT or SIGMOID) or a VOI LUT;
//   4. presentation: inverted for MONOCHROME1 and Presentation LUT Shape INVERSE;
//   5. colour: PALETTE COLOR through its palette, RGB as it is.
// Grey images give 8-bit bitmaps with a grey colour table, colour images 24-bit
// ones. Slider releases, window drags (only the part on screen), presets, the
// command line's --width and --center and the histograms all come through here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "dicom/FrameSource.h"
#include "dicom/ImageAttributes.h"
#include "image/PackedDib.h"
#include "io/Expected.h"

// A window in modality values.
struct DisplayWindow {
    double width = 0;
    double centre = 0;
    bool operator==(const DisplayWindow&) const = default;
};

// How the document shows its frames; the render function only reads it.
struct DisplayState {
    // The window the user chose (sliders, a drag, a preset, --width and --center);
    // none: the frame's own, its first window or else its first VOI LUT.
    std::optional<DisplayWindow> window;
    // A VOI LUT of the frame chosen by the user (its index), used while `window` is none.
    std::optional<int> voiLut;
    // The window of a frame that gives none of its own: DefaultDisplayWindow over
    // the range of every frame's values, which the document works out. None: the
    // default without that range (ModalityRange.h).
    std::optional<DisplayWindow> fallback;
    bool invert = false;  // inverted on top of what the file says
    bool palette = true;  // palette colour in colour; off: the indices through the window
    bool operator==(const DisplayState&) const = default;
};

// The window frame `frame` is drawn with under `state`; none for colour, and for a
// frame drawn through a VOI LUT.
std::optional<DisplayWindow> EffectiveWindow(const ImageAttributes& attributes, std::int32_t frame,
                                             const DisplayState& state);

// Whether frame `frame` takes its window from state.fallback (or the default): it
// is grey and neither the user nor the frame gives a window or a VOI LUT.
bool UsesDefaultWindow(const ImageAttributes& attributes, std::int32_t frame, const DisplayState& state);

// Grey level 0..255 of modality value `value` through the LINEAR window: y = (v - low)
// x 255 / width + 0.5, truncated toward zero and clamped, low = centre - half. Whole
// numbers keep integer arithmetic with half = (width + 1) / 2, so that exact halves
// land as they should (width 400, centre 40 maps 40 to 128); other numbers use half
// = width / 2. A width of 0 maps everything to 0.
std::uint8_t LinearGrey(double value, double width, double centre);

// A render prepared for one frame and one display state: tables of grey levels or
// colours for every stored pattern where the samples are 8 or 16 bits, so that
// rendering costs one lookup per pixel.
class FrameRenderer {
public:
    FrameRenderer(const ImageAttributes& attributes, std::int32_t frame, const DisplayState& state);

    // 24 for colour (RGB, palette colour shown in colour), else 8.
    std::uint16_t BitCount() const { return m_colour ? 24 : 8; }
    // The whole frame as a new bitmap.
    Expected<PackedDibPtr> Render(const FrameSamples& samples) const;
    // Image rows [top, top + height) and columns [left, left + width) (inside the
    // frame) into `out`, rows top first, `stride` bytes apart: grey levels, or blue,
    // green, red bytes, as Render puts them in the bitmap.
    void RenderPart(const FrameSamples& samples, int left, int top, int width, int height, std::uint8_t* out,
                    std::size_t stride) const;

    // The grey level of sample `index` (row x columns + column) of a grey frame.
    std::uint8_t GreyAt(const FrameSamples& samples, std::size_t index) const;
    // The grey level of every stored pattern of a grey frame of 8- or 16-bit samples
    // (Grey8, Grey16), by pattern; empty for other frames, whose samples go
    // through GreyAt. A loop over many samples looks them up here itself.
    std::span<const std::uint8_t> GreyTable() const {
        return m_colour ? std::span<const std::uint8_t>() : std::span<const std::uint8_t>(m_table);
    }

    // Whether this render is the one for `frame` of `attributes` (the same object)
    // under `state`, so that it can be used again instead of being built anew.
    bool Draws(const ImageAttributes& attributes, std::int32_t frame, const DisplayState& state) const;

private:
    std::uint8_t GreyOf(double modalityValue) const;
    void RenderRow(const FrameSamples& samples, std::size_t row, std::size_t left, std::size_t width,
                   std::uint8_t* out) const;

    const ImageAttributes& m_attributes;
    std::int32_t m_frame;
    DisplayState m_state;
    bool m_colour = false;
    bool m_palette = false;
    bool m_invert = false;
    std::optional<DisplayWindow> m_window;
    const LookupTable* m_voiLut = nullptr;
    VoiFunction m_function = VoiFunction::Linear;
    const ModalityTransform* m_modality = nullptr;
    // Grey level (or B, G, R) of every stored pattern of 8- and 16-bit samples.
    std::vector<std::uint8_t> m_table;
    // The table gives every 8-bit pattern itself: rows are copied.
    bool m_copies = false;
};

// FrameRenderer(attributes, samples.frame, state).Render(samples).
Expected<PackedDibPtr> RenderFrame(const FrameSamples& samples, const ImageAttributes& attributes,
                                   const DisplayState& state);
