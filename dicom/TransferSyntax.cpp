#include "dicom/TransferSyntax.h"

namespace {

constexpr auto kJ = FrameCodec::Jpeg;
constexpr auto kLs = FrameCodec::JpegLs;
constexpr auto kJ2k = FrameCodec::Jpeg2000;
constexpr auto kRle = FrameCodec::Rle;
constexpr auto kHt = FrameCodec::HtJpeg2000;
constexpr auto kJxl = FrameCodec::JpegXl;

const TransferSyntax kSyntaxes[] = {
    {"1.2.840.10008.1.2", "Implicit VR Little Endian", SyntaxKind::ImplicitLittle, kJ, nullptr},
    {"1.2.840.10008.1.2.1", "Explicit VR Little Endian", SyntaxKind::ExplicitLittle, kJ, nullptr},
    {"1.2.840.10008.1.2.1.99", "Deflated Explicit VR Little Endian", SyntaxKind::DeflatedLittle, kJ, nullptr},
    {"1.2.840.10008.1.2.2", "Explicit VR Big Endian", SyntaxKind::ExplicitBig, kJ, nullptr},
    {"1.2.840.10008.1.2.4.50", "JPEG Baseline", SyntaxKind::Encapsulated, kJ, nullptr},
    {"1.2.840.10008.1.2.4.51", "JPEG Extended", SyntaxKind::Encapsulated, kJ, nullptr},
    // Retired JPEG processes: the same decoder reads what their writers produced.
    {"1.2.840.10008.1.2.4.52", "JPEG Extended (retired)", SyntaxKind::Encapsulated, kJ, nullptr},
    {"1.2.840.10008.1.2.4.53", "JPEG Spectral Selection (retired)", SyntaxKind::Encapsulated, kJ, nullptr},
    {"1.2.840.10008.1.2.4.54", "JPEG Spectral Selection (retired)", SyntaxKind::Encapsulated, kJ, nullptr},
    {"1.2.840.10008.1.2.4.55", "JPEG Full Progression (retired)", SyntaxKind::Encapsulated, kJ, nullptr},
    {"1.2.840.10008.1.2.4.56", "JPEG Full Progression (retired)", SyntaxKind::Encapsulated, kJ, nullptr},
    {"1.2.840.10008.1.2.4.57", "JPEG Lossless", SyntaxKind::Encapsulated, kJ, nullptr},
    {"1.2.840.10008.1.2.4.58", "JPEG Lossless (retired)", SyntaxKind::Encapsulated, kJ, nullptr},
    {"1.2.840.10008.1.2.4.70", "JPEG Lossless, First-Order Prediction", SyntaxKind::Encapsulated, kJ, nullptr},
    {"1.2.840.10008.1.2.4.80", "JPEG-LS Lossless", SyntaxKind::Encapsulated, kLs, nullptr},
    {"1.2.840.10008.1.2.4.81", "JPEG-LS Near-Lossless", SyntaxKind::Encapsulated, kLs, nullptr},
    {"1.2.840.10008.1.2.4.90", "JPEG 2000 Lossless", SyntaxKind::Encapsulated, kJ2k, nullptr},
    {"1.2.840.10008.1.2.4.91", "JPEG 2000", SyntaxKind::Encapsulated, kJ2k, nullptr},
    {"1.2.840.10008.1.2.4.92", "JPEG 2000 Multi-component Lossless", SyntaxKind::NotShown, kJ2k,
     "JPEG 2000 with multi-component extensions"},
    {"1.2.840.10008.1.2.4.93", "JPEG 2000 Multi-component", SyntaxKind::NotShown, kJ2k,
     "JPEG 2000 with multi-component extensions"},
    {"1.2.840.10008.1.2.4.94", "JPIP Referenced", SyntaxKind::NotShown, kJ2k,
     "a JPIP reference to pixel data held elsewhere"},
    {"1.2.840.10008.1.2.4.95", "JPIP Referenced Deflate", SyntaxKind::NotShown, kJ2k,
     "a JPIP reference to pixel data held elsewhere"},
    {"1.2.840.10008.1.2.4.100", "MPEG2 Main Profile", SyntaxKind::NotShown, kJ, "MPEG-2 video"},
    {"1.2.840.10008.1.2.4.101", "MPEG2 High Profile", SyntaxKind::NotShown, kJ, "MPEG-2 video"},
    {"1.2.840.10008.1.2.4.102", "MPEG-4 AVC/H.264 High Profile", SyntaxKind::NotShown, kJ, "MPEG-4 AVC/H.264 video"},
    {"1.2.840.10008.1.2.4.103", "MPEG-4 AVC/H.264 BD-compatible", SyntaxKind::NotShown, kJ, "MPEG-4 AVC/H.264 video"},
    {"1.2.840.10008.1.2.4.104", "MPEG-4 AVC/H.264 2D Video", SyntaxKind::NotShown, kJ, "MPEG-4 AVC/H.264 video"},
    {"1.2.840.10008.1.2.4.105", "MPEG-4 AVC/H.264 3D Video", SyntaxKind::NotShown, kJ, "MPEG-4 AVC/H.264 video"},
    {"1.2.840.10008.1.2.4.106", "MPEG-4 AVC/H.264 Stereo", SyntaxKind::NotShown, kJ, "MPEG-4 AVC/H.264 video"},
    {"1.2.840.10008.1.2.4.107", "HEVC/H.265 Main Profile", SyntaxKind::NotShown, kJ, "HEVC/H.265 video"},
    {"1.2.840.10008.1.2.4.108", "HEVC/H.265 Main 10 Profile", SyntaxKind::NotShown, kJ, "HEVC/H.265 video"},
    {"1.2.840.10008.1.2.4.110", "JPEG XL Lossless", SyntaxKind::Encapsulated, kJxl, nullptr},
    {"1.2.840.10008.1.2.4.111", "JPEG XL JPEG Recompression", SyntaxKind::Encapsulated, kJxl, nullptr},
    {"1.2.840.10008.1.2.4.112", "JPEG XL", SyntaxKind::Encapsulated, kJxl, nullptr},
    {"1.2.840.10008.1.2.4.201", "High-Throughput JPEG 2000 Lossless", SyntaxKind::Encapsulated, kHt, nullptr},
    {"1.2.840.10008.1.2.4.202", "High-Throughput JPEG 2000 RPCL Lossless", SyntaxKind::Encapsulated, kHt, nullptr},
    {"1.2.840.10008.1.2.4.203", "High-Throughput JPEG 2000", SyntaxKind::Encapsulated, kHt, nullptr},
    {"1.2.840.10008.1.2.5", "RLE Lossless", SyntaxKind::Encapsulated, kRle, nullptr},
    {"1.2.840.10008.1.2.1.98", "Encapsulated Uncompressed Explicit VR Little Endian", SyntaxKind::NotShown, kJ,
     "uncompressed frames in fragments"},
};

}  // namespace

const TransferSyntax* FindTransferSyntax(std::string_view uid) {
    while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) {
        uid.remove_suffix(1);
    }
    for (const TransferSyntax& syntax : kSyntaxes) {
        if (uid == syntax.uid) {
            return &syntax;
        }
    }
    return nullptr;
}
