// The shared reference table of the decoder tests: tests/data/imaging/references.txt lists every
// compressed frame fixture with its layout, and NAME.fN.bin / NAME.fN.raw hold the compressed
// frame and the reference decoder's output (see tests/data/imaging/README.md).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace velmora::testing {

struct DecoderFixture {
    std::string name;
    std::string codec; // rle, jpeg, jpegls, j2k
    uint32_t bitsAllocated = 0;
    uint32_t samplesPerPixel = 0;
    uint32_t planarConfiguration = 0;
    uint32_t rows = 0;
    uint32_t columns = 0;
    uint32_t frames = 0;
    bool exact = true;

    uint32_t FrameSize() const { return rows * columns * samplesPerPixel * (bitsAllocated / 8); }
};

inline std::string FixtureDirectory()
{
    const char* root = std::getenv("VELMORA_SOURCE_DIR");
    return std::string(root ? root : ".") + "/tests/data/imaging/";
}

inline std::vector<uint8_t> ReadFixtureFile(const std::string& file)
{
    std::ifstream in(FixtureDirectory() + file, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

inline std::string FrameFile(const DecoderFixture& fixture, uint32_t frame, const char* extension)
{
    return fixture.name + ".f" + std::to_string(frame) + extension;
}

// Every fixture of one codec ("" for all).
inline std::vector<DecoderFixture> LoadFixtures(const std::string& codec)
{
    std::vector<DecoderFixture> fixtures;
    std::ifstream in(FixtureDirectory() + "references.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        DecoderFixture f;
        int exact = 1;
        fields >> f.name >> f.codec >> f.bitsAllocated >> f.samplesPerPixel >> f.planarConfiguration >> f.rows
            >> f.columns >> f.frames >> exact;
        f.exact = exact != 0;
        if (codec.empty() || f.codec == codec)
            fixtures.push_back(f);
    }
    return fixtures;
}

// The fixture called `name`; a fixture with an empty name when it is not listed, so that a test
// can assert on it instead of passing without having checked anything.
inline DecoderFixture FindFixture(const std::string& name)
{
    for (const DecoderFixture& f : LoadFixtures(""))
        if (f.name == name)
            return f;
    return {};
}

// Largest difference between two equally long sample buffers (bytes or little-endian words).
inline int MaxSampleDifference(
    const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t bitsAllocated)
{
    int worst = 0;
    if (bitsAllocated == 16) {
        for (size_t i = 0; i + 1 < a.size() && i + 1 < b.size(); i += 2) {
            const int va = a[i] | a[i + 1] << 8;
            const int vb = b[i] | b[i + 1] << 8;
            worst = std::max(worst, std::abs(va - vb));
        }
    } else {
        for (size_t i = 0; i < a.size() && i < b.size(); ++i)
            worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    }
    return worst;
}

} // namespace velmora::testing
