// ReadFileLabels: the three labels and the frame count of one DICOM file, through the toolkit's
// DataSet and the imaging layer's ImageSource. Built once the toolkit's DataSet is in the tree.
#include "app/model/exam_filing.h"

#if __has_include("toolkit/data_set.h")
#include "imaging/image_source.h"
#include "toolkit/character_set.h"
#include "toolkit/data_set.h"

namespace velmora {

namespace {

constexpr uint32_t PATIENT_NAME = 0x00100010;
constexpr uint32_t STUDY_DESCRIPTION = 0x00081030;
constexpr uint32_t SERIES_DESCRIPTION = 0x0008103E;

// The first value of `tag` anywhere in the data set as UTF-8; empty when absent, empty or
// unreadable (all three are filed under the "Unknown" label rather than dropping a level of the
// tree).
std::string FirstValue(DataSet& dataSet, uint32_t tag)
{
    const auto id = dataSet.FindElement(-1, tag, false);
    if (id < 0)
        return {};
    return GetText(dataSet, id, 0).value_or(std::string());
}

} // namespace

ResultCode ReadFileLabels(const std::string& path, FileLabels& labels)
{
    labels = FileLabels {};
    DataSet dataSet;
    try {
        // Filing needs no large value: a deflated body is parsed as it inflates, never spooled.
        if (dataSet.Load(path.c_str(), DS_DISCARD_LARGE_VALUES) != SUCCESS)
            return ERROR_FILE_OPEN;
    } catch (...) {
        return ERROR_FILE_OPEN;
    }
    labels.patient = FirstValue(dataSet, PATIENT_NAME);
    labels.study = FirstValue(dataSet, STUDY_DESCRIPTION);
    labels.series = FirstValue(dataSet, SERIES_DESCRIPTION);
    ImageSource source;
    source.Bind(&dataSet);
    labels.frames = source.FrameCount();
    source.Bind(nullptr);
    dataSet.CloseSource();
    return SUCCESS;
}

} // namespace velmora

#else

namespace velmora {

ResultCode ReadFileLabels(const std::string&, FileLabels& labels)
{
    labels = FileLabels {};
    return ERROR_FILE_OPEN;
}

} // namespace velmora

#endif
