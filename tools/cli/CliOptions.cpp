#include "tools/cli/CliOptions.h"

#include <cerrno>
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

bool TakesDocumentOptions(Subcommand subcommand) {
    return subcommand == Subcommand::Info || subcommand == Subcommand::Convert ||
           subcommand == Subcommand::Histogram;
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
    if (!ParseInt32(value, number)) {
        error = std::string(name) + " wants a whole number, not \"" + std::string(value) + "\"";
        return false;
    }
    if (name == "--frame") options.frame = number;
    if (name == "--width") options.width = number;
    if (name == "--center") options.center = number;
    return true;
}

bool IsDocumentOption(std::string_view name) {
    return name == "--frame" || name == "--width" || name == "--center" || name == "--select";
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

    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--json" && options.subcommand == Subcommand::Dump) {
            options.json = true;
        } else if (TakesDocumentOptions(options.subcommand) && IsDocumentOption(arg.substr(0, arg.find('=')))) {
            std::size_t equals = arg.find('=');
            std::string_view name = arg.substr(0, equals);
            std::string_view value;
            if (equals != std::string_view::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];  // taken as it stands, even when it starts with "-"
            } else {
                error = std::string(name) + " needs a value";
                return std::nullopt;
            }
            if (!StoreValue(options, name, value, error)) return std::nullopt;
        } else {
            error = "unknown option \"" + std::string(arg) + "\" for " + std::string(first);
            return std::nullopt;
        }
    }
    if (options.help) return options;
    if (options.files.size() < fileCount) {
        error = std::string(first) + (fileCount == 2 ? " needs an input and an output file" : " needs a file");
        return std::nullopt;
    }
    for (const std::string& file : options.files) {
        if (file.empty()) {
            error = "a file name is empty";
            return std::nullopt;
        }
    }
    if (options.files.size() > fileCount) {
        error = "unexpected argument \"" + options.files[fileCount] + "\"";
        return std::nullopt;
    }
    return options;
}

const char* UsageText(Subcommand subcommand) {
    switch (subcommand) {
        case Subcommand::Info:
            return "usage: dorvanelle-cli info FILE [--frame N] [--width W] [--center C] [--select L,T,R,B]\n"
                   "\n"
                   "Opens FILE as the viewer does (.bmp and .pcx by their exact extension, anything\n"
                   "else as DICOM), applies the options, and prints one JSON object: the kind of\n"
                   "document, its title, the frame, the image size and depth (null when the file\n"
                   "gives no image) and, for DICOM files, the attributes the reader captured.\n"
                   "\n"
                   "Options, applied in this order whatever order they are given in:\n"
                   "  --frame N          show frame N (counted from 0)\n"
                   "  --width W          set the window width, as releasing its slider at W does\n"
                   "  --center C         set the window centre, as releasing its slider at C does\n"
                   "  --select L,T,R,B   select the rectangle dragged from (L,T) to (R,B)\n"
                   "Values may be negative: --center -300, --select -7,-2,40,50.\n";
        case Subcommand::Convert:
            return "usage: dorvanelle-cli convert IN OUT [--frame N] [--width W] [--center C] [--select L,T,R,B]\n"
                   "\n"
                   "Opens IN, applies the options (see 'info --help') and writes the image, or with\n"
                   "--select the selected part of it, to OUT: as a DICOM file when OUT's extension\n"
                   "is exactly \"dcm\", otherwise as a Windows bitmap. Nothing is written when there\n"
                   "is no image.\n";
        case Subcommand::Dump:
            return "usage: dorvanelle-cli dump FILE [--json]\n"
                   "\n"
                   "Lists every data element of the DICOM file FILE: group, element, dictionary\n"
                   "name, VR, value length and value text. Plain text aligned in columns, or with\n"
                   "--json an array of rows, each an array of the six column texts.\n";
        case Subcommand::Histogram:
            return "usage: dorvanelle-cli histogram FILE [--frame N] [--width W] [--center C] [--select L,T,R,B]\n"
                   "\n"
                   "Opens FILE, applies the options (see 'info --help') and prints the grey-level\n"
                   "histograms of the image and of the selection as JSON: {\"whole\": [256 bins],\n"
                   "\"selected\": [256 bins] or null without --select}, each bin scaled so that the\n"
                   "fullest is 100.\n";
        case Subcommand::None:
            break;
    }
    return "usage: dorvanelle-cli SUBCOMMAND ARGUMENTS\n"
           "\n"
           "Subcommands:\n"
           "  info FILE [options]          what the document holds, as JSON\n"
           "  convert IN OUT [options]     write the image or the selection (.dcm or bitmap)\n"
           "  dump FILE [--json]           list the elements of a DICOM file\n"
           "  histogram FILE [options]     grey-level histograms, as JSON\n"
           "\n"
           "'dorvanelle-cli SUBCOMMAND --help' describes each one.\n"
           "Exit status: 0 done, 1 the input cannot be read or there is nothing to write,\n"
           "2 wrong usage, 3 the output could not be written.\n";
}
