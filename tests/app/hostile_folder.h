// A folder as found in the wild, for the scan tests of the exam model and of Browse: symbolic
// links that loop (self -> ., up -> ..), a FIFO, a link to /dev/zero, a dangling link, a file
// name that is not UTF-8, a link to a file inside and one to a file outside the folder, and
// files cut short. Four real images lie in it; a walk must finish and file each of them once.
#pragma once

#include "app/model/exam_model.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmora::testing {

class HostileFolder {
public:
    HostileFolder()
    {
        namespace fs = std::filesystem;
        const char* source = std::getenv("VELMORA_SOURCE_DIR");
        const fs::path samples = fs::path(source ? source : ".") / "resources" / "DICOM";
        m_base = fs::temp_directory_path() / ("velmora_hostile_" + std::to_string(::getpid()));
        fs::remove_all(m_base);
        m_root = m_base / "scan";
        fs::create_directories(m_root / "a" / "deeper");
        fs::create_directories(m_root / "b");
        fs::create_directories(m_base / "outside");
        const auto copy = [&](const char* sample, const fs::path& to) {
            fs::copy_file(samples / sample, to);
            return to.string();
        };
        m_images.push_back(copy("CT_HEAD/CT001.dcm", m_root / "a" / "deeper" / "ct1.dcm"));
        m_images.push_back(copy("CT_HEAD/CT002.dcm", m_root / "b" / "ct2.dcm"));
        // Latin-1 "café.dcm": not valid UTF-8.
        m_images.push_back(copy("CT_HEAD/CT005.dcm", m_root / "caf\xe9.dcm"));
        copy("MR_BRAIN/MR001.dcm", m_base / "outside" / "mr1.dcm");
        m_images.push_back((m_root / "z_outside.dcm").string());
        fs::create_symlink("../outside/mr1.dcm", m_root / "z_outside.dcm");
        fs::create_symlink("deeper/ct1.dcm", m_root / "a" / "same_ct1.dcm");
        fs::create_directory_symlink(".", m_root / "self");
        fs::create_directory_symlink("..", m_root / "a" / "up");
        fs::create_directory_symlink("../..", m_root / "b" / "upup");
        fs::create_symlink("/dev/zero", m_root / "zero.dcm");
        fs::create_symlink("missing.dcm", m_root / "dangling.dcm");
        ::mkfifo((m_root / "fifo.dcm").c_str(), 0600);
        ::mkfifo((m_root / "b" / "pipe.jpg").c_str(), 0600);
        // Cut short: inside the preamble, and inside the first data element of the header.
        Cut(samples / "CT_HEAD/CT003.dcm", m_root / "b" / "cut_preamble.dcm", 100);
        Cut(samples / "CT_HEAD/CT004.dcm", m_root / "b" / "cut_header.dcm", 140);
    }
    ~HostileFolder() { std::filesystem::remove_all(m_base); }
    HostileFolder(const HostileFolder&) = delete;
    HostileFolder& operator=(const HostileFolder&) = delete;

    std::string Root() const { return m_root.string(); }
    // The paths under which the walk files the real images, in walk order (sorted names,
    // subfolders where they come in the listing).
    const std::vector<std::string>& Images() const { return m_images; }
    std::vector<std::string> SortedImages() const
    {
        std::vector<std::string> sorted = m_images;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }
    // The paths of every image item of `model`, sorted: to compare with SortedImages().
    static std::vector<std::string> FiledPaths(const ExamModel& model)
    {
        std::vector<std::string> paths;
        for (ExamItem item = model.FirstDeepest(); item;
             item = model.NextImage(item, Wrap::No, Across::WholeTree)) {
            std::string path;
            if (model.GetPath(item, path))
                paths.push_back(path);
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }

private:
    static void Cut(const std::filesystem::path& from, const std::filesystem::path& to, size_t size)
    {
        std::ifstream in(from, std::ios::binary);
        std::string bytes(size, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(size));
        std::ofstream(to, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    }

    std::filesystem::path m_base, m_root;
    std::vector<std::string> m_images;
};

} // namespace velmora::testing
