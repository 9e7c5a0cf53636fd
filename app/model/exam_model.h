// ExamModel: the Qt-free exam tree of the viewer. Patients, studies, series and images in
// insertion order, sibling identity by label ignoring case, "Image %2d" numbering, and the
// traversal that Previous, Next, cine and 4-up follow. ExamTree (app/exam_tree.h) shows it in a
// tree widget; velmora-tool scan prints it. Sits in the app layer below every widget.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Handle of an item; 0 is none (and, as a parent, the top level).
using ExamItem = int32_t;

// What an image item points at. The path is stored whole, however long.
struct ImageItemRecord {
    std::string path;
    int32_t frame = 0;
};

// The level of an item, which is also its picture in the tree's image strip.
enum class ExamLevel : int { Patient = 0, Study = 1, Series = 2, Image = 3 };

// One (path, frame) pair for a tile; an empty path and frame 0 where there is none.
// `index` / `count`: the image's place among the images of its series (1-based), shown by the
// overlay; 0 when unknown. A slot is the same slot whatever its place.
struct TileSlot {
    std::string path;
    int32_t frame = 0;
    int32_t index = 0;
    int32_t count = 0;
    bool operator==(const TileSlot& other) const { return path == other.path && frame == other.frame; }
};
using FourSlots = std::array<TileSlot, 4>;

// Whether a traversal step wraps to the start and whether it crosses series boundaries.
enum class Wrap { No, Yes };
enum class Across { SeriesOnly, WholeTree };

// Label equality for siblings: the UTF-8 labels compared ignoring the case of their letters
// (EqualIgnoringCase), never folding a single byte of a multibyte character.
bool SameLabel(std::string_view a, std::string_view b);

class ExamModel {
public:
    // Observer of structural changes, for a view that mirrors the model.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void ItemAdded(ExamItem item) = 0;
        virtual void ItemRemoving(ExamItem item) = 0;
        virtual void Cleared() = 0;
    };
    void SetListener(Listener* listener) { m_listener = listener; }

    // The child of `parent` (0: top level) whose label equals `label` ignoring case, else a new
    // child appended after its last sibling.
    ExamItem FindOrAddChild(std::string_view label, ExamItem parent, ExamLevel level);
    // Appends "Image %2d" (n = children of `series` + 1) with its record; 0 when `series` is 0.
    ExamItem AddImageItem(ExamItem series, std::string_view path, int32_t frame);

    bool GetPath(ExamItem item, std::string& path) const;
    bool GetFrame(ExamItem item, int32_t& frame) const;
    const ImageItemRecord* Record(ExamItem item) const;

    void DeleteItem(ExamItem item);
    void Clear();

    ExamItem NextImage(ExamItem item, Wrap wrap, Across across) const;
    ExamItem PreviousImage(ExamItem item, Across across) const;
    ExamItem LastDescendant(ExamItem item) const;
    // `item` itself when it is an image, else its first image in tree order (a series filed
    // from files without pixel data has none, so it is passed over); 0 when it holds none.
    ExamItem FirstImage(ExamItem item) const;
    ExamItem FirstImageOfLastPatient() const;
    // The first top-level item descended through first children (what Next selects when
    // nothing is selected); 0 for an empty tree.
    ExamItem FirstDeepest() const;
    FourSlots CollectFour(ExamItem item, bool wholeList) const;

    // Structure, in insertion order.
    bool Valid(ExamItem item) const;
    ExamItem Parent(ExamItem item) const;
    ExamItem FirstChild(ExamItem item) const; // item 0: the first top-level item
    ExamItem LastChild(ExamItem item) const;
    ExamItem NextSibling(ExamItem item) const;
    ExamItem PreviousSibling(ExamItem item) const;
    int ChildCount(ExamItem item) const;
    const std::string& Label(ExamItem item) const;
    ExamLevel Level(ExamItem item) const;
    bool Empty() const { return FirstChild(0) == 0; }
    size_t ItemCount() const { return m_live; }

private:
    struct Node {
        std::string label;
        ExamLevel level = ExamLevel::Patient;
        ExamItem parent = 0, first = 0, last = 0, next = 0, prev = 0;
        int children = 0;
        bool live = false;
        std::optional<ImageItemRecord> record;
    };
    ExamItem Append(ExamItem parent, std::string label, ExamLevel level);
    ExamItem Deepest(ExamItem item) const;
    Node& At(ExamItem item) { return m_nodes[item - 1]; }
    const Node& At(ExamItem item) const { return m_nodes[item - 1]; }

    std::vector<Node> m_nodes; // item k lives at k - 1; deleted items leave dead slots
    ExamItem m_topFirst = 0, m_topLast = 0;
    int m_topCount = 0;
    size_t m_live = 0;
    Listener* m_listener = nullptr;
};

} // namespace velmora
