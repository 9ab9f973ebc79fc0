// What the document needs from whatever shows it: the viewer, the command-line
// tool and the tests each implement this.
#pragma once

#include <string>

class CDorvanelleDoc;

class IDocumentUi {
public:
    virtual ~IDocumentUi() = default;

    // Bring the control panel into step with `doc`: slider ranges and positions from
    // its reader, the value labels, the preview and both histograms.
    virtual void UpdateControlPanel(const CDorvanelleDoc& doc) = 0;
    // Clear the control panel (a document was closed).
    virtual void ClearControlPanel() = 0;
    // A notice the user acknowledges before the document goes on, such as
    // "The Image Will be Converted to 8 bpp !!".
    virtual void ShowNotice(const std::string& text) = 0;
    // Something the user must be told went wrong: a save that could not be written,
    // nothing to save, or why a file gave no image.
    virtual void ReportProblem(const std::string& text) = 0;
};
