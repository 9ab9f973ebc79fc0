#include "dicom/FrameRender.h"

#include <cmath>
#include <cstring>

#include "dicom/ModalityRange.h"
#include "io/ByteOrder.h"

namespace {

// Whether a table of the 256 patterns of 8-bit samples gives each pattern as its own
// grey level (an 8-bit image under the window of its whole range), so that rows can
// be copied as they are.
bool GivesEachPatternItself(const std::vector<std::uint8_t>& table) {
    if (table.size() != 256) return false;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i] != i) return false;
    }
    return true;
}

// Whole numbers small enough for the integer arithmetic of the LINEAR window.
bool Whole(double x) { return x == std::trunc(x) && std::fabs(x) < 1e12; }

std::uint8_t Clamp255(double y) { return static_cast<std::uint8_t>(y >= 255 ? 255 : (y > 0 ? y : 0)); }

std::uint8_t WholeLinearGrey(std::int64_t value, std::int64_t width, std::int64_t centre) {
    if (width == 0) return 0;
    const std::int64_t half = (width + 1) / 2;
    const std::int64_t low = centre - half;
    // (v - low) x 255 / w + 0.5 as one exact fraction, truncated toward zero.
    const std::int64_t numerator = 510 * (value - low) + width;
    if (width > 0) {
        // Below and above the window without a division: most patterns of a table lie there.
        if (numerator < 2 * width) return 0;
        if (numerator >= 510 * width) return 255;
    }
    const std::int64_t y = numerator / (2 * width);
    return static_cast<std::uint8_t>(y >= 255 ? 255 : (y > 0 ? y : 0));
}

// An 8-bit colour component of a palette entry.
std::uint8_t PaletteComponent(const LookupTable& table, std::uint16_t entry) {
    if (table.bits == 8) return static_cast<std::uint8_t>(entry);
    if (table.bits > 8) return static_cast<std::uint8_t>(entry >> (table.bits - 8));
    return static_cast<std::uint8_t>(std::lround(entry * 255.0 / table.EntryMax()));
}

}  // namespace

std::uint8_t LinearGrey(double value, double width, double centre) {
    if (width == 0) return 0;
    if (Whole(value) && Whole(width) && Whole(centre)) {
        return WholeLinearGrey(static_cast<std::int64_t>(value), static_cast<std::int64_t>(width),
                               static_cast<std::int64_t>(centre));
    }
    const double low = centre - width / 2;
    return Clamp255(std::trunc((value - low) * 255.0 / width + 0.5));
}

bool UsesDefaultWindow(const ImageAttributes& a, std::int32_t frame, const DisplayState& state) {
    if (a.IsColour() || (a.IsPaletteColour() && a.palette && state.palette) || state.window) return false;
    const FrameValues& values = a.Frame(frame);
    return values.windows.empty() && values.voiLuts.empty();
}

std::optional<DisplayWindow> EffectiveWindow(const ImageAttributes& a, std::int32_t frame, const DisplayState& state) {
    if (a.IsColour() || (a.IsPaletteColour() && a.palette && state.palette)) return std::nullopt;
    if (state.window) return state.window;
    const FrameValues& values = a.Frame(frame);
    if (state.voiLut && *state.voiLut >= 0 && static_cast<std::size_t>(*state.voiLut) < values.voiLuts.size()) {
        return std::nullopt;
    }
    if (!values.windows.empty()) return DisplayWindow{values.windows.front().width, values.windows.front().centre};
    if (!values.voiLuts.empty()) return std::nullopt;
    if (state.fallback) return state.fallback;
    return DefaultDisplayWindow(a, frame, nullptr);
}

FrameRenderer::FrameRenderer(const ImageAttributes& attributes, std::int32_t frame, const DisplayState& state)
    : m_attributes(attributes), m_frame(frame), m_state(state) {
    const ImageAttributes& a = attributes;
    const FrameValues& values = a.Frame(frame);
    m_modality = &values.modality;
    m_function = values.voiFunction;
    m_palette = a.IsPaletteColour() && a.palette.has_value() && state.palette;
    m_colour = a.IsColour() || m_palette;
    m_invert = a.InvertsGrey() != state.invert;
    m_window = EffectiveWindow(a, frame, state);
    if (!m_colour && !m_window) {
        const std::size_t index = state.voiLut && *state.voiLut >= 0 ? static_cast<std::size_t>(*state.voiLut) : 0;
        if (index < values.voiLuts.size()) m_voiLut = &values.voiLuts[index];
    }
    if (a.IsColour() || a.format == SampleFormat::Float || a.bitsAllocated > 16) return;
    // 8- and 16-bit patterns (1- and 12-bit samples come unpacked into them): a table.
    const std::size_t patterns = a.bitsAllocated <= 8 ? 256 : 65536;
    const StoredValueReader stored(a);
    if (m_palette) {
        m_table.resize(patterns * 3);
        const Palette& p = *a.palette;
        for (std::size_t raw = 0; raw < patterns; ++raw) {
            const double index = static_cast<double>(stored.Of(static_cast<std::uint32_t>(raw)));
            m_table[3 * raw] = PaletteComponent(p.blue, p.blue.At(index));
            m_table[3 * raw + 1] = PaletteComponent(p.green, p.green.At(index));
            m_table[3 * raw + 2] = PaletteComponent(p.red, p.red.At(index));
        }
        return;
    }
    m_table.resize(patterns);
    const ModalityTransform& m = values.modality;
    if (m_window && m_function == VoiFunction::Linear && !m.lut && Whole(m.slope) && Whole(m.intercept) &&
        Whole(m_window->width) && Whole(m_window->centre)) {
        // Whole numbers all the way: integer arithmetic, one pattern after another.
        const auto slope = static_cast<std::int64_t>(m.slope);
        const auto intercept = static_cast<std::int64_t>(m.intercept);
        const auto width = static_cast<std::int64_t>(m_window->width);
        const auto centre = static_cast<std::int64_t>(m_window->centre);
        for (std::size_t raw = 0; raw < patterns; ++raw) {
            const std::int64_t v = stored.Of(static_cast<std::uint32_t>(raw)) * slope + intercept;
            const std::uint8_t grey = WholeLinearGrey(v, width, centre);
            m_table[raw] = m_invert ? static_cast<std::uint8_t>(255 - grey) : grey;
        }
        m_copies = GivesEachPatternItself(m_table);
        return;
    }
    for (std::size_t raw = 0; raw < patterns; ++raw) {
        m_table[raw] = GreyOf(m.Apply(static_cast<double>(stored.Of(static_cast<std::uint32_t>(raw)))));
    }
    m_copies = GivesEachPatternItself(m_table);
}

bool FrameRenderer::Draws(const ImageAttributes& attributes, std::int32_t frame, const DisplayState& state) const {
    return &attributes == &m_attributes && frame == m_frame && state == m_state;
}

std::uint8_t FrameRenderer::GreyOf(double value) const {
    std::uint8_t grey = 0;
    if (m_voiLut != nullptr) {
        grey = static_cast<std::uint8_t>(std::lround(m_voiLut->At(value) * 255.0 / m_voiLut->EntryMax()));
    } else if (m_window) {
        const double w = m_window->width;
        const double c = m_window->centre;
        switch (m_function) {
        case VoiFunction::Linear: grey = LinearGrey(value, w, c); break;
        case VoiFunction::LinearExact:
            grey = w == 0 ? 0 : Clamp255(std::floor(((value - c) / w + 0.5) * 255.0 + 0.5));
            break;
        case VoiFunction::Sigmoid:
            grey = w == 0 ? 0 : Clamp255(std::floor(255.0 / (1.0 + std::exp(-4.0 * (value - c) / w)) + 0.5));
            break;
        }
    }
    return m_invert ? static_cast<std::uint8_t>(255 - grey) : grey;
}

std::uint8_t FrameRenderer::GreyAt(const FrameSamples& samples, std::size_t index) const {
    if (m_colour || index >= samples.Pixels() || samples.bytes.size() < (index + 1) * SampleBytes(samples.layout)) {
        return 0;
    }
    if ((samples.layout == SampleLayout::Grey8 || samples.layout == SampleLayout::Grey16) && !m_table.empty()) {
        return m_table[samples.Raw(index)];
    }
    return GreyOf(m_modality->Apply(StoredValueAt(samples, m_attributes, index)));
}

void FrameRenderer::RenderRow(const FrameSamples& samples, std::size_t row, std::size_t left, std::size_t width,
                              std::uint8_t* out) const {
    const std::size_t columns = samples.columns;
    const std::size_t first = row * columns + left;
    const std::uint8_t* in = samples.bytes.data() + first * SampleBytes(samples.layout);
    switch (samples.layout) {
    case SampleLayout::Rgb8:
        for (std::size_t x = 0; x < width; ++x) {
            out[3 * x] = in[3 * x + 2];  // R, G, B in the file; B, G, R in the bitmap
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
        return;
    case SampleLayout::Grey8:
    case SampleLayout::Grey16:
        if (m_table.empty()) break;
        if (m_palette) {
            for (std::size_t x = 0; x < width; ++x) {
                const std::uint32_t raw = samples.layout == SampleLayout::Grey8 ? in[x] : ReadLE16(in + 2 * x);
                std::memcpy(out + 3 * x, m_table.data() + 3 * raw, 3);
            }
        } else if (samples.layout == SampleLayout::Grey8) {
            if (m_copies) {
                std::memcpy(out, in, width);
                return;
            }
            const std::uint8_t* table = m_table.data();
            for (std::size_t x = 0; x < width; ++x)
                out[x] = table[in[x]];
        } else {
            const std::uint8_t* table = m_table.data();
            for (std::size_t x = 0; x < width; ++x)
                out[x] = table[in[2 * x] | (in[2 * x + 1] << 8)];
        }
        return;
    default: break;
    }
    for (std::size_t x = 0; x < width; ++x) {
        out[x] = GreyOf(m_modality->Apply(StoredValueAt(samples, m_attributes, first + x)));
    }
}

Expected<PackedDibPtr> FrameRenderer::Render(const FrameSamples& samples) const {
    const std::uint16_t rows = samples.rows;
    const std::uint16_t columns = samples.columns;
    const std::uint16_t width = BuiltWidth(columns);
    PackedDibPtr dib = m_colour ? CreateRgbDib(width, rows) : CreateGreyDib(width, rows);
    if (!dib) return Reason(DicomNoImage::FrameNotDecoded).About("not enough memory for the picture");
    if (samples.bytes.size() < samples.Pixels() * SampleBytes(samples.layout)) return dib;  // never read past them
    std::uint8_t* bits = DibBits(dib.get());
    const std::uint64_t stride = DibRowStride(dib.get());
    for (std::size_t k = 0; k < rows; ++k) {
        RenderRow(samples, rows - 1 - k, 0, columns, bits + k * stride);
    }
    return dib;
}

void FrameRenderer::RenderPart(const FrameSamples& samples, int left, int top, int width, int height, std::uint8_t* out,
                               std::size_t stride) const {
    if (left < 0 || top < 0 || width <= 0 || height <= 0 || left + width > samples.columns ||
        top + height > samples.rows || samples.bytes.size() < samples.Pixels() * SampleBytes(samples.layout)) {
        return;
    }
    for (int y = 0; y < height; ++y) {
        RenderRow(samples, static_cast<std::size_t>(top) + static_cast<std::size_t>(y), static_cast<std::size_t>(left),
                  static_cast<std::size_t>(width), out + static_cast<std::size_t>(y) * stride);
    }
}

Expected<PackedDibPtr> RenderFrame(const FrameSamples& samples, const ImageAttributes& attributes,
                                   const DisplayState& state) {
    return FrameRenderer(attributes, samples.frame, state).Render(samples);
}
