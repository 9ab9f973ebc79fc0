#include "tools/cli/CliDocument.h"

bool OpenWithOptions(CDorvanelleDoc& doc, const CliOptions& options, const std::string& path,
                     std::optional<std::int32_t> frame) {
    const bool dicom = CDorvanelleDoc::KindOfPath(path) == DocumentKind::Dicom;
    if (!frame) frame = options.frame;
    // A DICOM file opens straight at its frame: one read and one render, the same
    // picture as opening at frame 0 and stepping there.
    if (frame && dicom) doc.m_nFrame = *frame;
    if (!doc.OnOpenDocument(path)) return false;
    if (options.frame && !dicom) doc.RefuseFrame(*options.frame);
    if (options.width || options.center) {
        // Both at once are one window, drawn once. A width of 0 is the default window,
        // whose centre a --center given with it replaces.
        DisplayWindow window;
        const std::optional<DisplayWindow> now = doc.CurrentWindow();
        const bool defaultWidth = options.width && *options.width == 0;
        window = (defaultWidth || !now) ? doc.DefaultWindow() : *now;
        if (options.width && *options.width != 0) window.width = *options.width;
        if (options.center) window.centre = *options.center;
        doc.SetWindow(window, options.select);
    }
    if (options.select) doc.CropSelection(*options.select);
    return true;
}

const PackedDib* PictureToWrite(const CDorvanelleDoc& doc, const CliOptions& options) {
    if (!options.select) return doc.m_pDib.get();
    const PackedDib* selected = doc.m_pSelectedDib.get();
    return DibWidth(selected) == 0 || DibHeight(selected) == 0 ? nullptr : selected;
}
