// The commands of velmora-tool. Each takes the arguments after the command name and returns
// the process exit status: 0 on success, 1 on failure (message on stderr), 2 on wrong usage.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace velmora::tool {

using Args = std::span<const std::string_view>;

int RunDump(Args args);
int RunInfo(Args args);
int RunRender(Args args);
int RunScan(Args args);
int RunSave(Args args);
int RunThumbnail(Args args);
int RunOverlay(Args args);

// Prints the usage text to stderr and returns 2.
int Usage();

// The number an option's value writes in decimal digits, whole; nothing for 0, for anything
// else, or for a number beyond `most`.
std::optional<uint32_t> PositiveNumber(std::string_view text, uint32_t most = UINT32_MAX);

} // namespace velmora::tool
