#include "app/model/exam_filing.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>
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

enum class EntryKind { Directory, RegularFile, Other };

// A file's or directory's identity, whatever path leads to it.
using FileId = std::pair<dev_t, ino_t>;

struct Entry {
    std::string name;
    EntryKind kind = EntryKind::Other;
    FileId id {}; // of regular files
};

// What an entry is once symbolic links are followed (a dangling link is Other), and the identity
// of a regular file. Only links and file systems without entry types cost a stat().
Entry MakeEntry(const std::string& folder, dev_t device, const dirent& found)
{
    Entry entry { found.d_name, EntryKind::Other, { device, found.d_ino } };
    if (found.d_type == DT_DIR) {
        entry.kind = EntryKind::Directory;
    } else if (found.d_type == DT_REG) {
        entry.kind = EntryKind::RegularFile;
    } else if (found.d_type == DT_UNKNOWN || found.d_type == DT_LNK) {
        struct stat info { };
        if (stat(JoinPath(folder, entry.name).c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode))
                entry.kind = EntryKind::Directory;
            else if (S_ISREG(info.st_mode))
                entry.kind = EntryKind::RegularFile;
            entry.id = { info.st_dev, info.st_ino };
        }
    }
    return entry;
}

// The entries of `folder` without "." and "..", sorted by name; false when it cannot be listed.
// `id`, when given, receives the identity of the folder listed.
bool ListFolder(const std::string& folder, std::vector<Entry>& entries, FileId* id = nullptr)
{
    DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
    if (!dir)
        return false;
    struct stat info { };
    if (fstat(dirfd(dir), &info) != 0) {
        closedir(dir);
        return false;
    }
    if (id)
        *id = { info.st_dev, info.st_ino };
    while (dirent* found = readdir(dir)) {
        if (std::strcmp(found->d_name, ".") != 0 && std::strcmp(found->d_name, "..") != 0)
            entries.push_back(MakeEntry(folder, info.st_dev, *found));
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

// Hands the regular files among `entries` to the sinks. FIFOs, sockets and devices would block
// or never end, so they are never tried. With `seen`, a file already handed over under another
// name (a link to it, a hard link) is skipped.
void HandleFiles(const std::string& folder, const std::vector<Entry>& entries, const ScanSinks& sinks,
    std::set<FileId>* seen)
{
    for (const Entry& entry : entries) {
        if (entry.kind != EntryKind::RegularFile || (seen && !seen->insert(entry.id).second))
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

// Marks `folder`'s ancestors as walked: a link back up (`up -> ..`) must not widen the walk to
// the folders around the one chosen.
void MarkAncestors(const std::string& folder, std::set<FileId>& walked)
{
    char* resolved = realpath(folder.empty() ? "/" : folder.c_str(), nullptr);
    if (!resolved)
        return;
    std::string path = resolved;
    std::free(resolved);
    while (path.size() > 1) {
        path.erase(std::max<size_t>(path.rfind('/'), 1));
        struct stat info { };
        if (stat(path.c_str(), &info) == 0)
            walked.insert({ info.st_dev, info.st_ino });
    }
}

// The walk of ScanFolder. Each directory (device and inode) is walked once, so symbolic links
// that loop back into the tree end, and each file is handed over once.
void WalkFolder(
    const std::string& folder, const ScanSinks& sinks, std::set<FileId>& walked, std::set<FileId>& seen)
{
    std::vector<Entry> entries;
    FileId id {};
    if (!ListFolder(folder, entries, &id) || !walked.insert(id).second)
        return;
    bool filesDone = false;
    for (const Entry& entry : entries) {
        if (entry.kind == EntryKind::Directory) {
            WalkFolder(JoinPath(folder, entry.name), sinks, walked, seen);
        } else if (!filesDone) {
            filesDone = true;
            HandleFiles(folder, entries, sinks, &seen);
        }
    }
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
    // Empty trailing name components and component groups carry nothing ("Doe^John^^" is
    // "Doe^John", PS3.5 section 6.2.1), so they are dropped: one patient is one row, and a name
    // of separators only ("^^^^") is no name rather than a blank row.
    std::string patientName = labels.patient;
    patientName.erase(patientName.find_last_not_of("^= ") + 1);
    if (patientName.empty())
        patientName = "Unknown Patient";
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
    if (ListFolder(folder, entries))
        HandleFiles(folder, entries, sinks, nullptr);
}

void ScanFolder(const std::string& folder, const ScanSinks& sinks)
{
    std::set<FileId> walked, seen;
    MarkAncestors(folder, walked);
    WalkFolder(folder, sinks, walked, seen);
}

} // namespace velmora
