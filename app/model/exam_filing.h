// Filing of DICOM files into the ExamModel and the folder walk that finds them. The GUI's
// MainDialog and `velmora-tool scan` both go through these functions, so both build the same
// tree. Qt-free.
#pragma once

#include "app/model/exam_model.h"
#include "toolkit/result_code.h"

#include <functional>
#include <string>

namespace velmora {

// What filing needs from one file: the first value of Patient's Name, Study Description and
// Series Description (empty when absent, empty or unreadable) and the frame count.
struct FileLabels {
    std::string patient, study, series;
    int32_t frames = -1; // -1 or 0: no pixel data
};

// Reads the labels and the frame count of `path` (DataSet::Load, the three attributes anywhere
// in the data set, ImageSource frame count); a deflated file is inflated in passing, never to
// disk. ERROR_FILE_OPEN when the reader refuses the file.
ResultCode ReadFileLabels(const std::string& path, FileLabels& labels);

// Files frames 1..labels.frames of `path` under patient / study / series (created when new):
// empty labels become "Unknown Patient" / "Unknown Study" / "Unknown Series"; the patient name
// loses its empty trailing components and groups, and every other "^" becomes a blank.
void FileImage(ExamModel& model, const FileLabels& labels, const std::string& path);

// An empty path: ERROR_GENERAL_PARAMETER; a file named DICOMDIR: SUCCESS without reading it;
// unreadable: ERROR_FILE_OPEN with the model unchanged; else the file is filed.
ResultCode AddDicomFile(ExamModel& model, const std::string& path);

// True when the last four characters of `name` are ".jpg" or "jpeg", ignoring case.
bool IsPictureName(const std::string& name);

// The part of `path` after its last '/', or the whole path without one.
std::string FileNamePart(const std::string& path);

// Recursive walk of `folder`, depth-first: a folder's own files are handled where its first file
// comes in the listing (entries are sorted by name, so the order is the same on every machine).
// Picture names go to `picture`, everything else to `dicom`. Unreadable folders are skipped.
// Symbolic links are followed, but each directory and file (device and inode) is met once and
// the folders above `folder` not at all, so links that loop end. Only regular files (also through
// a link) reach the sinks: a FIFO or device would block or never end. Paths are the bytes the
// system gives, whatever their encoding.
struct ScanSinks {
    std::function<void(const std::string&)> dicom;
    std::function<void(const std::string&)> picture;
};
void ScanFolder(const std::string& folder, const ScanSinks& sinks);
// The files directly inside `folder`.
void ScanFiles(const std::string& folder, const ScanSinks& sinks);

} // namespace velmora
