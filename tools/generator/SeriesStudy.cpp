#include "tools/generator/SeriesStudy.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <numeric>
#include <vector>

#include "tools/dicomstream/DicomStreamBuilder.h"
#include "tools/generator/PhantomStudy.h"

extern char** environ;

namespace {

constexpr const char* kRoot = "2.25.314159265358979323846264338327950288";

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::vector<std::uint8_t> SliceFile(const SeriesStudyOptions& o, std::uint32_t series, std::uint32_t slice) {
    const std::string instanceUid =
        std::string(kRoot) + ".4." + std::to_string(series + 1) + "." + std::to_string(slice + 1);
    const double z = SeriesStudySpacing(series) * slice;
    DicomStreamBuilder b;
    b.Preamble()
        .MetaGroup(kExplicitVrLittleEndian, kCtImageStorage, instanceUid)
        .ExplicitText(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY\\AXIAL")
        .ExplicitText(0x0008, 0x0016, "UI", kCtImageStorage)
        .ExplicitText(0x0008, 0x0018, "UI", instanceUid)
        .ExplicitText(0x0008, 0x0020, "DA", "20261207")
        .ExplicitText(0x0008, 0x0030, "TM", "101500")
        .ExplicitText(0x0008, 0x0050, "SH", "ACC0001")
        .ExplicitText(0x0008, 0x0060, "CS", "CT")
        .ExplicitText(0x0008, 0x0070, "LO", "Dorvanelle generator")
        .ExplicitText(0x0008, 0x1030, "LO", "Phantom series study")
        .ExplicitText(0x0008, 0x103E, "LO", "Axial S" + std::to_string(series + 1))
        .ExplicitText(0x0010, 0x0010, "PN", o.patientName)
        .ExplicitText(0x0010, 0x0020, "LO", "PHANTOM-0002")
        .ExplicitText(0x0010, 0x0030, "DA", "19700101")
        .ExplicitText(0x0010, 0x0040, "CS", "O")
        .ExplicitText(0x0018, 0x0050, "DS", Number(SeriesStudySpacing(series)))
        .ExplicitText(0x0020, 0x000D, "UI", std::string(kRoot) + ".2.1")
        .ExplicitText(0x0020, 0x000E, "UI", SeriesStudySeriesUid(series))
        .ExplicitText(0x0020, 0x0010, "SH", "1")
        .ExplicitText(0x0020, 0x0011, "IS", std::to_string(series + 1))
        .ExplicitText(0x0020, 0x0013, "IS", std::to_string(slice + 1))
        .ExplicitText(0x0020, 0x0032, "DS", "-89.6\\-89.6\\" + Number(z))
        .ExplicitText(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0")
        .ExplicitText(0x0020, 0x1041, "DS", Number(z))
        .ExplicitUS(0x0028, 0x0002, 1)
        .ExplicitText(0x0028, 0x0004, "CS", "MONOCHROME2")
        .ExplicitUS(0x0028, 0x0010, o.rows)
        .ExplicitUS(0x0028, 0x0011, o.columns)
        .ExplicitText(0x0028, 0x0030, "DS", "0.7\\0.7")
        .ExplicitUS(0x0028, 0x0100, 16)
        .ExplicitUS(0x0028, 0x0101, 16)
        .ExplicitUS(0x0028, 0x0102, 15)
        .ExplicitUS(0x0028, 0x0103, 1)
        .ExplicitText(0x0028, 0x1050, "DS", "40")
        .ExplicitText(0x0028, 0x1051, "DS", "400")
        .ExplicitText(0x0028, 0x1052, "DS", "-1024")
        .ExplicitText(0x0028, 0x1053, "DS", "1");
    PhantomOptions phantom;
    phantom.rows = o.rows;
    phantom.columns = o.columns;
    phantom.frames = o.slices;
    std::vector<std::uint8_t> pixels(std::size_t{o.rows} * o.columns * 2);
    std::size_t at = 0;
    for (std::uint16_t r = 0; r < o.rows; ++r) {
        for (std::uint16_t c = 0; c < o.columns; ++c) {
            const auto v = static_cast<std::uint16_t>(PhantomSample(phantom, slice, r, c));
            pixels[at++] = static_cast<std::uint8_t>(v);
            pixels[at++] = static_cast<std::uint8_t>(v >> 8);
        }
    }
    b.Explicit(0x7FE0, 0x0010, "OW", pixels);
    return b.Bytes();
}

// The order of `count` names: shuffled by a fixed generator, so that every run
// writes the same study.
std::vector<std::uint32_t> NameOrder(std::uint32_t count, bool shuffle) {
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    if (!shuffle) {
        return order;
    }
    std::uint64_t state = 0x2545F4914F6CDD1Dull;
    for (std::uint32_t i = count; i > 1; --i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const auto j = static_cast<std::uint32_t>((state >> 33) % i);
        std::swap(order[i - 1], order[j]);
    }
    return order;
}

// Runs dcmmkdir in `folder` over the files named; empty when it made the DICOMDIR.
std::string RunDcmmkdir(const std::string& folder, const std::vector<std::string>& names) {
    std::vector<std::string> args = {"dcmmkdir", "--quiet", "--output-file", "DICOMDIR", "--invent"};
    args.insert(args.end(), names.begin(), names.end());
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "dcmmkdir", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return "dcmmkdir could not be started (DCMTK's tools are in Debian's package dcmtk)";
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "dcmmkdir failed to make the DICOMDIR";
    }
    return {};
}

}  // namespace

std::string SeriesStudySeriesUid(std::uint32_t series) { return std::string(kRoot) + ".3." + std::to_string(series + 1); }

double SeriesStudySpacing(std::uint32_t series) { return 1.25 * (series + 1); }

std::string WriteSeriesStudy(const std::string& folder, const SeriesStudyOptions& options) {
    const std::uint64_t files = std::uint64_t{options.series} * options.slices;
    if (files == 0 || files > 999999) {
        return "a study holds between 1 and 999999 files";
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder)) {
        return "the folder " + folder + " cannot be made";
    }
    const std::vector<std::uint32_t> order = NameOrder(static_cast<std::uint32_t>(files), options.shuffle);
    std::vector<std::string> names;
    names.reserve(order.size());
    for (std::uint32_t i = 0; i < files; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "IM%06u", static_cast<unsigned>(order[i] + 1));
        names.emplace_back(name);
        const auto series = static_cast<std::uint32_t>(i / options.slices);
        const auto slice = static_cast<std::uint32_t>(i % options.slices);
        DicomStreamBuilder file;
        file.Raw(SliceFile(options, series, slice));
        if (!file.WriteTo(folder + "/" + names.back())) {
            return "cannot write " + folder + "/" + names.back();
        }
    }
    if (options.dicomDir) {
        std::filesystem::remove(folder + "/DICOMDIR", error);
        return RunDcmmkdir(folder, names);
    }
    return {};
}
