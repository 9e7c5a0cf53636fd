#include "app/model/exam_model.h"

#include "toolkit/text_case.h"

#include <cstdio>

namespace velmora {

namespace {

std::string ImageLabel(int number)
{
    char text[32];
    std::snprintf(text, sizeof text, "Image %2d", number);
    return text;
}

const std::string g_noLabel;

} // namespace

bool SameLabel(std::string_view a, std::string_view b)
{
    return EqualIgnoringCase(a, b);
}

bool ExamModel::Valid(ExamItem item) const
{
    return item > 0 && static_cast<size_t>(item) <= m_nodes.size() && At(item).live;
}

ExamItem ExamModel::Parent(ExamItem item) const
{
    return Valid(item) ? At(item).parent : 0;
}
ExamItem ExamModel::FirstChild(ExamItem item) const
{
    if (item == 0)
        return m_topFirst;
    return Valid(item) ? At(item).first : 0;
}
ExamItem ExamModel::LastChild(ExamItem item) const
{
    if (item == 0)
        return m_topLast;
    return Valid(item) ? At(item).last : 0;
}
ExamItem ExamModel::NextSibling(ExamItem item) const
{
    return Valid(item) ? At(item).next : 0;
}
ExamItem ExamModel::PreviousSibling(ExamItem item) const
{
    return Valid(item) ? At(item).prev : 0;
}
int ExamModel::ChildCount(ExamItem item) const
{
    if (item == 0)
        return m_topCount;
    return Valid(item) ? At(item).children : 0;
}
const std::string& ExamModel::Label(ExamItem item) const
{
    return Valid(item) ? At(item).label : g_noLabel;
}
ExamLevel ExamModel::Level(ExamItem item) const
{
    return Valid(item) ? At(item).level : ExamLevel::Patient;
}

ExamItem ExamModel::Append(ExamItem parent, std::string label, ExamLevel level)
{
    Node node;
    node.label = std::move(label);
    node.level = level;
    node.parent = parent;
    node.live = true;
    m_nodes.push_back(std::move(node));
    const auto item = static_cast<ExamItem>(m_nodes.size());
    ExamItem& first = parent ? At(parent).first : m_topFirst;
    ExamItem& last = parent ? At(parent).last : m_topLast;
    if (last)
        At(last).next = item;
    else
        first = item;
    At(item).prev = last;
    last = item;
    ++(parent ? At(parent).children : m_topCount);
    ++m_live;
    if (m_listener)
        m_listener->ItemAdded(item);
    return item;
}

ExamItem ExamModel::FindOrAddChild(std::string_view label, ExamItem parent, ExamLevel level)
{
    if (parent != 0 && !Valid(parent))
        parent = 0;
    for (ExamItem child = FirstChild(parent); child; child = NextSibling(child)) {
        if (SameLabel(At(child).label, label))
            return child;
    }
    return Append(parent, std::string(label), level);
}

ExamItem ExamModel::AddImageItem(ExamItem series, std::string_view path, int32_t frame)
{
    if (!Valid(series))
        return 0;
    const ExamItem item = Append(series, ImageLabel(At(series).children + 1), ExamLevel::Image);
    At(item).record = ImageItemRecord { std::string(path), frame };
    return item;
}

const ImageItemRecord* ExamModel::Record(ExamItem item) const
{
    if (!Valid(item) || !At(item).record)
        return nullptr;
    return &*At(item).record;
}

bool ExamModel::GetPath(ExamItem item, std::string& path) const
{
    const ImageItemRecord* record = Record(item);
    if (!record)
        return false;
    path = record->path;
    return true;
}

bool ExamModel::GetFrame(ExamItem item, int32_t& frame) const
{
    const ImageItemRecord* record = Record(item);
    if (!record)
        return false;
    frame = record->frame;
    return true;
}

void ExamModel::DeleteItem(ExamItem item)
{
    if (!Valid(item))
        return;
    while (ExamItem child = At(item).last)
        DeleteItem(child);
    if (m_listener)
        m_listener->ItemRemoving(item);
    Node& node = At(item);
    const ExamItem parent = node.parent;
    ExamItem& first = parent ? At(parent).first : m_topFirst;
    ExamItem& last = parent ? At(parent).last : m_topLast;
    if (node.prev)
        At(node.prev).next = node.next;
    else
        first = node.next;
    if (node.next)
        At(node.next).prev = node.prev;
    else
        last = node.prev;
    --(parent ? At(parent).children : m_topCount);
    node = Node {};
    --m_live;
}

void ExamModel::Clear()
{
    m_nodes.clear();
    m_topFirst = m_topLast = 0;
    m_topCount = 0;
    m_live = 0;
    if (m_listener)
        m_listener->Cleared();
}

ExamItem ExamModel::Deepest(ExamItem item) const
{
    while (ExamItem child = FirstChild(item))
        item = child;
    return item;
}

ExamItem ExamModel::FirstDeepest() const
{
    return m_topFirst ? Deepest(m_topFirst) : 0;
}

ExamItem ExamModel::NextImage(ExamItem item, Wrap wrap, Across across) const
{
    if (!Valid(item))
        return 0;
    if (ExamItem child = FirstChild(item))
        return Deepest(child);
    if (ExamItem next = NextSibling(item))
        return next;
    for (ExamItem p = Parent(item); p; p = Parent(p)) {
        const ExamItem candidate = across == Across::WholeTree ? NextSibling(p) : p;
        if (candidate) {
            const ExamItem found = NextImage(candidate, wrap, across);
            return found == item ? 0 : found;
        }
    }
    if (wrap == Wrap::Yes && m_topFirst) {
        const ExamItem first = Deepest(m_topFirst);
        return first == item ? 0 : first;
    }
    return 0;
}

ExamItem ExamModel::LastDescendant(ExamItem item) const
{
    if (!Valid(item))
        return 0;
    while (ExamItem child = LastChild(item))
        item = child;
    return item;
}

ExamItem ExamModel::FirstImage(ExamItem item) const
{
    if (Record(item))
        return item;
    if (!Valid(item))
        return 0;
    for (ExamItem child = FirstChild(item); child; child = NextSibling(child)) {
        if (const ExamItem found = FirstImage(child))
            return found;
    }
    return 0;
}

ExamItem ExamModel::PreviousImage(ExamItem item, Across across) const
{
    if (!Valid(item))
        return 0;
    if (ExamItem previous = PreviousSibling(item))
        return previous;
    for (ExamItem p = Parent(item); p; p = Parent(p)) {
        const ExamItem candidate = across == Across::WholeTree ? PreviousSibling(p) : p;
        if (candidate) {
            const ExamItem found = LastDescendant(candidate);
            return found == item ? 0 : found;
        }
    }
    const ExamItem last = LastDescendant(m_topLast);
    return last == item ? 0 : last;
}

ExamItem ExamModel::FirstImageOfLastPatient() const
{
    if (!m_topLast)
        return 0;
    return NextImage(m_topLast, Wrap::No, Across::SeriesOnly);
}

FourSlots ExamModel::CollectFour(ExamItem item, bool wholeList) const
{
    FourSlots slots;
    if (!Valid(item))
        return slots;
    auto fill = [this](ExamItem from, TileSlot& slot) {
        const ImageItemRecord* record = Record(from);
        if (record == nullptr)
            return;
        int32_t index = 1;
        for (ExamItem before = PreviousSibling(from); before != 0; before = PreviousSibling(before))
            ++index;
        slot = TileSlot { record->path, record->frame, index, ChildCount(Parent(from)) };
    };
    fill(item, slots[0]);
    ExamItem current = item;
    for (size_t k = 1; k < slots.size(); ++k) {
        current = wholeList ? NextImage(current, Wrap::Yes, Across::WholeTree) : NextSibling(current);
        if (!current)
            break;
        fill(current, slots[k]);
    }
    return slots;
}

} // namespace velmora
