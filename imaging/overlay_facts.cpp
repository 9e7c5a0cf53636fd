// OverlayFacts: reading the overlay's elements and composing the corner lines.
#include "imaging/overlay_facts.h"

#include "imaging/frame_attributes.h"
#include "toolkit/character_set.h"
#include "toolkit/data_set.h"
#include "toolkit/decimal_string.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velmora {

namespace {

constexpr uint32_t TAG_STUDY_DATE = 0x00080020;
constexpr uint32_t TAG_STUDY_DESCRIPTION = 0x00081030;
constexpr uint32_t TAG_SERIES_DESCRIPTION = 0x0008103E;
constexpr uint32_t TAG_PATIENT_NAME = 0x00100010;
constexpr uint32_t TAG_PATIENT_ID = 0x00100020;
constexpr uint32_t TAG_SERIES_NUMBER = 0x00200011;
constexpr uint32_t TAG_INSTANCE_NUMBER = 0x00200013;
constexpr uint32_t TAG_IMAGE_POSITION = 0x00200032;
constexpr uint32_t TAG_SLICE_LOCATION = 0x00201041;

// Value `index` of the element giving `frame` its `tag` (top level, else functional groups) as
// UTF-8; empty when absent.
std::string Value(DataSet& dataSet, uint32_t frame, uint32_t tag, uint32_t index = 0)
{
    const ElementId id = FindFrameAttribute(dataSet, tag, frame);
    if (id == NO_ELEMENT)
        return {};
    return GetText(dataSet, id, index).value_or("");
}

// The number a decimal string holds; nothing when it holds none or one too large to show in
// fixed notation.
std::optional<double> ParseDecimal(std::string_view text)
{
    const std::optional<double> value = ParseDecimalString(text);
    if (!value || std::fabs(*value) >= 1e9)
        return std::nullopt;
    return value;
}

// `value` with `decimals` decimals; "-0" and "-0.00" read as 0.
std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string out = text;
    if (out.front() == '-' && out.find_first_not_of("-0.") == std::string::npos)
        out.erase(0, 1);
    return out;
}

// `text` without trailing zeros after a decimal point (and without the point left bare).
std::string TrimZeros(std::string text)
{
    if (text.find('.') == std::string::npos)
        return text;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Digits [from, from + count) of `text` as a number; -1 when one is no digit.
int Digits(std::string_view text, size_t from, size_t count)
{
    int value = 0;
    for (size_t k = from; k < from + count; ++k) {
        if (text[k] < '0' || text[k] > '9')
            return -1;
        value = value * 10 + (text[k] - '0');
    }
    return value;
}

std::string Joined(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return a + b;
    return a + " " + b;
}

} // namespace

std::string DateText(std::string_view date)
{
    const bool dotted = date.size() == 10 && date[4] == '.' && date[7] == '.';
    if (date.size() != 8 && !dotted)
        return std::string(date);
    const size_t gap = dotted ? 1 : 0;
    const int year = Digits(date, 0, 4), month = Digits(date, 4 + gap, 2), day = Digits(date, 6 + 2 * gap, 2);
    static constexpr int DAYS[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    if (year < 0 || month < 1 || month > 12 || day < 1
        || day > DAYS[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0))
        return std::string(date);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

std::string MillimetreText(std::span<const std::string> values)
{
    std::string text;
    bool parsed = true;
    for (const std::string& value : values) {
        if (!text.empty())
            text += ", ";
        const std::optional<double> number = ParseDecimal(value);
        parsed = parsed && number.has_value();
        text += number ? Fixed(*number, 2) : value;
    }
    return parsed && !text.empty() ? text + " mm" : text;
}

std::string MillimetreText(std::span<const double> values)
{
    std::vector<std::string> texts;
    for (const double value : values) {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", value);
        texts.push_back(text);
    }
    return MillimetreText(texts);
}

std::string WindowText(WindowValues window, WindowUnits units)
{
    // Fractional units show four significant digits of the width, for the level too: the level
    // needs no finer steps than the width it is read with.
    int decimals = 0;
    if (units == WindowUnits::Fractional && window.width > 0.0)
        decimals = std::clamp(3 - static_cast<int>(std::floor(std::log10(window.width))), 0, 6);
    const auto number = [decimals](double value) {
        if (std::isfinite(value) && std::fabs(value) < 1e9)
            return TrimZeros(Fixed(value, decimals));
        // Float data can span more than fixed notation reads well.
        char text[32];
        std::snprintf(text, sizeof text, "%.4g", value);
        return std::string(text);
    };
    return "W: " + number(window.width) + " L: " + number(window.center);
}

OverlayFacts ReadOverlayFacts(DataSet& dataSet, uint32_t frame)
{
    OverlayFacts facts;
    // Components apart by one space: "DOE^JANE^^^" reads "DOE JANE", "DOE^^^DR" "DOE DR".
    for (const char c : Value(dataSet, frame, TAG_PATIENT_NAME)) {
        const bool gap = c == '^' || c == ' ';
        if (!gap)
            facts.patientName += c;
        else if (!facts.patientName.empty() && facts.patientName.back() != ' ')
            facts.patientName += ' ';
    }
    if (!facts.patientName.empty() && facts.patientName.back() == ' ')
        facts.patientName.pop_back();
    facts.patientId = Value(dataSet, frame, TAG_PATIENT_ID);
    facts.studyDate = DateText(Value(dataSet, frame, TAG_STUDY_DATE));
    facts.studyDescription = Value(dataSet, frame, TAG_STUDY_DESCRIPTION);
    facts.seriesNumber = Value(dataSet, frame, TAG_SERIES_NUMBER);
    facts.seriesDescription = Value(dataSet, frame, TAG_SERIES_DESCRIPTION);
    facts.instanceNumber = Value(dataSet, frame, TAG_INSTANCE_NUMBER);
    if (HasGridFrameOffsets(dataSet)) {
        // Each frame on its own plane of the grid; the file's one slice location is the first's.
        if (const auto position = GridFramePosition(dataSet, frame))
            facts.imagePosition = MillimetreText(*position);
        return facts;
    }
    if (const std::string location = Value(dataSet, frame, TAG_SLICE_LOCATION); !location.empty())
        facts.sliceLocation = MillimetreText(std::span(&location, 1));
    std::vector<std::string> position;
    for (uint32_t k = 0; k < 3; ++k) {
        std::string value = Value(dataSet, frame, TAG_IMAGE_POSITION, k);
        if (value.empty())
            break;
        position.push_back(std::move(value));
    }
    facts.imagePosition = MillimetreText(position);
    return facts;
}

CornerLines ComposeCorners(const OverlayFacts& facts, const OverlayView& view)
{
    CornerLines corners;
    auto add = [&corners](Corner corner, std::string line) {
        if (!line.empty())
            corners[static_cast<size_t>(corner)].push_back(std::move(line));
    };
    add(Corner::TopLeft, facts.patientName);
    add(Corner::TopLeft, facts.patientId);
    add(Corner::TopRight, facts.studyDate);
    add(Corner::TopRight, facts.studyDescription);
    if (!facts.seriesNumber.empty() || !facts.seriesDescription.empty())
        add(Corner::BottomLeft, Joined("Se: " + facts.seriesNumber, facts.seriesDescription));
    if (view.imageIndex > 0 && view.imageCount > 0)
        add(Corner::BottomLeft,
            "Im: " + std::to_string(view.imageIndex) + " / " + std::to_string(view.imageCount));
    else if (!facts.instanceNumber.empty())
        add(Corner::BottomLeft, "Im: " + facts.instanceNumber);
    if (view.window)
        add(Corner::BottomRight, WindowText(*view.window, view.units));
    add(Corner::BottomRight, "Zoom: " + Fixed(view.zoom * 100.0, 0) + "%");
    if (!facts.sliceLocation.empty())
        add(Corner::BottomRight, "Loc: " + facts.sliceLocation);
    else if (!facts.imagePosition.empty())
        add(Corner::BottomRight, "Pos: " + facts.imagePosition);
    return corners;
}

} // namespace velmora
