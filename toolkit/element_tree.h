// ElementTree: the elements of a data set as records in one growable node array, addressed by
// ElementId (an index; -1 = none). Nodes not in use are chained on a free list and reused.
#pragma once

#include "toolkit/result_code.h"

#include <cstdint>

namespace velmora {

class DiskFile;

using ElementId = int32_t;
inline constexpr ElementId NO_ELEMENT = -1;

// One piece of a value. The first chunk is embedded in the node; further ones are heap records.
// Exactly one of `file` and `memory` is set for a non-empty chunk. A chunk in the source file holds
// the element's own byte order; memory and spool-file chunks hold host (little-endian) order.
struct ValueChunk {
    ValueChunk* next = nullptr;
    DiskFile* file = nullptr;
    uint32_t length = 0; // value length; 0xFFFFFFFF = undefined (for an element read from a file)
    uint64_t offset = 0; // position of the bytes in `file`
    uint8_t* memory = nullptr;
};

inline constexpr uint32_t UNDEFINED_VALUE_LENGTH = 0xFFFFFFFFu;

// Flags of an ElementNode.
enum NodeFlags : uint32_t {
    NODE_BIG_ENDIAN = 0x0002,
    NODE_EXPLICIT_VR = 0x0004,
    NODE_OWNS_MEMORY = 0x1000, // the embedded chunk's memory belongs to the node
    NODE_COMPLETE = 0x2000, // header and value consumed, or created by program
};

struct ElementNode {
    ElementId parent = NO_ELEMENT;
    ElementId firstChild = NO_ELEMENT;
    ElementId lastChild = NO_ELEMENT;
    ElementId previousSibling = NO_ELEMENT; // on the free list: the previous free node
    ElementId nextSibling = NO_ELEMENT; // on the free list: the next free node
    uint8_t inUse = 0;
    int32_t depth = 0;
    uint32_t tag = 0;
    uint16_t vr = 0x554E; // "UN"
    uint16_t reserved = 0;
    uint32_t headerLength = 0; // 8 or 12; 0 while the tag is being read
    uint32_t flags = 0;
    ValueChunk value;
};

// Placement bits of InsertNode: exactly one position, optionally PLACE_CHILD.
enum Placement : uint32_t {
    PLACE_FIRST = 0x01,
    PLACE_LAST = 0x02,
    PLACE_AFTER = 0x04,
    PLACE_BEFORE = 0x08,
    PLACE_CHILD = 0x10,
};

class ElementTree {
public:
    ElementTree();
    ElementTree(const ElementTree&) = delete;
    ElementTree& operator=(const ElementTree&) = delete;

    // Always 0; kept for interface compatibility, nothing depends on it.
    virtual int32_t TreeQuery() const { return 0; }
    virtual ~ElementTree();
    // Takes ownership of `nodes` (allocated with std::malloc/realloc; `count` records whose depth
    // fields are set) and links them in array order: each node becomes the last child of the
    // nearest preceding node one level up. ERROR_GENERAL_PARAMETER when the tree already has an
    // array, the arguments are unusable or a depth cannot be placed (the array is then not taken).
    virtual ResultCode AdoptNodes(ElementNode* nodes, int32_t count);
    // New node placed relative to `ref` (see Placement); -1 on failure. With ref = -1 the node
    // becomes the last top-level node.
    virtual ElementId InsertNode(ElementId ref, uint32_t placement);
    // Unlinks `id` and its descendants and returns them to the free list (post-order).
    virtual void RemoveSubtree(ElementId id);
    // Frees the node array and empties the tree.
    virtual void Reset();
    // SUCCESS when every link agrees with its neighbours, else ERROR_TREE_LINK.
    virtual ResultCode VerifyLinks() const;

    ElementId FirstTopLevel() const { return m_firstTop; }
    ElementId LastTopLevel() const { return m_lastTop; }
    // Counts the changes of the top level other than a node appended at its end (insertions
    // among its nodes, removals, resets), so that a scan of the top level can resume where it
    // stopped while only appends have followed.
    uint64_t TopLevelEdits() const { return m_topLevelEdits; }
    // Counts every insertion and removal anywhere in the tree (and resets), so that a position
    // found among a node's children stays usable while the tree is unchanged.
    uint64_t StructureEdits() const { return m_structureEdits; }
    ElementId FirstChild(ElementId id) const;
    ElementId LastChild(ElementId id) const;
    ElementId NextSibling(ElementId id) const;
    ElementId PreviousSibling(ElementId id) const;
    ElementId Parent(ElementId id) const;
    // Pre-order successor: first child, else next sibling, else the next sibling of the nearest
    // ancestor that has one, else -1. Whole-tree walks start at FirstTopLevel().
    ElementId NextInPreOrder(ElementId id) const;
    // Last node of the subtree of `id` in pre-order (itself when it has no children).
    ElementId LastInSubtree(ElementId id) const;
    // Depth (0 at the root level); -1 for an id not in use.
    int32_t Depth(ElementId id) const;

    // The node record, or null when `id` is not a node in use. The pointer is valid until the
    // next insertion.
    const ElementNode* Node(ElementId id) const;
    bool IsValid(ElementId id) const { return Node(id) != nullptr; }

    int32_t GrowthStep() const { return m_growthStep; }
    int32_t AllocatedCount() const { return m_allocatedCount; }
    int32_t FreeCount() const { return m_freeCount; }
    int32_t UsedCount() const { return m_allocatedCount - m_freeCount; }
    ElementId FreeHead() const { return m_freeHead; }
    ElementId FreeTail() const { return m_freeTail; }

protected:
    ElementNode* MutableNode(ElementId id);
    // Unlinks the nodes of a subtree, calling `release` on each (children first) before it goes
    // to the free list.
    template <typename Release> void RemoveSubtreeWith(ElementId id, Release release);
    void PushFree(ElementId id);
    bool Grow();

    ElementNode* m_nodes = nullptr;
    int32_t m_growthStep = 100;
    ElementId m_freeHead = NO_ELEMENT;
    ElementId m_freeTail = NO_ELEMENT;
    int32_t m_freeCount = 0;
    int32_t m_allocatedCount = 0;
    ElementId m_firstTop = NO_ELEMENT;
    ElementId m_lastTop = NO_ELEMENT;
    uint64_t m_topLevelEdits = 0;
    uint64_t m_structureEdits = 0;
};

template <typename Release> void ElementTree::RemoveSubtreeWith(ElementId id, Release release)
{
    ElementNode* root = MutableNode(id);
    if (!root)
        return;
    // Unlink the root from its level.
    const ElementId parent = root->parent;
    ++m_structureEdits;
    if (parent < 0)
        ++m_topLevelEdits;
    if (root->previousSibling >= 0)
        m_nodes[root->previousSibling].nextSibling = root->nextSibling;
    else if (parent >= 0)
        m_nodes[parent].firstChild = root->nextSibling;
    else
        m_firstTop = root->nextSibling;
    if (root->nextSibling >= 0)
        m_nodes[root->nextSibling].previousSibling = root->previousSibling;
    else if (parent >= 0)
        m_nodes[parent].lastChild = root->previousSibling;
    else
        m_lastTop = root->previousSibling;
    root->previousSibling = NO_ELEMENT;
    root->nextSibling = NO_ELEMENT;
    root->parent = NO_ELEMENT;
    // Post-order without recursion: descend to a leaf, free it, continue with its sibling or parent.
    ElementId at = id;
    while (at >= 0) {
        while (m_nodes[at].firstChild >= 0)
            at = m_nodes[at].firstChild;
        const ElementId next = (at == id)
            ? NO_ELEMENT
            : (m_nodes[at].nextSibling >= 0 ? m_nodes[at].nextSibling : m_nodes[at].parent);
        const ElementId up = m_nodes[at].parent;
        if (at != id && up >= 0) {
            // Detach from the parent so that the parent looks childless when we come back to it.
            m_nodes[up].firstChild = m_nodes[at].nextSibling;
            if (m_nodes[up].firstChild < 0)
                m_nodes[up].lastChild = NO_ELEMENT;
        }
        release(at);
        PushFree(at);
        at = next;
    }
}

} // namespace velmora
