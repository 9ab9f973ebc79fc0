// Feeds arbitrary bytes to the bitmap reader, then every operation that takes the
// block it returns: the accessors, crop, grey conversion, histogram, and both writers
// into a scratch folder. A block read back from the .bmp written must equal the
// block that was written, and the .dcm written must open with the same picture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "dicom/DicomFile.h"
#include "dicom/FrameRender.h"
#include "image/BmpFile.h"
#include "image/CropDib.h"
#include "image/GreyConversion.h"
#include "image/Histogram.h"
#include "io/ByteOrder.h"

namespace {

// One folder per process for the written files, removed when the process ends.
class ScratchFolderOwner {
public:
    ScratchFolderOwner() {
        const std::filesystem::path shm("/dev/shm");
        const std::filesystem::path base = std::filesystem::exists(shm) ? shm : std::filesystem::temp_directory_path();
        m_path = base / ("dorvanelle-fuzz-bmp-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolderOwner() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolderOwner(const ScratchFolderOwner&) = delete;
    ScratchFolderOwner& operator=(const ScratchFolderOwner&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

const std::filesystem::path& ScratchFolder() {
    static const ScratchFolderOwner folder;
    return folder.Path();
}

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void ExerciseCropAndHistogram(const PackedDib* dib, const std::uint8_t* data, std::size_t size) {
    Histogram bins;
    ComputeHistogram(dib, bins);
    const auto pick = [&](std::size_t i) { return size > i ? static_cast<std::int32_t>(data[i]) - 64 : 0; };
    const DibRect rects[] = {{0, 0, DibWidth(dib), DibHeight(dib)},
                             {pick(20), pick(21), pick(22), pick(23)},
                             {DibWidth(dib) - 1, 0, DibWidth(dib) + 5, 2}};
    for (const DibRect& rect : rects) {
        PackedDibPtr crop = CropDib(rect, dib);
        if (DibBitCount(dib) == 8) {
            Require(crop != nullptr && DibIsComplete(crop.get()));
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
    // A saved .dcm opens again with the size and pixels of the bitmap (for 8 and 24 bits).
    const std::string dcm = (ScratchFolder() / "out.dcm").string();
    CDicomFile writer;
    const WriteOutcome outcome = writer.WriteDicomFile(dib, dcm);
    if (!outcome.written) {
        Require(static_cast<bool>(outcome.reason) && !outcome.reason.Text().empty());
        return;
    }
    CDicomFile reader;
    Require(reader.LoadFile(dcm) == 0);
    reader.ParseElements(reader.DetectLayout());
    Require(reader.Attributes()->rows == DibHeight(dib) && reader.Attributes()->columns == DibWidth(dib));
    auto samples = reader.Frames()->Frame(0);
    PackedDibPtr frame;
    if (samples) {
        auto drawn = RenderFrame(**samples, *reader.Attributes(), DisplayState());
        frame = drawn ? std::move(drawn).Take() : nullptr;
    }
    if (DibWidth(dib) == 0 || DibHeight(dib) == 0) {
        return;  // no rows or columns: no frame to compare
    }
    Require(frame != nullptr && DibBitCount(frame.get()) == DibBitCount(dib));
    const std::uint64_t rowBytes = std::uint64_t{DibWidth(dib)} * DibBitCount(dib) / 8;
    for (std::uint32_t r = 0; r < DibHeight(dib); ++r) {
        Require(std::memcmp(DibBits(frame.get()) + r * DibRowStride(frame.get()), DibBits(dib) + r * DibRowStride(dib),
                            rowBytes) == 0);
    }
}

// The input's bytes after the first three as run-length commands of a small 4- or
// 8-bit bitmap whose size the first three bytes give, so that the commands are
// explored without the fuzzer having to find a header first.
void ExerciseRunLengthCommands(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return;
    }
    const std::uint16_t bitCount = (data[0] & 1) != 0 ? 4 : 8;
    const std::uint32_t width = data[1];
    const std::uint32_t height = data[2];
    const std::uint32_t tableSize = (1u << bitCount) * 4;
    std::string file(14 + 40 + tableSize, '\0');
    auto* bytes = reinterpret_cast<std::uint8_t*>(file.data());
    bytes[0] = 'B';
    bytes[1] = 'M';
    WriteLE32(bytes + 14, 40);
    WriteLE32(bytes + 18, width);
    WriteLE32(bytes + 22, (data[0] & 2) != 0 ? static_cast<std::uint32_t>(-static_cast<std::int32_t>(height)) : height);
    WriteLE16(bytes + 26, 1);
    WriteLE16(bytes + 28, bitCount);
    WriteLE32(bytes + 30, bitCount == 8 ? 1 : 2);
    file.append(reinterpret_cast<const char*>(data + 3), size - 3);
    Reason why;
    PackedDibPtr dib = ReadBmpBytes(reinterpret_cast<const std::uint8_t*>(file.data()), file.size(), &why);
    if (!dib) {
        Require(static_cast<bool>(why) && !why.Text().empty());
        return;
    }
    Require(DibIsComplete(dib.get()) && DibBitCount(dib.get()) == bitCount && DibWidth(dib.get()) == width &&
            DibHeight(dib.get()) == height);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ExerciseRunLengthCommands(data, size);
    Reason why;
    PackedDibPtr dib = ReadBmpBytes(data, size, &why);
    if (!dib) {
        Require(static_cast<bool>(why) && !why.Text().empty());
        return 0;
    }
    // Whatever the reader returns is a block the rest of the program may trust.
    Require(DibIsComplete(dib.get()));
    const std::uint16_t bitCount = DibBitCount(dib.get());
    Require(bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24);

    ExerciseCropAndHistogram(dib.get(), data, size);
    ExerciseWriters(dib.get());
    if (bitCount == 24) {
        PackedDibPtr copy = PackedDib::Allocate(dib->Length());
        std::memcpy(copy->Bytes(), dib->Bytes(), dib->Length());
        PackedDibPtr grey = ConvertDibTo8Bpp(std::move(copy));
        Require(grey != nullptr && DibBitCount(grey.get()) == 8 && DibHeight(grey.get()) == DibHeight(dib.get()));
        ExerciseCropAndHistogram(grey.get(), data, size);
        ExerciseWriters(grey.get());
    }
    return 0;
}
