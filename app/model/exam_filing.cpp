#include "app/model/exam_filing.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace velmora {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return fold(x) == fold(y);
    });
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

struct Entry {
    std::string name;
    bool directory = false;
};

// The entries of `folder` without "." and "..", sorted by name; false when it cannot be listed.
bool ListFolder(const std::string& folder, std::vector<Entry>& entries)
{
    DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
    if (!dir)
        return false;
    while (dirent* found = readdir(dir)) {
        std::string name = found->d_name;
        if (name == "." || name == "..")
            continue;
        bool directory = false;
        if (found->d_type == DT_DIR) {
            directory = true;
        } else if (found->d_type == DT_UNKNOWN || found->d_type == DT_LNK) {
            struct stat info { };
            directory = stat(JoinPath(folder, name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back({ std::move(name), directory });
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

} // namespace

bool IsPictureName(const std::string& name)
{
    if (name.size() < 4)
        return false;
    const std::string_view last4 = std::string_view(name).substr(name.size() - 4);
    return EqualsIgnoringCase(last4, ".jpg") || EqualsIgnoringCase(last4, "jpeg");
}

std::string FileNamePart(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void FileImage(ExamModel& model, const FileLabels& labels, const std::string& path)
{
    std::string patientName = labels.patient.empty() ? std::string("Unknown Patient") : labels.patient;
    std::replace(patientName.begin(), patientName.end(), '^', ' ');
    const ExamItem patient = model.FindOrAddChild(patientName, 0, ExamLevel::Patient);
    const ExamItem study = model.FindOrAddChild(
        labels.study.empty() ? std::string_view("Unknown Study") : labels.study, patient, ExamLevel::Study);
    const ExamItem series = model.FindOrAddChild(
        labels.series.empty() ? std::string_view("Unknown Series") : labels.series, study, ExamLevel::Series);
    for (int32_t frame = 1; frame <= labels.frames; ++frame)
        model.AddImageItem(series, path, frame);
}

ResultCode AddDicomFile(ExamModel& model, const std::string& path)
{
    if (path.empty())
        return ERROR_GENERAL_PARAMETER;
    if (EqualsIgnoringCase(FileNamePart(path), "DICOMDIR"))
        return SUCCESS;
    FileLabels labels;
    if (ReadFileLabels(path, labels) != SUCCESS)
        return ERROR_FILE_OPEN;
    FileImage(model, labels, path);
    return SUCCESS;
}

void ScanFiles(const std::string& folder, const ScanSinks& sinks)
{
    std::vector<Entry> entries;
    if (!ListFolder(folder, entries))
        return;
    for (const Entry& entry : entries) {
        if (entry.directory)
            continue;
        const std::string full = JoinPath(folder, entry.name);
        if (IsPictureName(entry.name)) {
            if (sinks.picture)
                sinks.picture(full);
        } else if (sinks.dicom) {
            sinks.dicom(full);
        }
    }
}

void ScanFolder(const std::string& folder, const ScanSinks& sinks)
{
    std::vector<Entry> entries;
    if (!ListFolder(folder, entries))
        return;
    bool filesDone = false;
    for (const Entry& entry : entries) {
        if (entry.directory) {
            ScanFolder(JoinPath(folder, entry.name), sinks);
        } else if (!filesDone) {
            filesDone = true;
            ScanFiles(folder, sinks);
        }
    }
}

} // namespace velmora
