// Feeds arbitrary bytes to the bitmap reader, then every operation that takes the
// block it returns: the accessors, crop, grey conversion, histogram, and both writers
// into a scratch folder. A block read back from the .bmp written must equal the
// block that was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "dicom/DicomWriter.h"
#include "image/AtomicFileWriter.h"
#include "image/BmpFile.h"
#include "image/CropDib.h"
#include "image/GreyConversion.h"
#include "image/Histogram.h"

namespace {

const std::filesystem::path& ScratchFolder() {
    static const std::filesystem::path folder = [] {
        const std::filesystem::path shm("/dev/shm");
        const std::filesystem::path base = std::filesystem::exists(shm) ? shm : std::filesystem::temp_directory_path();
        std::filesystem::path dir = base / ("dorvanelle-fuzz-bmp-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir;
    }();
    return folder;
}

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void Exercise8Bit(const PackedDib* dib, const std::uint8_t* data, std::size_t size) {
    Histogram bins;
    ComputeHistogram(dib, bins);
    const auto pick = [&](std::size_t i) { return size > i ? static_cast<std::int32_t>(data[i]) - 64 : 0; };
    const DibRect rects[] = {{0, 0, DibWidth(dib), DibHeight(dib)},
                             {pick(20), pick(21), pick(22), pick(23)},
                             {DibWidth(dib) - 1, 0, DibWidth(dib) + 5, 2}};
    for (const DibRect& rect : rects) {
        PackedDibPtr crop = CropDib(rect, dib);
        if (DibBitCount(dib) == 8) {
            Require(crop != nullptr && DibLayoutProblem(crop.get()) == nullptr);
            ComputeHistogram(crop.get(), bins);
        }
    }
}

void ExerciseWriters(const PackedDib* dib) {
    const std::string bmp = (ScratchFolder() / "out.bmp").string();
    if (WriteBmpFile(dib, bmp).written) {
        PackedDibPtr back = ReadBmpFile(bmp);
        Require(back != nullptr && back->Length() == dib->Length() &&
                std::memcmp(back->Bytes(), dib->Bytes(), dib->Length()) == 0);
    }
    std::string stream;
    std::string why;
    if (EncodeDicomStream(dib, stream, &why)) {
        const std::span<const std::uint8_t> pieces[] = {
            {reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()}};
        Require(WriteFileAtomically((ScratchFolder() / "out.dcm").string(), pieces).written);
    } else {
        Require(!why.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string why;
    PackedDibPtr dib = ReadBmpBytes(data, size, &why);
    if (!dib) {
        Require(!why.empty());
        return 0;
    }
    // Whatever the reader returns is a block the rest of the program may trust.
    Require(DibLayoutProblem(dib.get()) == nullptr);
    const std::uint16_t bitCount = DibBitCount(dib.get());
    Require(bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24);

    Exercise8Bit(dib.get(), data, size);
    ExerciseWriters(dib.get());
    if (bitCount == 24) {
        PackedDibPtr copy = PackedDib::Allocate(dib->Length());
        std::memcpy(copy->Bytes(), dib->Bytes(), dib->Length());
        PackedDibPtr grey = ConvertDibTo8Bpp(std::move(copy));
        Require(grey != nullptr && DibBitCount(grey.get()) == 8 && DibHeight(grey.get()) == DibHeight(dib.get()));
        Exercise8Bit(grey.get(), data, size);
        ExerciseWriters(grey.get());
    }
    return 0;
}
