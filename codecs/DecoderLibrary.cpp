#include "codecs/DecoderLibrary.h"

#include "codecs/JpegStream.h"

DecoderLibrary DecoderLibraryFor(FrameCodec codec, std::span<const std::uint8_t> stream) {
    switch (codec) {
    case FrameCodec::Jpeg: {
        JpegFrameHeader header;
        return !ReadJpegFrameHeader(stream, header) || header.EightBitLossy() ? DecoderLibrary::LibjpegTurbo
                                                                               : DecoderLibrary::Dcmtk;
    }
    case FrameCodec::JpegLs: return DecoderLibrary::CharLs;
    case FrameCodec::Jpeg2000:
    case FrameCodec::HtJpeg2000: return DecoderLibrary::OpenJpeg;
    case FrameCodec::Rle: return DecoderLibrary::Dcmtk;
    case FrameCodec::JpegXl: return DecoderLibrary::Libjxl;
    }
    return DecoderLibrary::Dcmtk;
}

const char* DecoderModuleFile(DecoderLibrary library) {
    switch (library) {
    case DecoderLibrary::LibjpegTurbo: return "dorvanelle-codecs-libjpeg-turbo.so";
    case DecoderLibrary::Dcmtk: return "dorvanelle-codecs-dcmtk.so";
    case DecoderLibrary::CharLs: return "dorvanelle-codecs-charls.so";
    case DecoderLibrary::OpenJpeg: return "dorvanelle-codecs-openjpeg.so";
    case DecoderLibrary::Libjxl: return "dorvanelle-codecs-libjxl.so";
    }
    return "";
}

const char* DecoderModuleEntry(DecoderLibrary library) {
    switch (library) {
    case DecoderLibrary::LibjpegTurbo: return "dorvanelle_decoders_libjpeg_turbo";
    case DecoderLibrary::Dcmtk: return "dorvanelle_decoders_dcmtk";
    case DecoderLibrary::CharLs: return "dorvanelle_decoders_charls";
    case DecoderLibrary::OpenJpeg: return "dorvanelle_decoders_openjpeg";
    case DecoderLibrary::Libjxl: return "dorvanelle_decoders_libjxl";
    }
    return "";
}
