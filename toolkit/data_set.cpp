// DataSet: element queries, value access and element changes.
#include "toolkit/data_set.h"

#include "toolkit/encoding_rules.h"
#include "toolkit/tag.h"
#include "toolkit/tag_dictionary.h"
#include "toolkit/vr_dictionary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmora {

namespace {

constexpr uint16_t VR_UN = 0x554E;
constexpr uint32_t kSmallValue = 1024;

constexpr uint32_t kPixelRepresentation = 0x00280103;

// Attributes whose value is a pixel value, US or SS as Pixel Representation says.
bool HoldsPixelValue(uint32_t tag)
{
    switch (tag) {
    case 0x00189810: // Zero Velocity Pixel Value
    case 0x00221452: // Mapped Pixel Value
    case 0x00280104: // Smallest Valid Pixel Value
    case 0x00280105: // Largest Valid Pixel Value
    case 0x00280106: // Smallest Image Pixel Value
    case 0x00280107: // Largest Image Pixel Value
    case 0x00280108: // Smallest Pixel Value in Series
    case 0x00280109: // Largest Pixel Value in Series
    case 0x00280110: // Smallest Image Pixel Value in Plane
    case 0x00280111: // Largest Image Pixel Value in Plane
    case 0x00280120: // Pixel Padding Value
    case 0x00280121: // Pixel Padding Range Limit
    case 0x00409211: // Real World Value Last Value Mapped
    case 0x00409216: // Real World Value First Value Mapped
        return true;
    default:
        // Histogram First and Last Bin Value of the repeating groups 60xx.
        return (TagGroup(tag) & 0xFF00) == 0x6000 && (TagElement(tag) == 0x3004 || TagElement(tag) == 0x3006);
    }
}

bool IsSpaceOrTab(char c)
{
    return c == ' ' || c == '\t';
}

// Text whose values are separated by '\': a value built of several chunks has one between each.
bool IsMultiValuedText(uint16_t code)
{
    const VrRow* row = GlobalVrDictionary().RowOf(code);
    return row && HasFlag(row->flags, VrFlags::DELIMITER);
}

bool IsIntegerKind(VrKind kind)
{
    switch (kind) {
    case VrKind::TAG:
    case VrKind::SINT1:
    case VrKind::UINT1:
    case VrKind::SINT2:
    case VrKind::UINT2:
    case VrKind::SINT4:
    case VrKind::UINT4:
    case VrKind::SINT8:
    case VrKind::UINT8:
        return true;
    default:
        return false;
    }
}

} // namespace

DataSet::DataSet() = default;

DataSet::~DataSet()
{
    Clear(true);
}

const ValueChunk* DataSet::FirstChunk(ElementId id) const
{
    const ElementNode* n = Node(id);
    return n ? &n->value : nullptr;
}

ElementId DataSet::FindElement(ElementId from, uint32_t tag, bool siblingsOnly) const
{
    if (!siblingsOnly) {
        for (ElementId id = FirstTopLevel(); id >= 0; id = NextInPreOrder(id)) {
            if (m_nodes[id].tag == tag)
                return id;
        }
        return NO_ELEMENT;
    }
    const ElementNode* n = Node(from);
    const ElementId parent = n ? n->parent : NO_ELEMENT;
    for (ElementId id = parent >= 0 ? m_nodes[parent].firstChild : m_firstTop; id >= 0;
         id = m_nodes[id].nextSibling) {
        if (m_nodes[id].tag == tag)
            return id;
    }
    return NO_ELEMENT;
}

ElementId DataSet::FindTopLevel(uint32_t tag) const
{
    TopLevelScan& scan = m_topLevelScans[tag];
    if (scan.edits != TopLevelEdits())
        scan = TopLevelScan { TopLevelEdits(), NO_ELEMENT, NO_ELEMENT };
    if (scan.found >= 0)
        return scan.found;
    // The last node is looked at each time and never recorded: while a parse is under way its
    // tag may still be unread.
    ElementId at = scan.scanned >= 0 ? m_nodes[scan.scanned].nextSibling : m_firstTop;
    for (; at >= 0 && at != m_lastTop; at = m_nodes[at].nextSibling) {
        scan.scanned = at;
        if (m_nodes[at].tag == tag)
            return scan.found = at;
    }
    return (at >= 0 && m_nodes[at].tag == tag) ? at : NO_ELEMENT;
}

ElementId DataSet::NthChildWithTag(ElementId parent, uint32_t tag, uint32_t index) const
{
    if (!Node(parent))
        return NO_ELEMENT;
    const ChildCursor& cursor = m_childCursor;
    const bool resume = cursor.edits == StructureEdits() && cursor.parent == parent && cursor.tag == tag
        && cursor.found >= 0 && cursor.index <= index;
    ElementId at = resume ? cursor.found : m_nodes[parent].firstChild;
    uint32_t count = resume ? cursor.index : 0;
    for (; at >= 0; at = m_nodes[at].nextSibling) {
        if (m_nodes[at].tag != tag)
            continue;
        if (count == index) {
            // First children are found at once: kept out of the cursor, they cannot displace
            // a position deep in a sequence that is being stepped through.
            if (index > 0)
                m_childCursor = ChildCursor { StructureEdits(), parent, tag, index, at };
            return at;
        }
        ++count;
    }
    return NO_ELEMENT;
}

uint32_t DataSet::GetTag(ElementId id) const
{
    const ElementNode* n = Node(id);
    return n ? n->tag : 0;
}

uint16_t DataSet::GetVr(ElementId id) const
{
    const ElementNode* n = Node(id);
    return n ? n->vr : VR_UN;
}

bool DataSet::IsContainer(ElementId id) const
{
    const ElementNode* n = Node(id);
    if (!n)
        return false;
    if (n->vr == vr::SQ || n->value.length == UNDEFINED_VALUE_LENGTH)
        return true;
    if (n->tag == tags::ITEM) {
        const ElementNode* parent = Node(n->parent);
        return parent && parent->tag != tags::PIXEL_DATA;
    }
    return false;
}

uint32_t DataSet::GetValueLength(ElementId id) const
{
    const ElementNode* n = Node(id);
    if (!n)
        return 0;
    if (!n->value.next)
        return n->value.length;
    const bool delimited = IsMultiValuedText(n->vr);
    uint64_t total = 0;
    for (const ValueChunk* c = &n->value; c; c = c->next) {
        if (delimited && total != 0)
            ++total;
        total += c->length;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(total, 0xFFFFFFFEu));
}

ResultCode DataSet::ReadValue(ElementId id, void* dst, uint32_t offset, uint32_t count)
{
    const ElementNode* n = Node(id);
    if (!n || IsContainer(id) || !dst || count == 0 || count == UNDEFINED_VALUE_LENGTH)
        return ERROR_GENERAL_PARAMETER;
    const VrDictionary& vrs = GlobalVrDictionary();
    const bool delimited = IsMultiValuedText(n->vr);
    const bool bigEndian = (n->flags & NODE_BIG_ENDIAN) != 0;
    // The chunk holding `offset`. In multi-valued text one '\' follows every chunk but the last,
    // and counts in the offsets; `offset` may fall on one.
    const ValueChunk* chunk = &n->value;
    bool startsOnDelimiter = false;
    while (chunk && offset >= chunk->length) {
        offset -= chunk->length;
        if (delimited && chunk->next) {
            if (offset == 0) {
                startsOnDelimiter = true;
                chunk = chunk->next;
                break;
            }
            --offset;
        }
        chunk = chunk->next;
    }
    if (!chunk)
        return ERROR_GENERAL_PARAMETER;
    auto* out = static_cast<uint8_t*>(dst);
    uint32_t left = count;
    if (startsOnDelimiter) {
        *out++ = '\\';
        --left;
    }
    while (chunk && left > 0) {
        const uint32_t n1 = std::min(chunk->length - offset, left);
        if (chunk->memory) {
            std::memcpy(out, chunk->memory + offset, n1);
        } else if (chunk->file) {
            const uint64_t at = chunk->offset + offset;
            if (chunk->file->Seek(0, static_cast<int64_t>(at)) != static_cast<int64_t>(at))
                return ERROR_FILE_SEEK;
            const uint64_t got = chunk->file->Read(out, n1);
            if (got < n1)
                std::memset(out + got, 0, left - got); // what the file does not hold reads as zeros
            if (got == 0)
                return SUCCESS;
            if (IsSourceFile(chunk->file) && bigEndian)
                vrs.SwapValue(n->vr, out, static_cast<uint32_t>(got), ByteOrder::Big, ByteOrder::Little);
            if (got < n1)
                return SUCCESS;
        } else {
            std::memset(out, 0, n1);
        }
        out += n1;
        left -= n1;
        offset = 0;
        chunk = chunk->next;
        if (chunk && left > 0 && delimited) {
            *out++ = '\\';
            --left;
        }
    }
    return SUCCESS;
}

uint32_t DataSet::GetHeldLength(ElementId id) const
{
    const ElementNode* n = Node(id);
    if (!n || IsContainer(id))
        return 0;
    const bool delimited = IsMultiValuedText(n->vr);
    uint64_t total = 0;
    for (const ValueChunk* c = &n->value; c; c = c->next) {
        if (delimited && total != 0)
            ++total;
        uint64_t held = c->length;
        if (c->file && !c->memory) {
            // A closed file cannot be measured: its values count as declared, and reading them
            // fails.
            const int64_t size = c->file->Size();
            if (size >= 0)
                held = static_cast<uint64_t>(size) <= c->offset
                    ? 0
                    : std::min<uint64_t>(held, static_cast<uint64_t>(size) - c->offset);
        }
        total += held;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(total, 0xFFFFFFFEu));
}

namespace {

// The bytes of a text element that its file really holds, and its VR's flags; false when the
// element has no text value. A damaged file may declare far more than it holds; what lies past
// its end reads as zeros, which end the string anyway, so only the held bytes are fetched.
bool ReadText(DataSet& ds, ElementId id, std::string& whole, VrFlags& flags)
{
    const VrRow* row = GlobalVrDictionary().RowOf(ds.ValueVr(id));
    if (id < 0 || !row)
        return false;
    flags = row->flags;
    if (!HasFlag(flags, VrFlags::DELIMITER) && row->kind != VrKind::STRING)
        return false;
    const uint32_t declared = ds.GetValueLength(id);
    if (declared == 0 || declared == UNDEFINED_VALUE_LENGTH)
        return false;
    const uint32_t length = std::min(declared, ds.GetHeldLength(id));
    if (length == 0)
        return false;
    whole.resize(length);
    return ds.ReadValue(id, whole.data(), 0, length) == SUCCESS;
}

// One value trimmed as its VR pads. A NUL inside the value ends it (UI values are padded with NUL).
std::string_view TrimText(std::string_view value, VrFlags flags)
{
    value = value.substr(0, value.find('\0'));
    if (HasFlag(flags, VrFlags::LEFT_20))
        while (!value.empty() && IsSpaceOrTab(value.front()))
            value.remove_prefix(1);
    if (HasFlag(flags, VrFlags::RIGHT_20))
        while (!value.empty() && IsSpaceOrTab(value.back()))
            value.remove_suffix(1);
    return value;
}

} // namespace

char* DataSet::GetString(ElementId id, uint32_t index)
{
    std::string whole;
    VrFlags flags {};
    if (!ReadText(*this, id, whole, flags))
        return nullptr;
    std::string_view value = whole;
    if (HasFlag(flags, VrFlags::DELIMITER)) {
        for (uint32_t i = 0; i < index; ++i) {
            const size_t slash = value.find('\\');
            if (slash == std::string_view::npos)
                return nullptr;
            value.remove_prefix(slash + 1);
        }
        value = value.substr(0, value.find('\\'));
    } else if (index != 0) {
        return nullptr;
    }
    value = TrimText(value, flags);
    char* result = static_cast<char*>(std::malloc(value.size() + 1));
    if (result) {
        std::memcpy(result, value.data(), value.size());
        result[value.size()] = '\0';
    }
    return result;
}

bool DataSet::GetStrings(ElementId id, std::vector<std::string>& values)
{
    values.clear();
    std::string whole;
    VrFlags flags {};
    if (!ReadText(*this, id, whole, flags))
        return false;
    std::string_view rest = whole;
    const bool split = HasFlag(flags, VrFlags::DELIMITER);
    for (;;) {
        const size_t slash = split ? rest.find('\\') : std::string_view::npos;
        values.emplace_back(TrimText(rest.substr(0, slash), flags));
        if (slash == std::string_view::npos)
            return true;
        rest.remove_prefix(slash + 1);
    }
}

void DataSet::FreeString(char* text)
{
    std::free(text);
}

uint32_t DataSet::GetUnsigned(ElementId id, uint32_t index)
{
    return static_cast<uint32_t>(GetUnsigned64(id, index));
}

uint64_t DataSet::GetUnsigned64(ElementId id, uint32_t index)
{
    const VrRow* row = GlobalVrDictionary().RowOf(ValueVr(id));
    if (!row || !IsIntegerKind(row->kind))
        return 0;
    if (HasFlag(row->flags, VrFlags::DELIMITER)) {
        char* text = GetString(id, index);
        if (!text)
            return 0;
        const char* p = text;
        while (IsSpaceOrTab(*p))
            ++p;
        bool negative = false;
        if (*p == '+' || *p == '-')
            negative = *p++ == '-';
        uint64_t value = 0;
        while (*p >= '0' && *p <= '9')
            value = value * 10u + static_cast<uint64_t>(*p++ - '0');
        FreeString(text);
        return negative ? 0u - value : value;
    }
    const uint32_t unit = static_cast<uint32_t>(row->unitSize);
    if (unit == 0 || unit > 8 || index > 0xFFFFFFFFu / unit)
        return 0;
    uint8_t bytes[8] = {};
    if (ReadValue(id, bytes, index * unit, unit) != SUCCESS)
        return 0;
    uint16_t w0 = 0, w1 = 0;
    uint32_t d = 0;
    uint64_t q = 0;
    std::memcpy(&w0, bytes, 2);
    std::memcpy(&w1, bytes + 2, 2);
    std::memcpy(&d, bytes, 4);
    std::memcpy(&q, bytes, 8);
    switch (row->kind) {
    case VrKind::SINT1:
    case VrKind::UINT1:
        return bytes[0];
    case VrKind::SINT2:
    case VrKind::UINT2:
        return w0;
    case VrKind::TAG:
        return (static_cast<uint32_t>(w0) << 16) | w1;
    case VrKind::SINT8:
    case VrKind::UINT8:
        return q;
    default:
        return d;
    }
}

double DataSet::GetReal(ElementId id, uint32_t index)
{
    const VrRow* row = GlobalVrDictionary().RowOf(ValueVr(id));
    const VrKind kind = row ? row->kind : VrKind::UINT1;
    if (kind != VrKind::FLOAT4 && kind != VrKind::FLOAT8)
        return 0.0;
    if (HasFlag(row->flags, VrFlags::DELIMITER)) {
        char* text = GetString(id, index);
        if (!text)
            return 0.0;
        const double value = std::strtod(text, nullptr);
        FreeString(text);
        return value;
    }
    const uint32_t unit = kind == VrKind::FLOAT4 ? 4 : 8;
    if (index > 0xFFFFFFFFu / unit)
        return 0.0;
    uint8_t bytes[8] = {};
    if (ReadValue(id, bytes, index * unit, unit) != SUCCESS)
        return 0.0;
    if (unit == 4) {
        float f;
        std::memcpy(&f, bytes, 4);
        return f;
    }
    double v;
    std::memcpy(&v, bytes, 8);
    return v;
}

uint16_t DataSet::VrFromBitsAllocated(uint32_t bitsTag)
{
    const ElementId bits = FindTopLevel(bitsTag);
    if (bits < 0)
        return vr::OW;
    return GetUnsigned(bits, 0) < 9 ? vr::OB : vr::OW;
}

uint16_t DataSet::ValueVr(ElementId id)
{
    const ElementNode* n = Node(id);
    if (!n)
        return VR_UN;
    if (n->vr != VR_UN || IsItemOrDelimiter(n->tag) || IsContainer(id))
        return n->vr;
    // PS3.5 6.2.2: the value of a UN element is encoded as implicit VR little-endian would encode
    // it, so a reader that knows the tag reads it as its real VR. A sequence kept in a defined
    // length stays opaque: its items would need a parse of their own.
    const uint16_t known = ResolveVr(id);
    return known == vr::SQ ? VR_UN : known;
}

uint16_t DataSet::ResolveVr(ElementId id)
{
    const ElementNode* n = Node(id);
    if (!n)
        return VR_UN;
    const uint32_t tag = n->tag;
    const uint16_t group = TagGroup(tag);
    const uint16_t element = TagElement(tag);
    if (tag == tags::ITEM) {
        const ElementNode* parent = Node(n->parent);
        return (parent && parent->vr != vr::SQ) ? parent->vr : vr::OB;
    }
    if (tag == tags::PIXEL_DATA)
        return VrFromBitsAllocated(0x00280100);
    if ((group & 0xFF00) == 0x6000 && element == 0x3000)
        return VrFromBitsAllocated(MakeTag(group, 0x0100));
    if ((group & 0xFF00) == 0x5000 && element == 0x200C)
        return VrFromBitsAllocated(MakeTag(group, 0x2002));
    if ((group & 0xFF00) == 0x5000 && element == 0x3000) {
        const ElementId format = FindTopLevel(MakeTag(group, 0x0103));
        switch (format >= 0 ? GetUnsigned(format, 0) : 0) {
        case 1:
            return vr::SS;
        case 2:
            return vr::FL;
        case 3:
            return vr::FD;
        case 4:
            return vr::SL;
        default:
            return vr::US;
        }
    }
    // A private creator, (gggg,0010) to (gggg,00FF) of an odd group, is LO (PS3.5 7.8.1).
    if ((group & 1) != 0 && group > 0x0008 && element >= 0x0010 && element <= 0x00FF)
        return vr::LO;
    // Pixel values ("US or SS" in PS3.6) are signed when the pixels are: a padding value of -2000
    // must not turn into 63536 when the file is written with VRs.
    if (HoldsPixelValue(tag)) {
        const ElementId representation = FindTopLevel(kPixelRepresentation);
        return representation >= 0 && GetUnsigned(representation, 0) == 1 ? vr::SS : vr::US;
    }
    const TagDictionary& dictionary = GlobalTagDictionary();
    return dictionary.VrOf(dictionary.IndexOf(tag));
}

uint32_t DataSet::EncodedHeaderLength(uint32_t tag, uint16_t code) const
{
    if (IsItemOrDelimiter(tag))
        return 8;
    const bool explicitVr = TagGroup(tag) == 0x0002 || (m_flags & DS_EXPLICIT_VR);
    return explicitVr && HasLongHeader(code) ? 12 : 8;
}

int32_t DataSet::CountElements() const
{
    int32_t count = 0;
    for (ElementId id = FirstTopLevel(); id >= 0; id = NextInPreOrder(id))
        ++count;
    return count;
}

ElementId DataSet::InsertElement(ElementId ref, uint32_t tag, uint16_t code, bool asChild, uint32_t position)
{
    if (ref >= 0 && !Node(ref))
        return NO_ELEMENT;
    ElementId parent = NO_ELEMENT;
    if (ref >= 0)
        parent = asChild ? ref : m_nodes[ref].parent;
    const ElementId first = parent >= 0 ? m_nodes[parent].firstChild : m_firstTop;
    ElementId id = NO_ELEMENT;
    if (first < 0) {
        id = parent >= 0 ? InsertNode(parent, PLACE_LAST | PLACE_CHILD) : InsertNode(NO_ELEMENT, PLACE_LAST);
    } else if (tag == tags::ITEM) {
        ElementId at = first;
        for (uint32_t i = 0; i < position && at >= 0; ++i)
            at = m_nodes[at].nextSibling;
        id = at >= 0 ? InsertNode(at, PLACE_BEFORE) : InsertNode(first, PLACE_LAST);
    } else {
        ElementId at = first;
        ElementId last = first;
        for (; at >= 0; at = m_nodes[at].nextSibling) {
            if (m_nodes[at].tag == tag)
                return at;
            if (m_nodes[at].tag > tag)
                break;
            last = at;
        }
        id = at >= 0 ? InsertNode(at, PLACE_BEFORE) : InsertNode(last, PLACE_AFTER);
    }
    if (id < 0)
        return NO_ELEMENT;
    m_nodes[id].tag = tag;
    const uint16_t resolved = code != 0 ? code : ResolveVr(id);
    ElementNode& node = m_nodes[id];
    node.vr = resolved;
    node.reserved = 0;
    node.headerLength = EncodedHeaderLength(tag, resolved);
    node.flags = NODE_COMPLETE;
    node.value = ValueChunk();
    if (IsContainer(id))
        node.value.length = UNDEFINED_VALUE_LENGTH;
    return id;
}

bool DataSet::OpenSpool()
{
    if (m_spool.IsOpen())
        return true;
    return m_spool.Open(nullptr, FILE_CREATE | FILE_READ | FILE_WRITE | FILE_DELETE_ON_CLOSE | FILE_TEMPORARY)
        == SUCCESS;
}

ResultCode DataSet::AppendValue(ElementId id, const void* bytes, uint32_t length)
{
    if (!Node(id) || IsContainer(id) || !bytes || length == 0 || length == UNDEFINED_VALUE_LENGTH)
        return ERROR_GENERAL_PARAMETER;
    const uint64_t existing = GetValueLength(id);
    uint8_t* memory = nullptr;
    if (existing + length < kSmallValue || (m_flags & DS_VALUES_IN_MEMORY)) {
        memory = static_cast<uint8_t*>(std::malloc(length));
        if (memory)
            std::memcpy(memory, bytes, length);
    }
    uint64_t offset = 0;
    if (!memory) {
        if (!OpenSpool())
            return ERROR_FILE_WRITE;
        const int64_t end = m_spool.Seek(2, 0);
        if (end < 0 || !m_spool.Write(bytes, length))
            return ERROR_FILE_WRITE;
        offset = static_cast<uint64_t>(end);
    }
    ElementNode& node = m_nodes[id];
    ValueChunk* chunk = &node.value;
    const bool hasValue = node.value.length != 0 || node.value.memory || node.value.file;
    if (hasValue) {
        auto* extra = static_cast<ValueChunk*>(std::malloc(sizeof(ValueChunk)));
        if (!extra) {
            std::free(memory);
            return ERROR_MEMORY_ALLOC;
        }
        new (extra) ValueChunk();
        ValueChunk* last = &node.value;
        while (last->next)
            last = last->next;
        last->next = extra;
        chunk = extra;
    } else if (memory) {
        node.flags |= NODE_OWNS_MEMORY;
    }
    chunk->next = nullptr;
    chunk->length = length;
    chunk->memory = memory;
    chunk->file = memory ? nullptr : &m_spool;
    chunk->offset = offset;
    return SUCCESS;
}

ResultCode DataSet::SetString(ElementId id, const char* text)
{
    const ElementNode* n = Node(id);
    if (!n || !text)
        return ERROR_GENERAL_PARAMETER;
    const VrRow* row = GlobalVrDictionary().RowOf(n->vr);
    if (!row || (row->kind != VrKind::STRING && row->kind != VrKind::NAME))
        return ERROR_DS_VR;
    const size_t length = std::strlen(text);
    if (length >= UNDEFINED_VALUE_LENGTH)
        return ERROR_GENERAL_PARAMETER;
    return AppendValue(id, text, static_cast<uint32_t>(length));
}

ResultCode DataSet::SetInteger(ElementId id, uint32_t value)
{
    const ElementNode* n = Node(id);
    if (!n)
        return ERROR_GENERAL_PARAMETER;
    const VrDictionary& vrs = GlobalVrDictionary();
    const int32_t vrIndex = vrs.IndexOf(n->vr);
    if (vrIndex < 0)
        return ERROR_DS_VR;
    const VrKind kind = vrs.KindOf(vrIndex);
    const bool binary = HasFlag(vrs.FlagsOf(vrIndex), VrFlags::BINARY);
    uint8_t bytes[4];
    switch (kind) {
    case VrKind::TAG: {
        const uint32_t swapped = (value << 16) | (value >> 16);
        std::memcpy(bytes, &swapped, 4);
        return AppendValue(id, bytes, 4);
    }
    case VrKind::SINT1:
    case VrKind::SINT2:
    case VrKind::SINT4:
    case VrKind::UINT1:
    case VrKind::UINT2:
    case VrKind::UINT4: {
        if (binary) {
            const uint32_t size = (kind == VrKind::SINT1 || kind == VrKind::UINT1) ? 1
                : (kind == VrKind::SINT2 || kind == VrKind::UINT2)                 ? 2
                                                                                   : 4;
            std::memcpy(bytes, &value, 4);
            return AppendValue(id, bytes, size);
        }
        char text[16];
        const bool isSigned = kind == VrKind::SINT1 || kind == VrKind::SINT2 || kind == VrKind::SINT4;
        const int n1 = isSigned ? std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(value))
                                : std::snprintf(text, sizeof text, "%u", value);
        return AppendValue(id, text, static_cast<uint32_t>(n1));
    }
    default:
        return ERROR_DS_VR;
    }
}

void DataSet::FreeChunks(ElementNode& node)
{
    ValueChunk* chunk = node.value.next;
    while (chunk) {
        ValueChunk* next = chunk->next;
        std::free(chunk->memory);
        std::free(chunk);
        chunk = next;
    }
    if (node.flags & NODE_OWNS_MEMORY)
        std::free(node.value.memory);
    const uint32_t length = node.value.length;
    node.value = ValueChunk();
    node.flags &= ~static_cast<uint32_t>(NODE_OWNS_MEMORY);
    (void)length;
}

void DataSet::FreeValue(ElementId id)
{
    ElementNode* n = MutableNode(id);
    if (!n || IsContainer(id))
        return;
    FreeChunks(*n);
}

void DataSet::RemoveSubtree(ElementId id)
{
    if (m_current >= 0 && Node(m_current)) {
        // The element being parsed or written must not be left pointing at a free node.
        for (ElementId up = m_current; up >= 0; up = m_nodes[up].parent) {
            if (up == id) {
                m_current = NO_ELEMENT;
                m_consumed = 0;
                break;
            }
        }
    }
    RemoveSubtreeWith(id, [this](ElementId at) { FreeChunks(m_nodes[at]); });
}

void DataSet::Clear(bool closeSource)
{
    // Every node's memory is released, containers too: a container never owns memory, but a
    // node whose length changed after its value was attached must not leak.
    for (ElementId id = 0; id < m_allocatedCount; ++id) {
        if (m_nodes[id].inUse)
            FreeChunks(m_nodes[id]);
    }
    ElementTree::Reset();
    std::free(m_preamble);
    m_preamble = nullptr;
    if (closeSource)
        m_source.Close();
    m_spool.Close();
    m_position = 0;
    m_consumed = 0;
    m_current = NO_ELEMENT;
    m_ended = 0;
    m_memoryCapacity = 0;
}

bool DataSet::StorePreamble(const uint8_t* block)
{
    if (!block) {
        std::free(m_preamble);
        m_preamble = nullptr;
        return true;
    }
    if (!m_preamble) {
        m_preamble = static_cast<uint8_t*>(std::malloc(132));
        if (!m_preamble)
            return false;
    }
    std::memcpy(m_preamble, block, 128);
    std::memcpy(m_preamble + 128, "DICM", 4);
    return true;
}

void DataSet::CloseSource()
{
    m_source.Close();
}

ResultCode DataSet::ReopenSource(const char* path)
{
    if (m_source.IsOpen())
        return SUCCESS;
    DiskFile file;
    FileIdentity id;
    if (file.Open(path, FILE_READ) != SUCCESS || !file.Identity(id) || id != m_sourceIdentity)
        return ERROR_FILE_OPEN;
    // Swapped in, so that the values that point at m_source read from the file again.
    m_source.Swap(file);
    return SUCCESS;
}

} // namespace velmora
