// OverlayFacts: reading the overlay's elements and composing the corner lines.
#include "imaging/overlay_facts.h"

#include "toolkit/character_set.h"
#include "toolkit/data_set.h"

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

// Value `index` of a top-level element as UTF-8; empty when absent.
std::string Value(DataSet& dataSet, uint32_t tag, uint32_t index = 0)
{
    const ElementId id = dataSet.FindElement(NO_ELEMENT, tag, true);
    if (id == NO_ELEMENT)
        return {};
    return GetText(dataSet, id, index).value_or("");
}

std::string DateText(std::string date)
{
    if (date.size() == 8
        && std::all_of(date.begin(), date.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2);
    return date;
}

// A number as short as it reads: no trailing zeros, at most two decimals.
std::string Number(double value)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", std::round(value * 100.0) / 100.0 + 0.0);
    std::string out = text;
    while (out.back() == '0')
        out.pop_back();
    if (out.back() == '.')
        out.pop_back();
    return out == "-0" ? "0" : out;
}

std::string Joined(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return a + b;
    return a + " " + b;
}

} // namespace

OverlayFacts ReadOverlayFacts(DataSet& dataSet)
{
    OverlayFacts facts;
    facts.patientName = Value(dataSet, TAG_PATIENT_NAME);
    std::replace(facts.patientName.begin(), facts.patientName.end(), '^', ' ');
    while (!facts.patientName.empty() && facts.patientName.back() == ' ')
        facts.patientName.pop_back();
    facts.patientId = Value(dataSet, TAG_PATIENT_ID);
    facts.studyDate = DateText(Value(dataSet, TAG_STUDY_DATE));
    facts.studyDescription = Value(dataSet, TAG_STUDY_DESCRIPTION);
    facts.seriesNumber = Value(dataSet, TAG_SERIES_NUMBER);
    facts.seriesDescription = Value(dataSet, TAG_SERIES_DESCRIPTION);
    facts.instanceNumber = Value(dataSet, TAG_INSTANCE_NUMBER);
    facts.sliceLocation = Value(dataSet, TAG_SLICE_LOCATION);
    const std::string x = Value(dataSet, TAG_IMAGE_POSITION, 0);
    if (!x.empty())
        facts.imagePosition
            = x + ", " + Value(dataSet, TAG_IMAGE_POSITION, 1) + ", " + Value(dataSet, TAG_IMAGE_POSITION, 2);
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
        add(Corner::BottomRight, "W: " + Number(view.window->width) + " L: " + Number(view.window->center));
    add(Corner::BottomRight, "Zoom: " + Number(view.zoom * 100.0) + "%");
    if (!facts.sliceLocation.empty())
        add(Corner::BottomRight, "Loc: " + facts.sliceLocation);
    else if (!facts.imagePosition.empty())
        add(Corner::BottomRight, "Pos: " + facts.imagePosition);
    return corners;
}

} // namespace velmora
