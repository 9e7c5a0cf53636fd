// velmora-tool: the command-line companion of the viewer, built on the same toolkit, imaging
// and exam-model code. Dispatches to one command per file.
#include "tools/commands.h"

#include <charconv>
#include <cstdio>
#include <string_view>
#include <vector>

namespace velmora::tool {

std::optional<uint32_t> PositiveNumber(std::string_view text, uint32_t most)
{
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > most)
        return std::nullopt;
    return value;
}

namespace {

constexpr const char* kUsage
    = "usage: velmora-tool COMMAND ...\n"
      "  dump FILE                      list the data set, one line per element\n"
      "  info FILE                      describe the image as JSON\n"
      "  render FILE [--frame N|all] [--raw OUT] [--png OUT] [--mirror] [--flip] [--invert]\n"
      "                                 load a frame as the viewer does and write it\n"
      "  scan FOLDER                    print the exam tree of a folder\n"
      "  save SRC DEST [--preamble] [--meta] [--explicit] [--big-endian] [--deflated]\n"
      "       [--memory-mode] [--all-group-lengths] [--defined-lengths] [--file-format]\n"
      "                                 write SRC's data set to DEST (no option: raw\n"
      "                                 implicit VR little-endian, as Save Image does)\n"
      "  thumbnail FILE OUT.png [--size N]\n"
      "                                 the first frame as the viewer shows it, longer\n"
      "                                 side N pixels (default 256)\n"
      "  overlay FILE [--frame N|all]   the overlay's corner text on a frame, as a tile\n"
      "                                 shows it at 100 % in the file's window\n"
      "  --help, --version              this text, the version\n";

} // namespace

int Usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace velmora::tool

int main(int argc, char** argv)
{
    using namespace velmora::tool;
    if (argc < 2)
        return Usage();
    std::vector<std::string_view> args(argv + 2, argv + argc);
    const std::string_view command = argv[1];
    // Asked for, help and the version are answers, not usage errors.
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::puts("velmora-tool " VELMORA_VERSION);
        return 0;
    }
    struct Entry {
        std::string_view name;
        int (*run)(Args);
    };
    static constexpr Entry kCommands[] = {
        { "dump", RunDump },
        { "info", RunInfo },
        { "render", RunRender },
        { "scan", RunScan },
        { "save", RunSave },
        { "thumbnail", RunThumbnail },
        { "overlay", RunOverlay },
    };
    for (const Entry& entry : kCommands) {
        if (entry.name == command)
            return entry.run(args);
    }
    return Usage();
}
