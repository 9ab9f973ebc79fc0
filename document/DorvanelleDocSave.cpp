// Saving a DICOM document's picture as a DICOM file from the viewer: the patient and
// study go with it, as a Secondary Capture in a series of its own. A bitmap or PCX
// picture has neither, and is written as the bare image it always was.
#include <string>

#include "dicom/SecondaryCapture.h"
#include "document/DorvanelleDoc.h"
#include "document/ProgramNames.h"

WriteOutcome CDorvanelleDoc::WriteDicom(const PackedDib* dib, const std::string& path, Placement placement) {
    if (m_kind != DocumentKind::Dicom || !m_bSaveAsSecondaryCapture) return m_dicom.WriteDicomFile(dib, path, placement);
    // The frame's number in the file the image comes from: a slice of a series is a
    // frame of its own file, not the series' n-th.
    std::string derivation = std::string(dib == m_pDib.get() ? "Frame " : "Part of frame ") +
                             std::to_string(FrameInFile() + 1) + " as " + kProgramName + " displayed it";
    if (m_instance && !m_instance->instance.sopInstanceUid.empty())
        derivation += ", from image " + m_instance->instance.sopInstanceUid;
    derivation += DibBitCount(dib) == 24 ? " (24-bit colour)" : " (8-bit grey levels)";
    const SeriesLevel source = m_instance ? m_instance->series : SeriesLevel{};
    return WriteSecondaryCaptureFile(dib, IdentityFrom(source, std::move(derivation)), path, placement);
}
