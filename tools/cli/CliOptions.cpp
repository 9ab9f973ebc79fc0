#include "tools/cli/CliOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

struct SubcommandName {
    const char* name;
    Subcommand subcommand;
    std::size_t fileCount;
};

const SubcommandName kSubcommands[] = {
    {"info", Subcommand::Info, 1},
    {"convert", Subcommand::Convert, 2},
    {"dump", Subcommand::Dump, 1},
    {"histogram", Subcommand::Histogram, 1},
    {"index", Subcommand::Index, 1},
    {"stats", Subcommand::Stats, 1},
};

// A whole decimal number that fits in 32 bits, sign allowed.
bool ParseInt32(std::string_view text, std::int32_t& value) {
    std::string copy(text);
    if (copy.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(copy.c_str(), &end, 10);
    if (errno != 0 || end != copy.c_str() + copy.size() || copy[0] == ' ') return false;
    if (parsed < std::numeric_limits<std::int32_t>::min() || parsed > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(parsed);
    return true;
}

// A finite decimal number, sign and fraction allowed ("-600", "0.25", "1e3").
bool ParseNumber(std::string_view text, double& value) {
    std::string copy(text);
    if (copy.empty() || copy[0] == ' ') return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(copy.c_str(), &end);
    if (errno != 0 || end != copy.c_str() + copy.size() || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

bool ParseRect(std::string_view text, DibRect& rect) {
    std::int32_t values[4];
    for (int i = 0; i < 4; ++i) {
        std::size_t comma = text.find(',');
        bool last = i == 3;
        if (last != (comma == std::string_view::npos)) return false;
        if (!ParseInt32(text.substr(0, comma), values[i])) return false;
        if (!last) text.remove_prefix(comma + 1);
    }
    rect = {values[0], values[1], values[2], values[3]};
    return true;
}

// A memory size: a whole number of MiB, or of GiB with the suffix G ("512", "512M",
// "2G"), from 16 MiB to 1 TiB.
bool ParseMemorySize(std::string_view text, std::uint64_t& bytes) {
    std::uint64_t unit = std::uint64_t{1} << 20;
    if (text.ends_with("MiB") || text.ends_with("GiB")) {
        text.remove_suffix(2);
    }
    if (text.ends_with('M') || text.ends_with('G')) {
        unit = text.ends_with('G') ? std::uint64_t{1} << 30 : unit;
        text.remove_suffix(1);
    }
    std::int32_t count = 0;
    if (!ParseInt32(text, count) || count <= 0) return false;
    bytes = static_cast<std::uint64_t>(count) * unit;
    return bytes >= (std::uint64_t{16} << 20) && bytes <= (std::uint64_t{1} << 40);
}

bool TakesDocumentOptions(Subcommand subcommand) {
    return subcommand == Subcommand::Info || subcommand == Subcommand::Convert || subcommand == Subcommand::Histogram ||
           subcommand == Subcommand::Stats;
}

// Stores the value of a document option; false with `error` set when it is malformed.
bool StoreValue(CliOptions& options, std::string_view name, std::string_view value, std::string& error) {
    std::int32_t number = 0;
    if (name == "--select") {
        DibRect rect;
        if (!ParseRect(value, rect)) {
            error = "--select wants four whole numbers L,T,R,B, not \"" + std::string(value) + "\"";
            return false;
        }
        options.select = rect;
        return true;
    }
    if (name == "--width" || name == "--center") {
        // A window is in the image's modality values, which need not be whole numbers.
        double window = 0;
        if (!ParseNumber(value, window)) {
            error = std::string(name) + " wants a number, not \"" + std::string(value) + "\"";
            return false;
        }
        // A window has no negative width: the slider stops at 0, which is the
        // default window, and a negative one would draw a half-inverted picture.
        if (name == "--width" && window < 0) {
            error = "--width wants a width of 0 or more (0 is the default window), not \"" + std::string(value) + "\"";
            return false;
        }
        (name == "--width" ? options.width : options.center) = window;
        return true;
    }
    if (name == "--memory-limit") {
        std::uint64_t bytes = 0;
        if (!ParseMemorySize(value, bytes)) {
            error = "--memory-limit wants a size from 16M to 1024G (a number of MiB, or of GiB with G), not \"" +
                    std::string(value) + "\"";
            return false;
        }
        options.memoryLimit = bytes;
        return true;
    }
    if (!ParseInt32(value, number)) {
        error = std::string(name) + " wants a whole number, not \"" + std::string(value) + "\"";
        return false;
    }
    options.frame = number;
    return true;
}

bool IsDocumentOption(std::string_view name) {
    return name == "--frame" || name == "--width" || name == "--center" || name == "--select" ||
           name == "--memory-limit";
}

// The options of convert --out-dir; "-j4" is "-j 4".
bool IsBatchOption(std::string_view name) {
    return name == "--out-dir" || name == "--format" || name == "--all-frames" || name == "--by-series" ||
           name == "--jobs" || name.starts_with("-j");
}

bool StoreBatchValue(CliOptions& options, std::string_view name, std::string_view value, std::string& error) {
    if (name == "--out-dir") {
        if (value.empty()) {
            error = "--out-dir needs a folder";
            return false;
        }
        options.outDir = value;
    } else if (name == "--format") {
        if (value != "bmp" && value != "dcm") {
            error = "--format is bmp or dcm, not \"" + std::string(value) + "\"";
            return false;
        }
        options.format = value;
    } else {
        std::int32_t jobs = 0;
        if (!ParseInt32(value, jobs) || jobs < 1 || jobs > 256) {
            error = "-j wants a number of jobs from 1 to 256, not \"" + std::string(value) + "\"";
            return false;
        }
        options.jobs = jobs;
    }
    return true;
}

// The files a subcommand takes: at least `least`, at most `most`.
struct FileCount {
    std::size_t least;
    std::size_t most;
};

FileCount FilesTaken(const CliOptions& options, std::size_t declared) {
    constexpr std::size_t kAny = static_cast<std::size_t>(-1);
    switch (options.subcommand) {
    case Subcommand::Info:
    case Subcommand::Dump:
    case Subcommand::Index: return {1, kAny};
    case Subcommand::Convert: return options.IsBatch() ? FileCount{1, kAny} : FileCount{2, 2};
    default: break;
    }
    return {declared, declared};
}

// Options that only make sense together; empty when the combination is sound.
std::string CombinationFault(const CliOptions& options, bool batchOptionSeen) {
    if (batchOptionSeen && !options.IsBatch()) return "--format, --all-frames, --by-series and -j need --out-dir";
    if (options.allFrames && options.frame) return "--frame and --all-frames exclude each other";
    if (options.bySeries && (options.allFrames || options.frame))
        return "--by-series writes every slice: --frame and --all-frames do not go with it";
    if (options.subcommand == Subcommand::Stats && !options.select) return "stats needs --select L,T,R,B";
    return {};
}

}  // namespace

std::optional<CliOptions> ParseCommandLine(int argc, const char* const* argv, std::string& error) {
    CliOptions options;
    if (argc < 2) {
        error = "no subcommand given";
        return std::nullopt;
    }
    std::string_view first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        options.help = true;
        return options;
    }
    if (first == "--version") {
        options.version = true;
        return options;
    }
    std::size_t fileCount = 0;
    for (const SubcommandName& entry : kSubcommands) {
        if (first == entry.name) {
            options.subcommand = entry.subcommand;
            fileCount = entry.fileCount;
        }
    }
    if (options.subcommand == Subcommand::None) {
        error = "unknown subcommand \"" + std::string(first) + "\"";
        return std::nullopt;
    }

    // The value of option `name`: after "=", or else the next argument taken as it
    // stands, even when it starts with "-".
    auto takeValue = [&](int& i, std::string_view arg, std::size_t equals,
                         std::string_view name) -> std::optional<std::string_view> {
        if (equals != std::string_view::npos) return arg.substr(equals + 1);
        if (i + 1 < argc) return std::string_view(argv[++i]);
        error = std::string(name) + " needs a value";
        return std::nullopt;
    };

    bool optionsEnded = false;
    bool batchOptionSeen = false;
    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.files.emplace_back(arg);
            continue;
        }
        std::size_t equals = arg.find('=');
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--json" && options.subcommand == Subcommand::Dump) {
            options.json = true;
        } else if (arg == "--ellipse" && options.subcommand == Subcommand::Stats) {
            options.ellipse = true;
        } else if (arg == "--instances" && options.subcommand == Subcommand::Index) {
            options.instances = true;
        } else if (options.subcommand == Subcommand::Index && (arg == "--jobs" || arg.starts_with("-j"))) {
            std::optional<std::string_view> value;
            if (arg.starts_with("-j") && arg.size() > 2 && arg != "--jobs") {
                value = arg.substr(2);
            } else {
                value = takeValue(i, arg, std::string_view::npos, arg);
            }
            if (!value || !StoreBatchValue(options, "-j", *value, error)) return std::nullopt;
        } else if (TakesDocumentOptions(options.subcommand) && IsDocumentOption(arg.substr(0, equals))) {
            std::string_view name = arg.substr(0, equals);
            std::optional<std::string_view> value = takeValue(i, arg, equals, name);
            if (!value || !StoreValue(options, name, *value, error)) return std::nullopt;
        } else if (options.subcommand == Subcommand::Convert && IsBatchOption(arg.substr(0, equals))) {
            std::string_view name = arg.substr(0, equals);
            if (name != "--out-dir") batchOptionSeen = true;
            if (name == "--all-frames" || name == "--by-series") {
                if (equals != std::string_view::npos) {
                    error = std::string(name) + " takes no value";
                    return std::nullopt;
                }
                (name == "--all-frames" ? options.allFrames : options.bySeries) = true;
                continue;
            }
            std::optional<std::string_view> value;
            if (name.starts_with("-j") && name.size() > 2) {
                value = name.substr(2);
                name = "-j";
            } else {
                value = takeValue(i, arg, equals, name);
            }
            if (!value || !StoreBatchValue(options, name, *value, error)) return std::nullopt;
        } else {
            error = "unknown option \"" + std::string(arg) + "\" for " + std::string(first);
            return std::nullopt;
        }
    }
    if (options.help) return options;
    if (error = CombinationFault(options, batchOptionSeen); !error.empty()) return std::nullopt;
    FileCount count = FilesTaken(options, fileCount);
    if (options.files.size() < count.least) {
        error = std::string(first) + (count.least == 2 ? " needs an input and an output file" : " needs a file");
        return std::nullopt;
    }
    for (const std::string& file : options.files) {
        if (file.empty()) {
            error = "a file name is empty";
            return std::nullopt;
        }
    }
    if (options.files.size() > count.most) {
        error = "unexpected argument \"" + options.files[count.most] + "\"";
        return std::nullopt;
    }
    return options;
}

const char* UsageText(Subcommand subcommand) {
    switch (subcommand) {
    case Subcommand::Info:
        return "usage: dorvanelle-cli info FILE... [--frame N] [--width W] [--center C] [--select L,T,R,B]\n"
               "\n"
               "Opens FILE as the viewer does (.bmp and .pcx by their exact extension, anything\n"
               "else as DICOM), applies the options, and prints one JSON object: the kind of\n"
               "document, its title, the frame, the image size and depth (null when the file\n"
               "gives no image) and, for DICOM files, the attributes the reader captured.\n"
               "Given several files, prints JSON Lines: one object per file on one line, with\n"
               "its \"file\" first, or {\"file\": ..., \"error\": ...} when it cannot be opened.\n"
               "\n"
               "Options, applied in this order whatever order they are given in:\n"
               "  --frame N          show frame N (counted from 0)\n"
               "  --width W          set the window width, as releasing its slider at W does\n"
               "  --center C         set the window centre, as releasing its slider at C does\n"
               "                     (both in the image's values, HU for CT; fractions allowed)\n"
               "  --select L,T,R,B   select the rectangle dragged from (L,T) to (R,B)\n"
               "Values may be negative: --center -300, --select -7,-2,40,50.\n"
               "  --memory-limit M   let decoding a compressed frame take at most M MiB (or\n"
               "                     M GiB with a G: 2G); a frame that needs more shows no image.\n"
               "                     The default is a quarter of the memory, at most 1 GiB.\n";
    case Subcommand::Convert:
        return "usage: dorvanelle-cli convert IN OUT [--frame N] [--width W] [--center C] [--select L,T,R,B]\n"
               "\n"
               "Opens IN, applies the options (see 'info --help') and writes the image, or with\n"
               "--select the selected part of it, to OUT: as a DICOM file when OUT's extension\n"
               "is exactly \"dcm\", otherwise as a Windows bitmap. Nothing is written when there\n"
               "is no image.\n"
               "\n"
               "usage: dorvanelle-cli convert --out-dir DIR [--format bmp|dcm] [--all-frames] [-j N]\n"
               "                              [--frame N] [--width W] [--center C] [--select L,T,R,B] INPUTS...\n"
               "\n"
               "Converts every input into DIR. A folder is walked recursively and its layout of\n"
               "subfolders kept under DIR. Each output is named after its input (NAME.bmp, or\n"
               "NAME.dcm with --format dcm); with --all-frames every frame is written, as\n"
               "NAME_0001.bmp, NAME_0002.bmp and so on. An output never replaces an input or\n"
               "another output of the same run: a second NAME becomes NAME-2.\n"
               "  -j N     convert N files at a time (default: one per processor)\n"
               "  --by-series  index the inputs (see 'index --help') and write each series to a\n"
               "           folder of its own, PATIENT_STUDY/NUMBER_MODALITY_DESCRIPTION, its slices\n"
               "           named in slice order: 0001.bmp, 0002.bmp...; a stack split off the\n"
               "           series gets a folder of its own with \"_stack2\" and so on after the name\n"
               "A progress bar shows on a terminal; a summary ends the run. Ctrl+C stops after\n"
               "the files being converted. Exit status: 0 every input converted, 1 some input\n"
               "gave no image, 3 some output could not be written.\n";
    case Subcommand::Dump:
        return "usage: dorvanelle-cli dump FILE... [--json]\n"
               "\n"
               "Lists every data element of the DICOM file FILE: group, element, dictionary\n"
               "name, VR, value length and value text. Plain text aligned in columns, or with\n"
               "--json an array of rows, each an array of the six column texts.\n"
               "Given several files: plain listings each under a \"==> FILE <==\" line, or with\n"
               "--json JSON Lines, {\"file\": ..., \"elements\": [rows]} or {\"file\": ..., \"error\": ...}.\n";
    case Subcommand::Index:
        return "usage: dorvanelle-cli index PATH... [--instances] [-j N]\n"
               "\n"
               "Finds the DICOM files under each PATH (a folder, walked with its subfolders; a\n"
               "DICOMDIR, whose records name the files; or a file), reads each file's header up\n"
               "to its pixel data, and prints JSON Lines, one object per series, patients,\n"
               "studies and series in order: {\"record\": \"series\", \"patient\", \"study\",\n"
               "\"series\", \"instances\", \"frames\", the main stack's \"files\" in slice order,\n"
               "its \"slices\", \"spacing\" and \"even_spacing\", the stacks \"split\" off it\n"
               "with their reason, \"no_image\" and \"missing\" files}.\n"
               "Slices are ordered by their position along the normal of their orientation, or\n"
               "without one by instance number, then by file name. Images of another size, pixel\n"
               "kind or orientation than most of their series make stacks of their own.\n"
               "  --instances  after each series, one {\"record\": \"instance\"} line per file\n"
               "  -j N         read N files at a time (default: one per processor)\n"
               "Files that give nothing are counted by reason on standard error. Exit status:\n"
               "0 done, 1 a PATH cannot be read.\n";
    case Subcommand::Histogram:
        return "usage: dorvanelle-cli histogram FILE [--frame N] [--width W] [--center C] [--select L,T,R,B]\n"
               "\n"
               "Opens FILE, applies the options (see 'info --help') and prints the grey-level\n"
               "histograms of the image and of the selection as JSON: {\"whole\": [256 bins],\n"
               "\"selected\": [256 bins] or null without --select}, each bin scaled so that the\n"
               "fullest is 100.\n";
    case Subcommand::Stats:
        return "usage: dorvanelle-cli stats FILE --select L,T,R,B [--ellipse] [--frame N]\n"
               "\n"
               "Opens FILE and prints, as JSON, what the viewer's measurement panel shows for\n"
               "the rectangle dragged from (L,T) to (R,B), or with --ellipse for the ellipse\n"
               "inscribed in it, on frame N (default 0): the pixels it holds (those whose centre\n"
               "lies inside, on the image), the mean, standard deviation (of the pixels, divided\n"
               "by their number), minimum and maximum of their modality values (stored value x\n"
               "Rescale Slope + Intercept, or the Modality LUT) with their \"units\" (\"HU\" for\n"
               "CT; null when not known), and their \"area\" in mm² from the \"spacing\" used: Pixel\n"
               "Spacing, else Imager Pixel Spacing (at the detector), else none and px².\n"
               "A bitmap or PCX picture gives its grey levels. Exit status: 0 done, 1 the file\n"
               "gives no image, or no values (colour), or the region holds no pixel of it.\n";
    case Subcommand::None: break;
    }
    return "usage: dorvanelle-cli SUBCOMMAND ARGUMENTS\n"
           "\n"
           "Subcommands:\n"
           "  info FILE... [options]       what the document holds, as JSON\n"
           "  convert IN OUT [options]     write the image or the selection (.dcm or bitmap)\n"
           "  convert --out-dir DIR INPUTS...  convert files and folders in one run\n"
           "  dump FILE... [--json]        list the elements of a DICOM file\n"
           "  histogram FILE [options]     grey-level histograms, as JSON\n"
           "  stats FILE --select L,T,R,B  statistics of a region in modality values, as JSON\n"
           "  index PATH... [--instances]  the patients, studies and series found, as JSON Lines\n"
           "  echo --server AE@HOST:PORT   whether a DICOM server answers\n"
           "  find --server ... KEY=VALUE...  query a server, JSON Lines\n"
           "  get --server ... --study UID --out-dir DIR  retrieve a study or series\n"
           "  send --server ... FILES...   send files to a server\n"
           "\n"
           "'dorvanelle-cli SUBCOMMAND --help' describes each one; --version prints the version.\n"
           "Exit status: 0 done, 1 the input cannot be read or there is nothing to write,\n"
           "2 wrong usage, 3 the output could not be written.\n";
}
