// dorvanelle-cli stats: the statistics of a region of a frame, computed by the same
// function as the viewer's measurement panel.
#include <cstdio>

#include "document/DorvanelleDoc.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/CliUi.h"
#include "tools/cli/JsonWriter.h"

namespace {

void WriteRect(JsonWriter& json, const DibRect& r) {
    json.BeginObject();
    json.Key("left");
    json.Int(r.left);
    json.Key("top");
    json.Int(r.top);
    json.Key("right");
    json.Int(r.right);
    json.Key("bottom");
    json.Int(r.bottom);
    json.EndObject();
}

void WriteSpacing(JsonWriter& json, const MeasuringSpacing& spacing) {
    json.BeginObject();
    json.Key("source");
    json.String(spacing.SourceName());
    if (spacing.InMillimetres()) {
        json.Key("row");
        json.Double(spacing.row);
        json.Key("column");
        json.Double(spacing.column);
    }
    json.EndObject();
}

}  // namespace

int RunStats(const CliOptions& options) {
    CliUi ui;
    CDorvanelleDoc doc(ui);
    const std::string& path = options.files[0];
    // The region is measured on the frame's values, not cropped from the picture.
    CliOptions opening = options;
    opening.select.reset();
    if (int status = OpenDocument(doc, opening, path); status >= 0) return status;
    const Region region{options.ellipse ? RegionShape::Ellipse : RegionShape::Rectangle,
                        NormalizedRectFromPoints({options.select->left, options.select->top},
                                                 {options.select->right, options.select->bottom})};
    const Expected<RegionStatistics> stats = doc.MeasureRegion(region);
    if (!stats) {
        std::fprintf(stderr, "dorvanelle-cli: %s gives no statistics: %s\n", CDorvanelleDoc::FileTitle(path).c_str(),
                     stats.Why().Text().c_str());
        return exit_status::kInputUnreadable;
    }
    std::string out;
    JsonWriter json(out);
    json.BeginObject();
    json.Key("file");
    json.BytesString(path);
    json.Key("frame");
    json.Int(doc.m_nFrame);
    json.Key("shape");
    json.String(options.ellipse ? "ellipse" : "rectangle");
    json.Key("region");
    WriteRect(json, stats->bounds);
    json.Key("pixels");
    json.Int(static_cast<std::int64_t>(stats->pixels));
    json.Key("mean");
    json.Double(stats->mean);
    json.Key("standard_deviation");
    json.Double(stats->standardDeviation);
    json.Key("minimum");
    json.Double(stats->minimum);
    json.Key("maximum");
    json.Double(stats->maximum);
    json.Key("units");
    if (stats->units.empty()) {
        json.Null();
    } else {
        json.Windows1252String(stats->units);
    }
    json.Key("area");
    json.Double(stats->area);
    json.Key("area_unit");
    json.String(stats->spacing.AreaUnit());
    json.Key("spacing");
    WriteSpacing(json, stats->spacing);
    json.EndObject();
    return Finish(out);
}
