// Decode throughput (megapixels per second) of our codecs beside their reference libraries, on
// a 512 x 512 16-bit CT-like frame and a 640 x 480 RGB frame:
//   JPEG-LS: our JpegLsDecoder vs CharLS;
//   JPEG: our glue vs the library's bare decode loop (libjpeg-turbo for 8-bit lossy, the 12-bit
//   IJG build for lossless);
//   RLE: our RleDecoder (bytes per second of output as well).
#include "bench/imaging/bench_codecs.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/jpeg_ls_decoder.h"
#include "imaging/rle_decoder.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <charls/charls.h>
#include <cmath>
#include <random>

namespace velmora::bench {
namespace {

constexpr int kCtSide = 512;
constexpr int kRgbWidth = 640;
constexpr int kRgbHeight = 480;

// A CT-like slice: air, a soft-tissue ellipse with noise, a bone ring; 12-bit values.
std::vector<uint16_t> MakeCt()
{
    std::vector<uint16_t> image(size_t(kCtSide) * kCtSide);
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 12.0);
    for (int y = 0; y < kCtSide; ++y) {
        for (int x = 0; x < kCtSide; ++x) {
            const double dx = (x - 256) / 210.0, dy = (y - 256) / 170.0;
            const double r = std::sqrt(dx * dx + dy * dy);
            double v = 0;
            if (r < 1.0)
                v = 1040 + 30 * std::sin(x / 23.0) * std::cos(y / 31.0) + noise(random);
            if (r > 0.9 && r < 1.0)
                v = 1900 + noise(random) * 3;
            image[size_t(y) * kCtSide + x] = static_cast<uint16_t>(std::clamp(v, 0.0, 4095.0));
        }
    }
    return image;
}

// A photo-like RGB frame: smooth colour fields with a little noise.
std::vector<uint8_t> MakeRgb()
{
    std::vector<uint8_t> image(size_t(kRgbWidth) * kRgbHeight * 3);
    std::mt19937 random(2);
    for (int y = 0; y < kRgbHeight; ++y) {
        for (int x = 0; x < kRgbWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double v = 128 + 90 * std::sin(x / (40.0 + 10 * c)) * std::cos(y / (55.0 - 7 * c))
                    + int(random() % 7) - 3;
                image[(size_t(y) * kRgbWidth + x) * 3 + c] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
            }
        }
    }
    return image;
}

std::vector<uint8_t> Bytes(const std::vector<uint16_t>& words)
{
    std::vector<uint8_t> out(words.size() * 2);
    for (size_t i = 0; i < words.size(); ++i) {
        out[2 * i] = static_cast<uint8_t>(words[i]);
        out[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
    }
    return out;
}

std::vector<uint8_t> CharlsEncode(const std::vector<uint8_t>& samples, uint32_t width, uint32_t height,
    int precision, int components, charls::interleave_mode mode)
{
    charls::jpegls_encoder encoder;
    encoder.frame_info({ width, height, precision, components }).interleave_mode(mode);
    std::vector<uint8_t> out(encoder.estimated_destination_size());
    encoder.destination(out);
    out.resize(encoder.encode(samples));
    return out;
}

// PackBits of one byte plane (PS3.5 G.3.1), as DICOM encoders write it: a replicate run for
// three or more equal bytes, literals otherwise.
void PackBits(const std::vector<uint8_t>& plane, std::vector<uint8_t>& out)
{
    auto runAt = [&](size_t i) {
        size_t run = 1;
        while (i + run < plane.size() && run < 128 && plane[i + run] == plane[i])
            ++run;
        return run;
    };
    size_t i = 0;
    while (i < plane.size()) {
        const size_t run = runAt(i);
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(257 - run));
            out.push_back(plane[i]);
            i += run;
            continue;
        }
        size_t literal = run;
        while (i + literal < plane.size() && literal < 128 && runAt(i + literal) < 3)
            ++literal;
        literal = std::min<size_t>(literal, 128);
        out.push_back(static_cast<uint8_t>(literal - 1));
        out.insert(out.end(), plane.begin() + long(i), plane.begin() + long(i + literal));
        i += literal;
    }
    if (out.size() & 1)
        out.push_back(0x80); // keep segments even
}

// An RLE frame of interleaved little-endian samples: one segment per byte plane, high first.
std::vector<uint8_t> RleEncode(const std::vector<uint8_t>& native, int samples, int bytesPerSample)
{
    const int segments = samples * bytesPerSample;
    const size_t pixels = native.size() / size_t(segments);
    std::vector<uint8_t> out(64, 0);
    out[0] = static_cast<uint8_t>(segments);
    for (int s = 0; s < segments; ++s) {
        const size_t offset = out.size();
        for (int b = 0; b < 4; ++b)
            out[size_t(4 + 4 * s + b)] = static_cast<uint8_t>(offset >> (8 * b));
        const int sample = s / bytesPerSample;
        const int byte = bytesPerSample - 1 - s % bytesPerSample;
        std::vector<uint8_t> plane(pixels);
        for (size_t p = 0; p < pixels; ++p)
            plane[p] = native[(p * samples + sample) * bytesPerSample + byte];
        PackBits(plane, out);
    }
    return out;
}

struct Frames {
    std::vector<uint8_t> ctNative, rgbNative;
    std::vector<uint8_t> ctJls, rgbJls, ctJpegLossless, rgbJpeg, ctRle, rgbRle;
    Frames()
    {
        const auto ct = MakeCt();
        ctNative = Bytes(ct);
        rgbNative = MakeRgb();
        ctJls = CharlsEncode(ctNative, kCtSide, kCtSide, 12, 1, charls::interleave_mode::none);
        rgbJls = CharlsEncode(rgbNative, kRgbWidth, kRgbHeight, 8, 3, charls::interleave_mode::sample);
        ctJpegLossless = Ijg12EncodeLossless(ct, kCtSide, kCtSide);
        rgbJpeg = TurboEncode(rgbNative, kRgbWidth, kRgbHeight, 3);
        ctRle = RleEncode(ctNative, 1, 2);
        rgbRle = RleEncode(rgbNative, 3, 1);
    }
};

const Frames& GetFrames()
{
    static const Frames frames;
    return frames;
}

void Report(benchmark::State& state, size_t pixels, size_t outputBytes)
{
    state.counters["Mpix/s"]
        = benchmark::Counter(double(pixels) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
    state.SetBytesProcessed(int64_t(outputBytes) * state.iterations());
}

void BM_JpegLs_Ours(benchmark::State& state, bool rgb)
{
    const auto& stream = rgb ? GetFrames().rgbJls : GetFrames().ctJls;
    std::vector<uint8_t> output;
    uint32_t length = 0;
    for (auto _ : state) {
        if (DecodeJpegLs(stream, output, 0, length) != SUCCESS)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(output.data());
    }
    Report(state, rgb ? size_t(kRgbWidth) * kRgbHeight : size_t(kCtSide) * kCtSide, length);
}

void BM_JpegLs_Charls(benchmark::State& state, bool rgb)
{
    const auto& stream = rgb ? GetFrames().rgbJls : GetFrames().ctJls;
    std::vector<uint8_t> output((rgb ? GetFrames().rgbNative : GetFrames().ctNative).size());
    for (auto _ : state) {
        charls::jpegls_decoder decoder(stream, true);
        decoder.decode(output);
        benchmark::DoNotOptimize(output.data());
    }
    Report(state, rgb ? size_t(kRgbWidth) * kRgbHeight : size_t(kCtSide) * kCtSide, output.size());
}

void BM_Jpeg8_Glue(benchmark::State& state)
{
    std::vector<uint8_t> output(GetFrames().rgbNative.size());
    for (auto _ : state) {
        if (DecodeJpegTurbo8(GetFrames().rgbJpeg, output).result != SUCCESS)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(output.data());
    }
    Report(state, size_t(kRgbWidth) * kRgbHeight, output.size());
}

void BM_Jpeg8_Library(benchmark::State& state)
{
    std::vector<uint8_t> output(GetFrames().rgbNative.size());
    for (auto _ : state) {
        TurboDecode(GetFrames().rgbJpeg, output);
        benchmark::DoNotOptimize(output.data());
    }
    Report(state, size_t(kRgbWidth) * kRgbHeight, output.size());
}

void BM_JpegLossless12_Glue(benchmark::State& state)
{
    std::vector<uint8_t> output(GetFrames().ctNative.size());
    for (auto _ : state) {
        if (DecodeJpegIjg12(GetFrames().ctJpegLossless, output).result != SUCCESS)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(output.data());
    }
    if (output != GetFrames().ctNative)
        state.SkipWithError("lossless decode differs");
    Report(state, size_t(kCtSide) * kCtSide, output.size());
}

void BM_JpegLossless12_Library(benchmark::State& state)
{
    std::vector<uint8_t> output(GetFrames().ctNative.size());
    for (auto _ : state) {
        Ijg12Decode(GetFrames().ctJpegLossless, output);
        benchmark::DoNotOptimize(output.data());
    }
    Report(state, size_t(kCtSide) * kCtSide, output.size());
}

void BM_Rle(benchmark::State& state, bool rgb)
{
    const auto& stream = rgb ? GetFrames().rgbRle : GetFrames().ctRle;
    const auto& native = rgb ? GetFrames().rgbNative : GetFrames().ctNative;
    std::vector<uint8_t> output(native.size());
    const RleLayout layout { rgb ? 3u : 1u, rgb ? 8u : 16u, 0 };
    for (auto _ : state) {
        RleDecoder decoder;
        if (decoder.Decode(stream, output, layout) != SUCCESS)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(output.data());
    }
    if (output != native)
        state.SkipWithError("RLE decode differs");
    Report(state, rgb ? size_t(kRgbWidth) * kRgbHeight : size_t(kCtSide) * kCtSide, output.size());
}

BENCHMARK_CAPTURE(BM_JpegLs_Ours, ct512_16bit, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_JpegLs_Charls, ct512_16bit, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_JpegLs_Ours, rgb640x480, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_JpegLs_Charls, rgb640x480, true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg8_Glue)->Name("BM_Jpeg8_Glue/rgb640x480")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg8_Library)->Name("BM_Jpeg8_Library/rgb640x480")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLossless12_Glue)->Name("BM_JpegLossless12_Glue/ct512_16bit")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLossless12_Library)
    ->Name("BM_JpegLossless12_Library/ct512_16bit")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Rle, ct512_16bit, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Rle, rgb640x480, true)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace velmora::bench

BENCHMARK_MAIN();
