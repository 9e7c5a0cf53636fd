// ExamModel and the Qt-free filing rules: labels, sibling identity, numbering and traversal.
#include "app/model/exam_filing.h"
#include "app/model/exam_model.h"
#include "tests/app/hostile_folder.h"
#include "toolkit/built_in_tables.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace velmora {
namespace {

FileLabels Labels(std::string patient, std::string study, std::string series, int32_t frames = 1)
{
    return FileLabels { std::move(patient), std::move(study), std::move(series), frames };
}

// The image items of the whole tree in NextImage order from the first one.
std::vector<ExamItem> Images(const ExamModel& model)
{
    std::vector<ExamItem> images;
    for (ExamItem item = model.FirstDeepest(); item;) {
        images.push_back(item);
        item = model.NextImage(item, Wrap::No, Across::WholeTree);
    }
    return images;
}

TEST(ExamModel, ThreeFilesOfOneSeriesNumberedOneToThree)
{
    ExamModel model;
    for (const char* path : { "/a/1", "/a/2", "/a/3" })
        FileImage(model, Labels("P", "S", "R"), path);
    EXPECT_EQ(model.ItemCount(), 6u);
    const ExamItem series = model.FirstChild(model.FirstChild(model.FirstChild(0)));
    ASSERT_EQ(model.ChildCount(series), 3);
    ExamItem image = model.FirstChild(series);
    for (const char* label : { "Image  1", "Image  2", "Image  3" }) {
        EXPECT_EQ(model.Label(image), label);
        EXPECT_EQ(model.Level(image), ExamLevel::Image);
        image = model.NextSibling(image);
    }
}

// Siblings keep the order in which they were first seen, never sorted: later files of a known
// patient, study or series join it, and images are numbered in filing order.
TEST(ExamModel, SiblingsStayInTheOrderFirstSeen)
{
    ExamModel model;
    FileImage(model, Labels("Zed", "Knee", "T2"), "/1");
    FileImage(model, Labels("Adam", "Head", "Axial"), "/2");
    FileImage(model, Labels("Zed", "Ankle", "T1"), "/3");
    FileImage(model, Labels("Zed", "Knee", "PD"), "/4");
    FileImage(model, Labels("Zed", "Knee", "T2"), "/5");
    // The tree, one line per item in pre-order, two spaces per level.
    std::string tree;
    std::function<void(ExamItem, int)> walk = [&](ExamItem parent, int depth) {
        for (ExamItem item = model.FirstChild(parent); item; item = model.NextSibling(item)) {
            std::string path;
            model.GetPath(item, path);
            tree += std::string(2 * depth, ' ') + model.Label(item) + (path.empty() ? "" : " " + path) + "\n";
            walk(item, depth + 1);
        }
    };
    walk(0, 0);
    EXPECT_EQ(tree,
        "Zed\n"
        "  Knee\n"
        "    T2\n"
        "      Image  1 /1\n"
        "      Image  2 /5\n"
        "    PD\n"
        "      Image  1 /4\n"
        "  Ankle\n"
        "    T1\n"
        "      Image  1 /3\n"
        "Adam\n"
        "  Head\n"
        "    Axial\n"
        "      Image  1 /2\n");
}

TEST(ExamModel, MultiFrameFileGivesOneItemPerFrame)
{
    ExamModel model;
    FileImage(model, Labels("P", "S", "R", 12), "/cine.dcm");
    const auto images = Images(model);
    ASSERT_EQ(images.size(), 12u);
    for (int k = 0; k < 12; ++k) {
        std::string path;
        int32_t frame = 0;
        EXPECT_TRUE(model.GetPath(images[k], path));
        EXPECT_TRUE(model.GetFrame(images[k], frame));
        EXPECT_EQ(path, "/cine.dcm");
        EXPECT_EQ(frame, k + 1);
    }
    EXPECT_EQ(model.Label(images[9]), "Image 10");
}

TEST(ExamModel, NumbersFromOneHundredTakeThreePlaces)
{
    ExamModel model;
    FileImage(model, Labels("P", "S", "R", 100), "/x");
    EXPECT_EQ(model.Label(Images(model).back()), "Image 100");
}

TEST(ExamModel, PatientNamesDifferingInCaseShareTheFirstLabel)
{
    ExamModel model;
    FileImage(model, Labels("DOE^JOHN", "S", "R"), "/1");
    FileImage(model, Labels("Doe^John", "S", "R"), "/2");
    ASSERT_EQ(model.ChildCount(0), 1);
    EXPECT_EQ(model.Label(model.FirstChild(0)), "DOE JOHN");
    EXPECT_EQ(Images(model).size(), 2u);
}

TEST(ExamModel, EmptyTrailingNameComponentsNameTheSamePatient)
{
    ExamModel model;
    FileImage(model, Labels("Doe^John", "S", "R"), "/1");
    FileImage(model, Labels("Doe^John^^^", "S", "R"), "/2");
    FileImage(model, Labels("Doe^John==", "S", "R"), "/3");
    FileImage(model, Labels("^^^^", "S", "R"), "/4");
    FileImage(model, Labels("=^=", "S", "R"), "/5");
    FileImage(model, Labels("Doe^^^Jr", "S", "R"), "/6");
    FileImage(
        model, Labels("Yamada^Tarou=\xe5\xb1\xb1\xe7\x94\xb0^\xe5\xa4\xaa\xe9\x83\x8e=", "S", "R"), "/7");
    std::vector<std::string> patients;
    for (ExamItem p = model.FirstChild(0); p != 0; p = model.NextSibling(p))
        patients.push_back(model.Label(p));
    const std::vector<std::string> expected = { "Doe John", "Unknown Patient", "Doe   Jr",
        "Yamada Tarou=\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e" };
    EXPECT_EQ(patients, expected);
}

TEST(ExamModel, EmptyAndMissingLabelsShareTheUnknownItems)
{
    ExamModel model;
    FileImage(model, Labels("", "", ""), "/1");
    FileImage(model, Labels("", "", "", 2), "/2");
    ASSERT_EQ(model.ChildCount(0), 1);
    const ExamItem patient = model.FirstChild(0);
    EXPECT_EQ(model.Label(patient), "Unknown Patient");
    EXPECT_EQ(model.Label(model.FirstChild(patient)), "Unknown Study");
    EXPECT_EQ(model.Label(model.FirstChild(model.FirstChild(patient))), "Unknown Series");
    EXPECT_EQ(Images(model).size(), 3u);
}

TEST(ExamModel, FilesWithoutPixelDataKeepTheirGroups)
{
    ExamModel model;
    FileImage(model, Labels("P", "S", "R", -1), "/sr");
    FileImage(model, Labels("P", "S", "Q", 0), "/sr2");
    EXPECT_EQ(model.ItemCount(), 4u);
    EXPECT_EQ(model.FirstDeepest(), model.FirstChild(model.FirstChild(model.FirstChild(0))));
    // The first image of a group lies past the series without one.
    const ExamItem patient = model.FirstChild(0);
    EXPECT_EQ(model.FirstImage(patient), 0);
    FileImage(model, Labels("P", "S", "T", 2), "/ct");
    const ExamItem study = model.FirstChild(patient);
    const ExamItem image = model.FirstChild(model.LastChild(study));
    ASSERT_TRUE(model.Record(image));
    for (const ExamItem item : { patient, study, model.LastChild(study), image })
        EXPECT_EQ(model.FirstImage(item), image);
    EXPECT_EQ(model.FirstImage(model.FirstChild(study)), 0);
    EXPECT_EQ(model.FirstImage(0), 0);
}

TEST(ExamModel, SiblingLabelsIgnoreTheCaseOfLetters)
{
    ExamModel model;
    FileImage(model, Labels("M\xC3\xBCller^Hans", "Study", "Series"), "/a"); // Müller
    FileImage(model, Labels("M\xC3\x9CLLER^HANS", "STUDY", "series"), "/b"); // MÜLLER
    FileImage(model, Labels("Mueller^Hans", "Study", "Series"), "/c");
    EXPECT_EQ(Images(model).size(), 3u);
    const ExamItem first = model.FirstChild(0);
    ASSERT_NE(first, 0);
    EXPECT_NE(model.NextSibling(first), 0);
    EXPECT_EQ(model.NextSibling(model.NextSibling(first)), 0); // two patients
}

// Two patients; the first has one study with series A (3 images) and B (1 image).
struct TwoPatients : ::testing::Test {
    void SetUp() override
    {
        for (int k = 0; k < 3; ++k)
            FileImage(model, Labels("P1", "S", "A"), "/a" + std::to_string(k));
        FileImage(model, Labels("P1", "S", "B"), "/b");
        FileImage(model, Labels("P2", "T", "C", 2), "/c");
        images = Images(model);
    }
    ExamModel model;
    std::vector<ExamItem> images; // a0 a1 a2 b c1 c2
};

TEST_F(TwoPatients, NextWrapsWithinTheSeriesOrCrossesIt)
{
    ASSERT_EQ(images.size(), 6u);
    EXPECT_EQ(model.NextImage(images[2], Wrap::Yes, Across::SeriesOnly), images[0]);
    EXPECT_EQ(model.NextImage(images[2], Wrap::Yes, Across::WholeTree), images[3]);
    EXPECT_EQ(model.NextImage(images[3], Wrap::Yes, Across::WholeTree), images[4]);
    EXPECT_EQ(model.NextImage(images[5], Wrap::Yes, Across::WholeTree), images[0]);
    EXPECT_EQ(model.NextImage(images[5], Wrap::No, Across::WholeTree), 0);
    // The only image of a series has no other to go to.
    EXPECT_EQ(model.NextImage(images[3], Wrap::Yes, Across::SeriesOnly), 0);
    // From a group item: its first image.
    EXPECT_EQ(model.NextImage(model.FirstChild(0), Wrap::Yes, Across::SeriesOnly), images[0]);
    EXPECT_EQ(model.NextImage(0, Wrap::Yes, Across::WholeTree), 0);
}

TEST_F(TwoPatients, PreviousWrapsWithinTheSeriesOrCrossesIt)
{
    EXPECT_EQ(model.PreviousImage(images[0], Across::SeriesOnly), images[2]);
    EXPECT_EQ(model.PreviousImage(images[0], Across::WholeTree), images[5]);
    EXPECT_EQ(model.PreviousImage(images[3], Across::WholeTree), images[2]);
    EXPECT_EQ(model.PreviousImage(images[4], Across::WholeTree), images[3]);
    EXPECT_EQ(model.PreviousImage(images[3], Across::SeriesOnly), 0);
    EXPECT_EQ(model.PreviousImage(images[1], Across::SeriesOnly), images[0]);
}

TEST_F(TwoPatients, LastDescendantAndFirstImageOfLastPatient)
{
    EXPECT_EQ(model.LastDescendant(model.FirstChild(0)), images[3]);
    EXPECT_EQ(model.FirstImageOfLastPatient(), images[4]);
    EXPECT_EQ(model.LastDescendant(images[1]), images[1]);
}

TEST_F(TwoPatients, CollectFourBySiblingsOrThroughTheTree)
{
    const FourSlots siblings = model.CollectFour(images[1], false);
    EXPECT_EQ(siblings[0], (TileSlot { "/a1", 1 }));
    EXPECT_EQ(siblings[1], (TileSlot { "/a2", 1 }));
    EXPECT_EQ(siblings[2], TileSlot {});
    EXPECT_EQ(siblings[3], TileSlot {});
    const FourSlots whole = model.CollectFour(images[2], true);
    EXPECT_EQ(whole[1], (TileSlot { "/b", 1 }));
    EXPECT_EQ(whole[2], (TileSlot { "/c", 1 }));
    EXPECT_EQ(whole[3], (TileSlot { "/c", 2 }));
    // A group item fills no slot 0; with the whole list the next three images follow it.
    const FourSlots group = model.CollectFour(model.FirstChild(0), true);
    EXPECT_EQ(group[0], TileSlot {});
    EXPECT_EQ(group[1], (TileSlot { "/a0", 1 }));
    EXPECT_EQ(model.CollectFour(0, true), FourSlots {});
}

TEST(ExamModel, CollectFourRepeatsInASmallTree)
{
    ExamModel model;
    FileImage(model, Labels("P", "S", "R", 2), "/x");
    const auto images = Images(model);
    const FourSlots slots = model.CollectFour(images[0], true);
    EXPECT_EQ(slots[0].frame, 1);
    EXPECT_EQ(slots[1].frame, 2);
    EXPECT_EQ(slots[2].frame, 1);
    EXPECT_EQ(slots[3].frame, 2);
}

TEST(ExamModel, DeleteAndClearKeepTheStructureConsistent)
{
    ExamModel model;
    FileImage(model, Labels("P", "S", "R", 3), "/x");
    auto images = Images(model);
    model.DeleteItem(images[1]);
    EXPECT_EQ(model.NextSibling(images[0]), images[2]);
    EXPECT_EQ(model.PreviousSibling(images[2]), images[0]);
    EXPECT_FALSE(model.Valid(images[1]));
    // Numbering counts the children present when an image is added.
    FileImage(model, Labels("p", "s", "r"), "/y");
    EXPECT_EQ(model.Label(model.LastDescendant(model.FirstChild(0))), "Image  3");
    model.DeleteItem(model.FirstChild(0));
    EXPECT_TRUE(model.Empty());
    EXPECT_EQ(model.ItemCount(), 0u);
    FileImage(model, Labels("P", "S", "R"), "/z");
    model.Clear();
    EXPECT_TRUE(model.Empty());
    EXPECT_EQ(model.NextImage(1, Wrap::Yes, Across::WholeTree), 0);
}

TEST(ExamFiling, PictureNamesByTheirLastFourCharacters)
{
    for (const char* name : { "scan.JPEG", "photo.jpg", "notjpeg", "a.JPG", "x.jPeG" })
        EXPECT_TRUE(IsPictureName(name)) << name;
    for (const char* name : { "a.jpe", "b.jfif", "jpg", "", "image.dcm", "DICOMDIR" })
        EXPECT_FALSE(IsPictureName(name)) << name;
    EXPECT_EQ(FileNamePart("/a/b/c.jpg"), "c.jpg");
    EXPECT_EQ(FileNamePart("c.jpg"), "c.jpg");
}

TEST(ExamFiling, AddDicomFileRefusesEmptyPathsAndSkipsDicomdir)
{
    ExamModel model;
    EXPECT_EQ(AddDicomFile(model, ""), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(AddDicomFile(model, "/nowhere/DicomDir"), SUCCESS);
    EXPECT_EQ(AddDicomFile(model, "/nowhere/missing.dcm"), ERROR_FILE_OPEN);
    EXPECT_TRUE(model.Empty());
}

TEST(ExamFiling, ScanWalksNestedFoldersAndSplitsPictures)
{
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("velmora_scan_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "b" / "deep");
    fs::create_directories(root / "a");
    fs::create_directories(root / "empty");
    fs::create_directories(root / "y");
    for (const fs::path& file : { root / "a" / "1.dcm", root / "b" / "deep" / "2", root / "b" / "scan.JPEG",
             root / "b" / "photo.jpg", root / "z.dcm", root / "c.dcm", root / "y" / "3" })
        std::ofstream(file) << "x";
    std::vector<std::string> dicom, pictures;
    ScanFolder(root.string(),
        { [&](const std::string& p) { dicom.push_back(p); },
            [&](const std::string& p) { pictures.push_back(p); } });
    // Entries by name: a/ b/ c.dcm empty/ y/ z.dcm. A folder's files are all taken where its
    // first file comes (c.dcm), so z.dcm comes before the later-sorting subfolder y/.
    const std::vector<std::string> wantDicom
        = { (root / "a" / "1.dcm").string(), (root / "b" / "deep" / "2").string(), (root / "c.dcm").string(),
              (root / "z.dcm").string(), (root / "y" / "3").string() };
    EXPECT_EQ(dicom, wantDicom);
    const std::vector<std::string> wantPictures
        = { (root / "b" / "photo.jpg").string(), (root / "b" / "scan.JPEG").string() };
    EXPECT_EQ(pictures, wantPictures);
    // A missing folder is skipped quietly.
    dicom.clear();
    ScanFolder((root / "missing").string(), { [&](const std::string& p) { dicom.push_back(p); }, nullptr });
    EXPECT_TRUE(dicom.empty());
    fs::remove_all(root);
}

TEST(ExamFiling, DeflatedFileIsLabelledWithoutSpoolingItsBody)
{
    // pydicom reads PatientName '^^^^', no descriptions, one 512 x 512 8-bit frame.
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    FileLabels labels;
    ASSERT_EQ(ReadFileLabels("/usr/lib/python3/dist-packages/pydicom/data/test_files/image_dfl.dcm", labels),
        SUCCESS);
    EXPECT_EQ(labels.patient, "^^^^");
    EXPECT_EQ(labels.study, "");
    EXPECT_EQ(labels.series, "");
    EXPECT_EQ(labels.frames, 1);
}

TEST(ExamFiling, HostileFolderFinishesAndFilesEachImageOnce)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    const testing::HostileFolder folder;
    std::vector<std::string> dicom, pictures;
    ScanFolder(folder.Root(),
        { [&](const std::string& p) { dicom.push_back(p); },
            [&](const std::string& p) { pictures.push_back(p); } });
    // Every regular file once, in walk order, and nothing else; the cut files are tried too.
    const std::string root = folder.Root();
    const std::vector<std::string> wantDicom = { folder.Images()[0], root + "/b/ct2.dcm",
        root + "/b/cut_header.dcm", root + "/b/cut_preamble.dcm", folder.Images()[2], folder.Images()[3] };
    EXPECT_EQ(dicom, wantDicom);
    EXPECT_TRUE(pictures.empty());

    ExamModel model;
    ScanFolder(folder.Root(), { [&](const std::string& p) { AddDicomFile(model, p); }, nullptr });
    EXPECT_EQ(testing::HostileFolder::FiledPaths(model), folder.SortedImages());
}

} // namespace
} // namespace velmora
