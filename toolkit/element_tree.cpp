// ElementTree: node array, free list, placements, removal, adoption and link checks.
#include "toolkit/element_tree.h"

#include <cstdlib>
#include <new>
#include <vector>

namespace velmora {

ElementTree::ElementTree() = default;

ElementTree::~ElementTree()
{
    std::free(m_nodes);
}

const ElementNode* ElementTree::Node(ElementId id) const
{
    if (id < 0 || id >= m_allocatedCount || !m_nodes[id].inUse)
        return nullptr;
    return &m_nodes[id];
}

ElementNode* ElementTree::MutableNode(ElementId id)
{
    return const_cast<ElementNode*>(Node(id));
}

ElementId ElementTree::FirstChild(ElementId id) const
{
    const ElementNode* n = Node(id);
    return n ? n->firstChild : NO_ELEMENT;
}

ElementId ElementTree::LastChild(ElementId id) const
{
    const ElementNode* n = Node(id);
    return n ? n->lastChild : NO_ELEMENT;
}

ElementId ElementTree::NextSibling(ElementId id) const
{
    const ElementNode* n = Node(id);
    return n ? n->nextSibling : NO_ELEMENT;
}

ElementId ElementTree::PreviousSibling(ElementId id) const
{
    const ElementNode* n = Node(id);
    return n ? n->previousSibling : NO_ELEMENT;
}

ElementId ElementTree::Parent(ElementId id) const
{
    const ElementNode* n = Node(id);
    return n ? n->parent : NO_ELEMENT;
}

int32_t ElementTree::Depth(ElementId id) const
{
    const ElementNode* n = Node(id);
    return n ? n->depth : -1;
}

ElementId ElementTree::NextInPreOrder(ElementId id) const
{
    const ElementNode* n = Node(id);
    if (!n)
        return NO_ELEMENT;
    if (n->firstChild >= 0)
        return n->firstChild;
    while (n) {
        if (n->nextSibling >= 0)
            return n->nextSibling;
        n = Node(n->parent);
    }
    return NO_ELEMENT;
}

ElementId ElementTree::LastInSubtree(ElementId id) const
{
    const ElementNode* n = Node(id);
    if (!n)
        return NO_ELEMENT;
    while (n->lastChild >= 0) {
        id = n->lastChild;
        n = &m_nodes[id];
    }
    return id;
}

bool ElementTree::Grow()
{
    const int64_t total = static_cast<int64_t>(m_allocatedCount) + m_growthStep;
    if (total > INT32_MAX / 2)
        return false;
    auto* grown
        = static_cast<ElementNode*>(std::realloc(m_nodes, static_cast<size_t>(total) * sizeof(ElementNode)));
    if (!grown)
        return false;
    m_nodes = grown;
    const int32_t first = m_allocatedCount;
    m_allocatedCount = static_cast<int32_t>(total);
    for (int32_t i = first; i < m_allocatedCount; ++i) {
        new (&m_nodes[i]) ElementNode();
        PushFree(i);
    }
    return true;
}

void ElementTree::PushFree(ElementId id)
{
    ElementNode& n = m_nodes[id];
    n.inUse = 0;
    n.parent = NO_ELEMENT;
    n.firstChild = NO_ELEMENT;
    n.lastChild = NO_ELEMENT;
    n.nextSibling = NO_ELEMENT;
    n.previousSibling = m_freeTail;
    if (m_freeTail >= 0)
        m_nodes[m_freeTail].nextSibling = id;
    else
        m_freeHead = id;
    m_freeTail = id;
    ++m_freeCount;
}

ElementId ElementTree::InsertNode(ElementId ref, uint32_t placement)
{
    const uint32_t position = placement & 0x0F;
    if (position == 0 || (position & (position - 1)) != 0)
        return NO_ELEMENT;
    if (ref >= 0 && !Node(ref))
        return NO_ELEMENT;
    if (m_freeHead < 0 && !Grow())
        return NO_ELEMENT;
    // Take the head of the free list.
    const ElementId id = m_freeHead;
    m_freeHead = m_nodes[id].nextSibling;
    if (m_freeHead >= 0)
        m_nodes[m_freeHead].previousSibling = NO_ELEMENT;
    else
        m_freeTail = NO_ELEMENT;
    --m_freeCount;
    ElementNode& node = m_nodes[id];
    node = ElementNode();
    node.inUse = 1;

    ElementId parent = NO_ELEMENT;
    ElementId before = NO_ELEMENT; // node goes before this one; -1 = at the end of the level
    bool atEnd = false;
    if (ref < 0) {
        atEnd = true;
    } else if (placement & PLACE_CHILD) {
        parent = ref;
        const ElementId first = m_nodes[ref].firstChild;
        if (first < 0 || position == PLACE_LAST || position == PLACE_AFTER)
            atEnd = true;
        else
            before = first;
    } else {
        parent = m_nodes[ref].parent;
        switch (position) {
        case PLACE_FIRST:
            before = parent >= 0 ? m_nodes[parent].firstChild : m_firstTop;
            break;
        case PLACE_LAST:
            atEnd = true;
            break;
        case PLACE_AFTER:
            before = m_nodes[ref].nextSibling;
            atEnd = before < 0;
            break;
        default:
            before = ref;
            break;
        }
    }
    ++m_structureEdits;
    ElementId& first = parent >= 0 ? m_nodes[parent].firstChild : m_firstTop;
    ElementId& last = parent >= 0 ? m_nodes[parent].lastChild : m_lastTop;
    node.parent = parent;
    node.depth = parent >= 0 ? m_nodes[parent].depth + 1 : 0;
    if (atEnd || before < 0) {
        node.previousSibling = last;
        if (last >= 0)
            m_nodes[last].nextSibling = id;
        else
            first = id;
        last = id;
    } else {
        if (parent < 0)
            ++m_topLevelEdits;
        const ElementId previous = m_nodes[before].previousSibling;
        node.previousSibling = previous;
        node.nextSibling = before;
        m_nodes[before].previousSibling = id;
        if (previous >= 0)
            m_nodes[previous].nextSibling = id;
        else
            first = id;
    }
    return id;
}

void ElementTree::RemoveSubtree(ElementId id)
{
    RemoveSubtreeWith(id, [](ElementId) {});
}

void ElementTree::Reset()
{
    std::free(m_nodes);
    m_nodes = nullptr;
    m_freeHead = m_freeTail = NO_ELEMENT;
    m_freeCount = 0;
    m_allocatedCount = 0;
    m_firstTop = m_lastTop = NO_ELEMENT;
    ++m_topLevelEdits;
    ++m_structureEdits;
}

ResultCode ElementTree::AdoptNodes(ElementNode* nodes, int32_t count)
{
    if (m_nodes || !nodes || count <= 0)
        return ERROR_GENERAL_PARAMETER;
    // The chain of open ancestors: open[d] is the latest node at depth d.
    std::vector<ElementId> open;
    int32_t previousDepth = -1;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t depth = nodes[i].depth;
        if (depth < 0 || depth > previousDepth + 1)
            return ERROR_GENERAL_PARAMETER;
        previousDepth = depth;
    }
    m_nodes = nodes;
    m_allocatedCount = count;
    ++m_topLevelEdits;
    ++m_structureEdits;
    for (int32_t i = 0; i < count; ++i) {
        ElementNode& n = m_nodes[i];
        const int32_t depth = n.depth;
        if (depth > static_cast<int32_t>(open.size())) {
            // Deeper than any open ancestor allows: not placeable (checked before taking it).
            return ERROR_GENERAL_PARAMETER;
        }
        open.resize(static_cast<size_t>(depth));
        n.inUse = 1;
        n.parent = depth > 0 ? open[static_cast<size_t>(depth - 1)] : NO_ELEMENT;
        n.firstChild = n.lastChild = n.nextSibling = NO_ELEMENT;
        ElementId& last = n.parent >= 0 ? m_nodes[n.parent].lastChild : m_lastTop;
        ElementId& first = n.parent >= 0 ? m_nodes[n.parent].firstChild : m_firstTop;
        n.previousSibling = last;
        if (last >= 0)
            m_nodes[last].nextSibling = i;
        else
            first = i;
        last = i;
        open.push_back(i);
    }
    return SUCCESS;
}

ResultCode ElementTree::VerifyLinks() const
{
    int32_t freeSeen = 0;
    ElementId previous = NO_ELEMENT;
    for (ElementId f = m_freeHead; f >= 0; f = m_nodes[f].nextSibling) {
        if (f >= m_allocatedCount || m_nodes[f].inUse || m_nodes[f].previousSibling != previous
            || ++freeSeen > m_freeCount)
            return ERROR_TREE_LINK;
        previous = f;
    }
    if (previous != m_freeTail || freeSeen != m_freeCount)
        return ERROR_TREE_LINK;
    auto valid = [&](ElementId id) { return id == NO_ELEMENT || (id >= 0 && id < m_allocatedCount); };
    for (ElementId id = 0; id < m_allocatedCount; ++id) {
        const ElementNode& n = m_nodes[id];
        if (!n.inUse)
            continue;
        if (!valid(n.parent) || !valid(n.firstChild) || !valid(n.lastChild) || !valid(n.previousSibling)
            || !valid(n.nextSibling))
            return ERROR_TREE_LINK;
        if (n.parent >= 0 && (!m_nodes[n.parent].inUse || n.depth != m_nodes[n.parent].depth + 1))
            return ERROR_TREE_LINK;
        if (n.parent < 0 && n.depth != 0)
            return ERROR_TREE_LINK;
        if (n.previousSibling >= 0) {
            const ElementNode& p = m_nodes[n.previousSibling];
            if (!p.inUse || p.nextSibling != id || p.parent != n.parent)
                return ERROR_TREE_LINK;
        } else if ((n.parent >= 0 ? m_nodes[n.parent].firstChild : m_firstTop) != id) {
            return ERROR_TREE_LINK;
        }
        if (n.nextSibling >= 0) {
            const ElementNode& s = m_nodes[n.nextSibling];
            if (!s.inUse || s.previousSibling != id || s.parent != n.parent)
                return ERROR_TREE_LINK;
        } else if ((n.parent >= 0 ? m_nodes[n.parent].lastChild : m_lastTop) != id) {
            return ERROR_TREE_LINK;
        }
        if ((n.firstChild < 0) != (n.lastChild < 0))
            return ERROR_TREE_LINK;
        if (n.firstChild >= 0 && (m_nodes[n.firstChild].parent != id || m_nodes[n.lastChild].parent != id))
            return ERROR_TREE_LINK;
    }
    if ((m_firstTop < 0) != (m_lastTop < 0))
        return ERROR_TREE_LINK;
    return SUCCESS;
}

} // namespace velmora
