// WindowPresets: which images take Hounsfield presets, and every preset and the frame-range
// window loaded against the same file windowed by DCMTK's dcmodify and against the linear
// window computed here from the raw samples.
#if __has_include("toolkit/data_set.h")
#include "imaging/frame_loader.h"
#include "imaging/window_presets.h"
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/vr_code.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

const std::string CT_SMALL = "/usr/lib/python3/dist-packages/pydicom/data/test_files/CT_small.dcm";
const std::string MR_SMALL = "/usr/lib/python3/dist-packages/pydicom/data/test_files/MR_small.dcm";
// CT_small.dcm as pydicom reads it: signed 16-bit, stored range 128..2191, rescale -1024 / 1.
constexpr int32_t CT_MINIMUM = 128, CT_MAXIMUM = 2191;
constexpr double CT_INTERCEPT = -1024.0;

struct Loaded {
    FrameLoadResult result = FrameLoadResult::LoadFailed;
    ImageSource source;
    ImageDescription description;
    DisplayBitmap bitmap;
    std::vector<uint8_t> Pixels() const
    {
        std::vector<uint8_t> out;
        for (int32_t r = 0; r < bitmap.Height(); ++r) {
            const uint8_t* row = bitmap.Bits().data() + static_cast<size_t>(r) * bitmap.Stride();
            out.insert(out.end(), row, row + bitmap.Width());
        }
        return out;
    }
};

void Load(Loaded& loaded, const std::string& path, WindowChoice window)
{
    DisplayFlags flags;
    flags.window = window;
    loaded.result = LoadFrame(path, 1, flags, loaded.source, loaded.description, loaded.bitmap);
}

// The 8-bit grey of stored value v through the window [lo, hi] (stored values).
uint8_t Linear(int32_t v, int32_t lo, int32_t hi)
{
    if (v <= lo)
        return 0;
    if (v >= hi)
        return 255;
    return static_cast<uint8_t>((static_cast<int64_t>(v) - lo) * 255 / (hi - lo));
}

// The frame's raw samples (signed 16-bit, little-endian), before any flag.
std::vector<int32_t> Samples(const ImageDescription& d)
{
    std::vector<int32_t> out;
    for (size_t i = 0; i + 1 < d.pixelBuffer.size(); i += 2)
        out.push_back(static_cast<int16_t>(d.pixelBuffer[i] | d.pixelBuffer[i + 1] << 8));
    return out;
}

class WindowPresetsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(InstallBuiltInTables(), SUCCESS); }
    void SetUp() override
    {
        if (!std::filesystem::exists(CT_SMALL))
            GTEST_SKIP() << "pydicom's test files are not installed";
    }
};

} // namespace

TEST_F(WindowPresetsTest, HounsfieldImagesAreCtOrRescaleTypeHu)
{
    struct Case {
        const char* modality; // nullptr: absent
        const char* rescaleType;
        bool rescale;
        uint32_t bitsAllocated;
        bool expected;
    };
    const Case cases[] = {
        { "CT", nullptr, true, 16, true }, { "CT", "HU", true, 16, true }, { "MR", "HU", true, 16, true },
        { "CT", "US", true, 16, false }, // a rescale to something else
        { "CT", nullptr, false, 16, false }, // no rescale
        { "MR", nullptr, true, 16, false }, { nullptr, nullptr, true, 16, false },
        { "CT", nullptr, true, 8, false }, // 8-bit frames are not windowed
    };
    for (const Case& c : cases) {
        DataSet ds;
        auto text = [&](uint32_t tag, uint16_t vr, const char* value) {
            const ElementId id = ds.InsertElement(-1, tag, vr, false, 0);
            ds.AppendValue(id, value, static_cast<uint32_t>(std::strlen(value)));
        };
        if (c.modality)
            text(0x00080060, vr::CS, c.modality);
        if (c.rescaleType)
            text(0x00281054, vr::LO, c.rescaleType);
        ImageDescription d;
        d.photometricCode = PHOTOMETRIC_MONOCHROME2;
        d.samplesPerPixel = 1;
        d.bitsAllocated = c.bitsAllocated;
        d.rescaleIntercept = c.rescale ? -1024.0 : ABSENT_REAL;
        d.rescaleSlope = c.rescale ? 1.0 : ABSENT_REAL;
        EXPECT_EQ(RescalesToHounsfield(ds, d, 1), c.expected)
            << (c.modality ? c.modality : "-") << " " << (c.rescaleType ? c.rescaleType : "-");
    }
}

// Enhanced images keep Rescale Type in their functional groups: read for the frame shown.
TEST_F(WindowPresetsTest, HounsfieldFromTheFramesFunctionalGroups)
{
    const char* root = std::getenv("VELMORA_SOURCE_DIR");
    const std::string folder = std::string(root ? root : ".") + "/tests/data/imaging/source/";
    struct Case {
        const char* file;
        uint32_t frame;
        bool expected;
    };
    const Case cases[] = {
        { "enhanced_ct.dcm", 2, true }, // HU in the shared group
        { "enhanced_mr.dcm", 2, false }, // US in each frame's group
        { "enhanced_top_level.dcm", 1, true }, // an MR whose frame 1 says HU
        { "enhanced_top_level.dcm", 2, false }, // frame 2 has no rescale
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " frame " + std::to_string(c.frame));
        DataSet ds;
        ASSERT_EQ(ds.Load((folder + c.file).c_str()), SUCCESS);
        ImageSource source;
        source.Bind(&ds);
        ImageDescription d;
        ASSERT_EQ(source.Describe(d, TableReading::Read, c.frame), SUCCESS);
        EXPECT_EQ(RescalesToHounsfield(ds, d, c.frame), c.expected);
    }
}

TEST_F(WindowPresetsTest, EachPresetMatchesTheFileWindowedAtItsValues)
{
    ASSERT_EQ(WindowPresets().size(), 5u);
    const std::string folder = ::testing::TempDir() + "window_presets_" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    for (uint32_t k = 0; k < WindowPresets().size(); ++k) {
        const WindowValues w = WindowPresets()[k].window;
        SCOPED_TRACE(std::string(WindowPresets()[k].name));
        Loaded preset;
        Load(preset, CT_SMALL, { WindowMode::Preset, k });
        ASSERT_EQ(preset.result, FrameLoadResult::Shown);

        // The oracle: the same file with the window written into it by DCMTK.
        const std::string copy = folder + "/preset.dcm";
        std::filesystem::copy_file(CT_SMALL, copy, std::filesystem::copy_options::overwrite_existing);
        const std::string command = "dcmodify -nb -i \"(0028,1050)=" + std::to_string(w.center)
            + "\" -i \"(0028,1051)=" + std::to_string(w.width) + "\" " + copy + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            GTEST_SKIP() << "dcmodify (DCMTK) is not installed";
        Loaded windowed;
        Load(windowed, copy, {});
        ASSERT_EQ(windowed.result, FrameLoadResult::Shown);
        EXPECT_EQ(preset.Pixels(), windowed.Pixels());

        // And by hand: the window's ends in stored values, narrowed to the frame's range.
        const int32_t lo
            = std::max(CT_MINIMUM, static_cast<int32_t>(std::trunc(w.center - CT_INTERCEPT - w.width / 2)));
        const int32_t hi
            = std::min(CT_MAXIMUM, static_cast<int32_t>(std::trunc(w.center - CT_INTERCEPT + w.width / 2)));
        const std::vector<int32_t> samples = Samples(preset.description);
        const std::vector<uint8_t> pixels = preset.Pixels();
        ASSERT_EQ(samples.size(), pixels.size());
        size_t wrong = 0;
        for (size_t i = 0; i < samples.size(); ++i)
            wrong += pixels[i] != Linear(samples[i], lo, hi);
        EXPECT_EQ(wrong, 0u);
        const std::optional<WindowValues> shown = ShownWindow(preset.description);
        ASSERT_TRUE(shown.has_value());
        EXPECT_DOUBLE_EQ(shown->width, hi - lo);
    }
    std::filesystem::remove_all(folder);
}

TEST_F(WindowPresetsTest, FrameRangeSpansMinimumToMaximum)
{
    Loaded range;
    Load(range, CT_SMALL, { WindowMode::FrameRange, 0 });
    ASSERT_EQ(range.result, FrameLoadResult::Shown);
    const std::vector<int32_t> samples = Samples(range.description);
    const std::vector<uint8_t> pixels = range.Pixels();
    size_t wrong = 0;
    for (size_t i = 0; i < samples.size(); ++i)
        wrong += pixels[i] != Linear(samples[i], CT_MINIMUM, CT_MAXIMUM);
    EXPECT_EQ(wrong, 0u);
    const std::optional<WindowValues> shown = ShownWindow(range.description);
    ASSERT_TRUE(shown.has_value());
    EXPECT_DOUBLE_EQ(shown->center, (CT_MINIMUM + CT_MAXIMUM) / 2.0 + CT_INTERCEPT);
    EXPECT_DOUBLE_EQ(shown->width, CT_MAXIMUM - CT_MINIMUM);
}

// With a negative slope the frame's rescaled range runs from its highest stored value to its
// lowest: the same span, shown with the highest stored values darkest.
TEST_F(WindowPresetsTest, FrameRangeOnANegativeSlopeShowsTheHighestValuesDarkest)
{
    const std::string copy = ::testing::TempDir() + "negative_slope_" + std::to_string(getpid()) + ".dcm";
    std::filesystem::copy_file(CT_SMALL, copy, std::filesystem::copy_options::overwrite_existing);
    const std::string command
        = "dcmodify -nb -m \"(0028,1052)=1000\" -m \"(0028,1053)=-1\" " + copy + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "dcmodify (DCMTK) is not installed";
    Loaded range;
    Load(range, copy, { WindowMode::FrameRange, 0 });
    std::filesystem::remove(copy);
    ASSERT_EQ(range.result, FrameLoadResult::Shown);
    const std::vector<int32_t> samples = Samples(range.description);
    const std::vector<uint8_t> pixels = range.Pixels();
    ASSERT_EQ(samples.size(), pixels.size());
    size_t wrong = 0;
    for (size_t i = 0; i < samples.size(); ++i)
        wrong += pixels[i] != 255 - Linear(samples[i], CT_MINIMUM, CT_MAXIMUM);
    EXPECT_EQ(wrong, 0u);
    const std::optional<WindowValues> shown = ShownWindow(range.description);
    ASSERT_TRUE(shown.has_value());
    EXPECT_DOUBLE_EQ(shown->center, 1000.0 - (CT_MINIMUM + CT_MAXIMUM) / 2.0);
    EXPECT_DOUBLE_EQ(shown->width, CT_MAXIMUM - CT_MINIMUM);
}

TEST_F(WindowPresetsTest, AdjustedWindowIsWhatBrightnessAndContrastShow)
{
    const WindowValues soft = WindowPresets()[1].window;
    const struct {
        int32_t brightness, contrast;
    } cases[] = { { 0, 0 }, { 40, 0 }, { -60, 0 }, { 0, 30 }, { 0, 70 }, { 25, -40 }, { -35, 80 } };
    for (const auto& c : cases) {
        Loaded loaded;
        Load(loaded, CT_SMALL, { WindowMode::Preset, 1 });
        ASSERT_EQ(loaded.result, FrameLoadResult::Shown);
        loaded.bitmap.MarkComplete();
        ASSERT_EQ(loaded.bitmap.Brightness(c.brightness), SUCCESS);
        ASSERT_EQ(loaded.bitmap.Contrast(c.contrast), SUCCESS);
        const WindowValues adjusted = AdjustedWindow(soft, c.brightness, c.contrast);
        // The grey the screen shows for a rescaled value: the window's byte through the adjusted
        // colour table.
        const int32_t lo = static_cast<int32_t>(std::trunc(soft.center - CT_INTERCEPT - soft.width / 2));
        const int32_t hi = static_cast<int32_t>(std::trunc(soft.center - CT_INTERCEPT + soft.width / 2));
        auto grey = [&](double rescaled) {
            const uint8_t byte = Linear(static_cast<int32_t>(std::lround(rescaled - CT_INTERCEPT)), lo, hi);
            return static_cast<int>(loaded.bitmap.ColourTable()[byte * 4]);
        };
        SCOPED_TRACE(testing::Message() << c.brightness << " " << c.contrast);
        EXPECT_NEAR(grey(adjusted.center), 127.5, 4.0);
        // Brightness lifts or lowers the ends and a flatter contrast cannot pass the window's own
        // ends, so only a steeper contrast alone narrows to a true window.
        if (c.brightness == 0 && c.contrast > 0) {
            EXPECT_LE(grey(adjusted.center - adjusted.width / 2 + 2), 8);
            EXPECT_GE(grey(adjusted.center + adjusted.width / 2 - 2), 247);
        }
    }
}

TEST_F(WindowPresetsTest, UnitsAreWholeOnlyWhenEveryRescaledValueIs)
{
    struct Case {
        const char* what;
        double slope, intercept;
        bool floatSamples;
        WindowUnits units;
    };
    const Case cases[] = {
        { "CT", 1.0, -1024.0, false, WindowUnits::Whole },
        { "no rescale", ABSENT_REAL, ABSENT_REAL, false, WindowUnits::Whole },
        { "a slope of two", 2.0, 0.0, false, WindowUnits::Whole },
        { "PET", 0.0123, 0.0, false, WindowUnits::Fractional },
        { "half an intercept", 1.0, 0.5, false, WindowUnits::Fractional },
        { "a slope of zero is no rescale", 0.0, 0.5, false, WindowUnits::Whole },
        { "float samples", 1.0, 0.0, true, WindowUnits::Fractional },
    };
    for (const Case& c : cases) {
        ImageDescription d;
        d.rescaleSlope = c.slope;
        d.rescaleIntercept = c.intercept;
        d.floatSamples = c.floatSamples;
        EXPECT_EQ(UnitsOf(d), c.units) << c.what;
    }
}

TEST_F(WindowPresetsTest, PresetsLeaveOtherImagesAsTheFileShowsThem)
{
    Loaded plain, preset;
    Load(plain, MR_SMALL, {});
    Load(preset, MR_SMALL, { WindowMode::Preset, 2 });
    ASSERT_EQ(preset.result, FrameLoadResult::Shown);
    EXPECT_EQ(plain.Pixels(), preset.Pixels());
    EXPECT_EQ(preset.description.windowCenter, 600.0);
}

} // namespace velmora
#endif
