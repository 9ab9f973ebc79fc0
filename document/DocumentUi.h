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
    // "The Image Will be Converted to 8 bpp !!". What goes wrong is not told here:
    // the document's calls return it as a reason, and their callers say it.
    virtual void ShowNotice(const std::string& text) = 0;
};
