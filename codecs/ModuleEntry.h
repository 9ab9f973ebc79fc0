// The entry point of a decoder module: the table the core loads, whose two
// functions hand the request to the module's own probe and decoder and turn their
// reason into plain data. Nothing is thrown across: the libraries report memory
// exhaustion by throwing, and anything thrown ends here.
//
// A module defines its probe and decoder over the codecs it serves and exports
//   extern "C" DORVANELLE_DECODERS_ENTRY const DecoderTable* dorvanelle_decoders_NAME() {
//       return &ModuleTable<&Probe, &Decode>::kTable;
//   }
#pragma once

#include "codecs/DecoderParts.h"
#include "codecs/DecoderTable.h"

#define DORVANELLE_DECODERS_ENTRY __attribute__((visibility("default")))

using ModuleProbe = bool (*)(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameGeometry& geometry,
                             std::uint8_t reduce, FrameProbe& probe, Reason* why);
using ModuleDecode = bool (*)(FrameCodec codec, std::span<const std::uint8_t> stream, const FrameJob& job,
                              FrameOutput& out, Reason* why);

// A codec that the module was not built for (the core never asks for one).
bool NotServedHere(FrameCodec codec, Reason* why);

int ProbeInModule(ModuleProbe probe, const DecodeRequest* request, const std::uint8_t* stream,
                  std::size_t streamSize, const FrameGeometry* geometry, FrameProbe* result,
                  DecodeFailureRecord* failure) noexcept;
int DecodeInModule(ModuleDecode decode, const DecodeRequest* request, const std::uint8_t* stream,
                   std::size_t streamSize, const FrameGeometry* geometry, const FrameProbe* probe,
                   std::uint8_t* samples, std::size_t samplesSize, std::uint8_t* convertedToRgb,
                   DecodeFailureRecord* failure) noexcept;

template <ModuleProbe probe, ModuleDecode decode>
struct ModuleTable {
    static int Probe(const DecodeRequest* request, const std::uint8_t* stream, std::size_t streamSize,
                     const FrameGeometry* geometry, FrameProbe* result, DecodeFailureRecord* failure) noexcept {
        return ProbeInModule(probe, request, stream, streamSize, geometry, result, failure);
    }
    static int Decode(const DecodeRequest* request, const std::uint8_t* stream, std::size_t streamSize,
                      const FrameGeometry* geometry, const FrameProbe* result,
                      std::uint8_t* samples,  // NOLINT(readability-non-const-parameter): the decoder writes it
                      std::size_t samplesSize, std::uint8_t* convertedToRgb, DecodeFailureRecord* failure) noexcept {
        return DecodeInModule(decode, request, stream, streamSize, geometry, result, samples, samplesSize,
                              convertedToRgb, failure);
    }
    static constexpr DecoderTable kTable{kDecoderTableVersion, sizeof(DecoderTable), &Probe, &Decode};
};
