// The DICOM file reader: a push parser that builds the element tree as header bytes arrive, and
// Load, which feeds it a file 13 bytes at a time and seeks over every value.
#include "toolkit/data_set.h"
#include "toolkit/deflated_body.h"
#include "toolkit/encoding_rules.h"
#include "toolkit/read_tolerance.h"
#include "toolkit/tag.h"
#include "toolkit/uid_dictionary.h"
#include "toolkit/vr_dictionary.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace velmora {

namespace {

constexpr uint32_t kSmallValue = 1024;
constexpr uint32_t kPieceSize = 13; // bytes handed to the parser per read during Load
constexpr int32_t kMinimumElements = 21;
// Memory for a value read into memory grows as its bytes arrive, up to its declared length,
// so that a corrupt length cannot demand gigabytes before any byte is seen.
constexpr uint64_t kInitialCapacity = 64 * 1024;

uint16_t Read16(const uint8_t* p, bool big)
{
    return big ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Read32(const uint8_t* p, bool big)
{
    return big ? (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16)
            | (static_cast<uint32_t>(p[2]) << 8) | p[3]
               : static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
            | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool IsUpperCaseVr(const uint8_t* letters)
{
    return letters[0] >= 'A' && letters[0] <= 'Z' && letters[1] >= 'A' && letters[1] <= 'Z';
}

// A VR of the dictionary, or a long-header VR newer than it (UR, UC, OV, SV, UV...).
bool IsKnownVr(uint16_t code)
{
    return GlobalVrDictionary().IndexOf(code) >= 0 || HasLongHeader(code);
}

} // namespace

ResultCode DataSet::BeginParse(uint64_t start, uint32_t options)
{
    Clear((options & DS_KEEP_SOURCE) == 0);
    if (options & DS_MEMORY_MODE) {
        options &= ~static_cast<uint32_t>(DS_BIG_ENDIAN | DS_EXPLICIT_VR);
        options |= DS_VALUES_IN_MEMORY;
    }
    m_position = start;
    m_flags = options | DS_PARSING;
    m_current = NO_ELEMENT;
    m_consumed = 0;
    m_ended = 0;
    m_tolerances = 0;
    // Files give the first element after group 0002 a look whichever VR encoding they declare;
    // bytes pushed by a program in memory mode are taken as they are.
    m_bodyVrUnchecked = (options & DS_MEMORY_MODE) == 0;
    // The spool file is opened when the first value goes there, not here: a scan of a folder
    // would otherwise create a temporary file per file read.
    return SUCCESS;
}

bool DataSet::IsFull(ElementId container) const
{
    // Called as a new element begins: m_position is where it starts. A container's content
    // starts at its value offset, so it is full exactly when the elements read so far reach its
    // end. (Summing its children's lengths instead made long sequences quadratic to read.) An
    // element that ran past the end leaves the container open, as a sum that overshot did.
    const ElementNode* c = Node(container);
    return c && m_position == c->value.offset + c->value.length;
}

ElementId DataSet::PlaceNewElement()
{
    ElementId prev = m_current;
    if (prev < 0 || !Node(prev))
        return InsertNode(NO_ELEMENT, PLACE_LAST);
    bool closed = false;
    if (IsDelimiter(m_nodes[prev].tag)) {
        // The delimiter closed its container; the element follows that container.
        if (m_nodes[prev].parent >= 0)
            prev = m_nodes[prev].parent;
        closed = true;
    }
    // Close every enclosing container of defined length that the previous element filled. This
    // also runs after a delimiter: an undefined-length sequence can be the last element of a
    // defined-length item.
    for (ElementId up = m_nodes[prev].parent; up >= 0; up = m_nodes[prev].parent) {
        if (m_nodes[up].value.length == UNDEFINED_VALUE_LENGTH || !IsFull(up))
            break;
        prev = up;
        closed = true;
    }
    if (!closed && IsContainer(prev) && m_nodes[prev].value.length != 0)
        return InsertNode(prev, PLACE_LAST | PLACE_CHILD);
    return InsertNode(prev, PLACE_LAST);
}

ResultCode DataSet::HeaderComplete(ElementNode& node)
{
    // Called when the last header byte has arrived; decodes the length and decides how the value
    // is read. `node` is m_nodes[m_current].
    const bool big = (node.flags & NODE_BIG_ENDIAN) != 0;
    if (node.headerLength == 8 && std::all_of(m_header, m_header + 8, [](uint8_t b) { return b == 0; })) {
        // Not an element: zero padding (most often after the last element). DCMTK stops here too.
        m_tolerances |= TOLERATED_ZERO_PADDING;
        RemoveSubtree(m_current);
        m_current = NO_ELEMENT;
        m_consumed = 0;
        m_ended = 1;
        return SUCCESS;
    }
    if (node.headerLength == 12) {
        node.reserved = Read16(m_header + 6, big);
        node.value.length = Read32(m_header + 8, big);
        if (node.vr == vr::UN && node.value.length == UNDEFINED_VALUE_LENGTH
            && node.tag != tags::PIXEL_DATA) {
            // A UN element of undefined length is a sequence whose content is implicit VR
            // little-endian (PS3.5 section 6.2.2): a writer that did not know the element's VR
            // kept its items as they were. Read as the sequence it is, as DCMTK and pydicom do.
            node.vr = vr::SQ;
            node.flags &= ~static_cast<uint32_t>(NODE_BIG_ENDIAN | NODE_EXPLICIT_VR);
        }
    } else if ((node.flags & NODE_EXPLICIT_VR) && !IsItemOrDelimiter(node.tag)) {
        node.value.length = Read16(m_header + 6, big);
    } else {
        node.value.length = Read32(m_header + 4, big);
        node.vr = ResolveVr(m_current);
        if (IsDelimiter(node.tag))
            node.value.length = 0;
    }
    ElementNode& n = m_nodes[m_current]; // ResolveVr does not move the array, but stay explicit
    if (IsContainer(m_current) || n.value.length == 0) {
        n.flags |= NODE_COMPLETE;
        m_consumed = 0;
        return SUCCESS;
    }
    if (n.value.length & 1)
        m_tolerances |= TOLERATED_ODD_LENGTH;
    return BeginValue(n);
}

ResultCode DataSet::BeginValue(ElementNode& node)
{
    const uint32_t length = node.value.length;
    m_memoryCapacity = 0;
    if ((m_flags & DS_VALUES_IN_MEMORY) || ((m_flags & DS_SMALL_VALUES_IN_MEMORY) && length < kSmallValue)) {
        const uint64_t capacity = std::min<uint64_t>(length, kInitialCapacity);
        node.value.memory = static_cast<uint8_t*>(std::malloc(capacity));
        if (!node.value.memory)
            return ERROR_MEMORY_ALLOC;
        m_memoryCapacity = capacity;
        node.value.file = nullptr;
        node.flags |= NODE_OWNS_MEMORY;
    } else if (m_flags & DS_DISCARD_LARGE_VALUES) {
        node.value.file = nullptr; // only its length is kept
    } else if (m_flags & DS_SPOOL_VALUES) {
        if (!OpenSpool())
            return ERROR_FILE_WRITE;
        const int64_t end = m_spool.Seek(2, 0);
        if (end < 0)
            return ERROR_FILE_SEEK;
        node.value.file = &m_spool;
        node.value.offset = static_cast<uint64_t>(end);
    } else {
        node.value.file = &m_source;
    }
    return SUCCESS;
}

ResultCode DataSet::FinishValue(ElementId id)
{
    ElementNode& node = m_nodes[id];
    const VrDictionary& vrs = GlobalVrDictionary();
    const bool swap = (node.flags & NODE_BIG_ENDIAN) && vrs.Swaps(node.vr);
    if (swap && node.value.memory) {
        vrs.SwapValue(node.vr, node.value.memory, node.value.length, ByteOrder::Big, ByteOrder::Little);
    } else if (swap && node.value.file == &m_spool) {
        uint8_t piece[1024];
        for (uint64_t done = 0; done < node.value.length;) {
            const uint32_t n
                = static_cast<uint32_t>(std::min<uint64_t>(sizeof piece, node.value.length - done));
            const int64_t at = static_cast<int64_t>(node.value.offset + done);
            if (m_spool.Seek(0, at) != at || m_spool.Read(piece, n) != n)
                return ERROR_FILE_READ;
            vrs.SwapValue(node.vr, piece, n, ByteOrder::Big, ByteOrder::Little);
            if (m_spool.Seek(0, at) != at || !m_spool.Write(piece, n))
                return ERROR_FILE_WRITE;
            done += n;
        }
    }
    node.flags |= NODE_COMPLETE;
    m_consumed = 0;
    return SUCCESS;
}

void DataSet::DecodeTag(ElementId id)
{
    ElementNode& node = m_nodes[id];
    const bool dataSetBig = (m_flags & DS_BIG_ENDIAN) != 0;
    // An element inside a sequence is encoded as the sequence's content is: as the data
    // set, except inside a sequence read from a UN element (see HeaderComplete).
    const ElementId parent = node.parent;
    uint32_t flags = parent >= 0 ? m_nodes[parent].flags & (NODE_BIG_ENDIAN | NODE_EXPLICIT_VR)
                                 : m_flags & (DS_BIG_ENDIAN | DS_EXPLICIT_VR);
    uint16_t group = Read16(m_header, (flags & NODE_BIG_ENDIAN) != 0);
    if (m_flags & DS_META_GROUP) {
        if (group == 0x0002 || (dataSetBig && group == 0x0200)) {
            group = 0x0002;
            flags = NODE_EXPLICIT_VR;
        } else if (group > 0x0002) {
            m_flags &= ~static_cast<uint32_t>(DS_META_GROUP);
        }
    }
    node.flags = flags;
    const uint16_t element = Read16(m_header + 2, (flags & NODE_BIG_ENDIAN) != 0);
    node.tag = MakeTag(group, element);
    node.headerLength = 8;
}

ResultCode DataSet::PushBytes(const void* bytes, uint32_t length)
{
    if (m_ended || !(m_flags & DS_PARSING))
        return ERROR_GENERAL_INIT;
    if (!bytes && length > 0)
        return ERROR_GENERAL_PARAMETER;
    const auto* in = static_cast<const uint8_t*>(bytes);
    while (length > 0) {
        if (m_consumed == 0) {
            if (UsedCount() >= m_elementLimit)
                return ERROR_MEMORY_FULL;
            const ElementId id = PlaceNewElement();
            if (id < 0)
                return ERROR_MEMORY_ALLOC;
            m_current = id;
            ElementNode& fresh = m_nodes[id];
            fresh.vr = vr::UN;
            fresh.value.offset = m_position + 8;
        }
        ElementNode& node = m_nodes[m_current];
        if (m_consumed < 4) {
            const uint32_t take = std::min<uint32_t>(static_cast<uint32_t>(4 - m_consumed), length);
            std::memcpy(m_header + m_consumed, in, take);
            in += take;
            length -= take;
            m_consumed += take;
            m_position += take;
            if (m_consumed < 4)
                break;
            DecodeTag(m_current);
            const uint32_t tag = m_nodes[m_current].tag;
            const ElementId parent = m_nodes[m_current].parent;
            if (parent < 0 && (tag == tags::ITEM || tag == tags::SEQUENCE_DELIMITATION)) {
                // An item or a sequence's end where no sequence is open: what follows cannot be
                // placed, and the data set ends here (DCMTK stops with a parse error).
                m_tolerances |= TOLERATED_MISPLACED_ITEM;
                RemoveSubtree(m_current);
                m_ended = 1;
                return SUCCESS;
            }
            const bool inItem = parent >= 0 && m_nodes[parent].tag == tags::ITEM;
            if (parent >= 0
                && (inItem ? tag == tags::ITEM || tag == tags::SEQUENCE_DELIMITATION
                           : !IsItemOrDelimiter(tag))) {
                // Only items and delimiters stand directly in a sequence (or in encapsulated
                // pixel data), and an item or a sequence's end never directly in an item: such a
                // node follows a damaged delimiter. The container ends before it, and the node
                // is read on the container's own level.
                m_tolerances |= TOLERATED_MISPLACED_ITEM;
                RemoveSubtree(m_current);
                const ElementId moved = InsertNode(parent, PLACE_AFTER);
                if (moved < 0)
                    return ERROR_MEMORY_ALLOC;
                m_current = moved;
                m_consumed = 4;
                m_nodes[moved].vr = vr::UN;
                m_nodes[moved].value.offset = m_position + 4;
                DecodeTag(moved);
            }
            continue;
        }
        if (m_consumed < node.headerLength) {
            const bool explicitVr = (node.flags & NODE_EXPLICIT_VR) && !IsItemOrDelimiter(node.tag);
            const uint32_t target = (explicitVr && m_consumed < 6) ? 6 : node.headerLength;
            const uint32_t take = std::min<uint32_t>(static_cast<uint32_t>(target - m_consumed), length);
            std::memcpy(m_header + m_consumed, in, take);
            in += take;
            length -= take;
            m_consumed += take;
            m_position += take;
            if (m_consumed < target)
                break;
            if (explicitVr && target == 6) {
                const uint16_t code = static_cast<uint16_t>((m_header[4] << 8) | m_header[5]);
                const bool meta = TagGroup(node.tag) == 0x0002;
                // Not a VR: this group 0002 element is implicit little-endian after all.
                const bool implicitMeta = meta && (m_flags & DS_META_GROUP) && !IsKnownVr(code);
                // The body is implicit although the syntax says explicit: decided, as pydicom does,
                // by the first element after group 0002 alone. Zero padding and a tag of group
                // FFFF (no data element has one; a run of FF bytes would read as endless
                // undefined-length containers) are not taken for an implicit body.
                const bool zeros = std::all_of(m_header, m_header + 6, [](uint8_t b) { return b == 0; });
                const bool implicitBody = !meta && m_bodyVrUnchecked && !zeros && TagGroup(node.tag) != 0xFFFF
                    && !IsUpperCaseVr(m_header + 4);
                if (!meta)
                    m_bodyVrUnchecked = false;
                if (implicitBody) {
                    m_flags &= ~static_cast<uint32_t>(DS_EXPLICIT_VR);
                    m_tolerances |= TOLERATED_IMPLICIT_BODY;
                }
                if (implicitMeta || implicitBody) {
                    node.flags &= ~static_cast<uint32_t>(NODE_EXPLICIT_VR);
                } else {
                    node.vr = code;
                    if (HasLongHeader(code)) {
                        node.headerLength = 12;
                        node.value.offset += 4;
                    }
                }
                continue;
            }
            if (!explicitVr && m_bodyVrUnchecked && TagGroup(node.tag) != 0x0002
                && !IsItemOrDelimiter(node.tag)) {
                m_bodyVrUnchecked = false;
                // The body is explicit although the syntax says implicit: the first element after
                // group 0002 carries a VR where its length would be (pydicom decides so too). A
                // length of at least 0x4141 whose two low bytes spell a VR is the only confusion.
                const uint16_t code = static_cast<uint16_t>((m_header[4] << 8) | m_header[5]);
                if (IsUpperCaseVr(m_header + 4) && IsKnownVr(code)) {
                    m_flags |= DS_EXPLICIT_VR;
                    m_tolerances |= TOLERATED_EXPLICIT_BODY;
                    node.flags |= NODE_EXPLICIT_VR;
                    node.vr = code;
                    // Without group 0002 nothing states the byte order: a first group that reads
                    // as 0x0800 (any low byte zero) is 0x0008 big-endian, as DCMTK decides too.
                    const uint16_t group = TagGroup(node.tag);
                    if (m_current == FirstTopLevel() && group != 0 && (group & 0x00FF) == 0) {
                        m_flags |= DS_BIG_ENDIAN;
                        m_tolerances |= TOLERATED_BIG_ENDIAN_BODY;
                        node.flags |= NODE_BIG_ENDIAN;
                        node.tag = MakeTag(Read16(m_header, true), Read16(m_header + 2, true));
                    }
                    if (HasLongHeader(code)) {
                        node.headerLength = 12;
                        node.value.offset += 4;
                        continue;
                    }
                }
            }
            const ResultCode result = HeaderComplete(node);
            if (result != SUCCESS || m_ended)
                return result;
            continue;
        }
        // Value bytes.
        const uint64_t done = m_consumed - node.headerLength;
        const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(node.value.length - done, length));
        if (node.value.memory) {
            if (done + take > m_memoryCapacity) {
                const uint64_t wanted = std::min<uint64_t>(
                    node.value.length, std::max<uint64_t>(done + take, m_memoryCapacity * 2));
                auto* grown = static_cast<uint8_t*>(std::realloc(node.value.memory, wanted));
                if (!grown)
                    return ERROR_MEMORY_ALLOC;
                node.value.memory = grown;
                m_memoryCapacity = wanted;
            }
            std::memcpy(node.value.memory + done, in, take);
        } else if (node.value.file == &m_spool) {
            if (m_spool.Seek(0, static_cast<int64_t>(node.value.offset + done))
                    != static_cast<int64_t>(node.value.offset + done)
                || !m_spool.Write(in, take))
                return ERROR_FILE_WRITE;
        }
        in += take;
        length -= take;
        m_consumed += take;
        m_position += take;
        if (done + take == node.value.length) {
            const ResultCode result = FinishValue(m_current);
            if (result != SUCCESS)
                return result;
        }
    }
    return SUCCESS;
}

ResultCode DataSet::EndParse()
{
    if (m_ended)
        return SUCCESS;
    m_ended = 1;
    if (!(m_flags & DS_PARSING))
        return SUCCESS;
    ElementNode* node = MutableNode(m_current);
    if (!node || (node->flags & NODE_COMPLETE))
        return SUCCESS;
    if (m_consumed < 4 || m_consumed < node->headerLength
        || (m_consumed == 6 && (node->flags & NODE_EXPLICIT_VR) && node->headerLength == 12 && false)) {
        const ElementId gone = m_current;
        RemoveSubtree(gone);
        m_current = NO_ELEMENT;
        return SUCCESS;
    }
    if (node->value.length != UNDEFINED_VALUE_LENGTH && node->value.length != 0
        && m_consumed >= node->headerLength) {
        const uint64_t received = m_consumed - node->headerLength;
        if (received < node->value.length)
            node->value.length = static_cast<uint32_t>(received);
    }
    node->flags |= NODE_COMPLETE;
    return SUCCESS;
}

ResultCode DataSet::RunPass(uint64_t start, uint32_t encoding)
{
    BeginParse(start, DS_META_GROUP | DS_KEEP_SOURCE | encoding);
    if (m_source.Seek(0, static_cast<int64_t>(start)) == static_cast<int64_t>(start)) {
        uint8_t piece[kPieceSize];
        // The parser may read values from the source itself (the VR of implicit pixel data comes
        // from Bits Allocated), which moves the file position: every read says where it reads.
        uint64_t at = start;
        for (;;) {
            if (m_source.Seek(0, static_cast<int64_t>(at)) != static_cast<int64_t>(at))
                break;
            const uint64_t got = m_source.Read(piece, sizeof piece);
            at += got;
            if (got == 0)
                break;
            // A parse that stops keeps the tree as parsed; only too many elements fail the pass.
            const ResultCode pushed = PushBytes(piece, static_cast<uint32_t>(got));
            if (pushed == ERROR_MEMORY_FULL) {
                EndParse();
                return pushed;
            }
            if (pushed != SUCCESS)
                break;
            const ElementNode* node = Node(m_current);
            if (node && m_consumed > 4 && m_consumed > node->headerLength && !(node->flags & NODE_COMPLETE)) {
                // The value has begun: skip the rest of it by seeking.
                const uint64_t end = node->value.offset + node->value.length;
                m_position = end;
                at = end;
                m_consumed = 0;
                m_nodes[m_current].flags |= NODE_COMPLETE;
            }
        }
    }
    return EndParse();
}

uint64_t DataSet::DeflatedBodyStart() const
{
    uint64_t bodyStart = 0;
    for (ElementId id = FirstTopLevel(); id >= 0 && TagGroup(m_nodes[id].tag) == 0x0002;
         id = m_nodes[id].nextSibling) {
        const ElementNode& n = m_nodes[id];
        if (n.value.length == UNDEFINED_VALUE_LENGTH)
            return 0;
        bodyStart = n.value.offset + n.value.length;
    }
    return bodyStart;
}

ResultCode DataSet::InflateSource()
{
    const uint64_t bodyStart = DeflatedBodyStart();
    DiskFile inflated;
    if (bodyStart == 0
        || inflated.Open(
               nullptr, FILE_CREATE | FILE_READ | FILE_WRITE | FILE_DELETE_ON_CLOSE | FILE_TEMPORARY)
            != SUCCESS)
        return SUCCESS;
    const ResultCode result = InflateBodyToFile(m_source, bodyStart, inflated);
    if (result == SUCCESS)
        m_source.Swap(inflated);
    // A body that does not inflate is parsed as it stands, which mostly ends in a format error.
    return result == ERROR_MEMORY_FULL ? result : SUCCESS;
}

ResultCode DataSet::ParseInflated(uint64_t start)
{
    const uint64_t bodyStart = DeflatedBodyStart();
    BeginParse(start,
        DS_META_GROUP | DS_KEEP_SOURCE | DS_EXPLICIT_VR | DS_SMALL_VALUES_IN_MEMORY
            | DS_DISCARD_LARGE_VALUES);
    std::vector<uint8_t> head(bodyStart > start ? bodyStart - start : 0);
    ResultCode result = SUCCESS, pushed = SUCCESS;
    if (m_source.Seek(0, static_cast<int64_t>(start)) == static_cast<int64_t>(start)
        && m_source.Read(head.data(), head.size()) == head.size()
        && PushBytes(head.data(), static_cast<uint32_t>(head.size())) == SUCCESS) {
        // A parse that stops (an odd length, say) keeps the tree as parsed, as RunPass does.
        result = InflateBody(m_source, bodyStart, [this, &pushed](const uint8_t* bytes, uint32_t length) {
            pushed = PushBytes(bytes, length);
            return pushed == SUCCESS;
        });
    }
    EndParse();
    if (pushed == ERROR_MEMORY_FULL)
        return pushed;
    return result == ERROR_MEMORY_FULL ? result : SUCCESS;
}

ResultCode DataSet::Load(const char* path, uint32_t options)
{
    m_source.Close();
    m_sourceIdentity = {};
    const ResultCode opened = m_source.Open(path, FILE_READ);
    if (opened != SUCCESS)
        return opened;
    m_source.Identity(m_sourceIdentity);
    uint8_t preamble[132] = {};
    const bool hasPreamble = m_source.Read(preamble, sizeof preamble) == sizeof preamble
        && std::memcmp(preamble + 128, "DICM", 4) == 0;
    const uint64_t start = hasPreamble ? 132 : 0;

    // Only the pass whose tree is kept can fail the load: a first pass over a body that is not
    // implicit little-endian reads whatever it finds.
    ResultCode pass = RunPass(start, 0);
    uint32_t compression = 0;
    bool deflated = false;
    const ElementId syntax = FindElement(NO_ELEMENT, tags::TRANSFER_SYNTAX_UID, true);
    char* uid = syntax >= 0 ? GetString(syntax, 0) : nullptr;
    if (uid) {
        const UidDictionary& uids = GlobalUidDictionary();
        const int32_t row = uids.Find(uid);
        FreeString(uid);
        compression = static_cast<uint32_t>(uids.CompressionOf(row));
        deflated = uids.IsDeflated(row);
        const bool explicitVr = uids.IsExplicit(row);
        const bool little = uids.IsLittleEndian(row);
        const bool parsedInflating = deflated && (options & DS_DISCARD_LARGE_VALUES);
        ResultCode parsed = SUCCESS;
        if (parsedInflating)
            parsed = ParseInflated(start);
        else if (deflated)
            parsed = InflateSource();
        if (parsed != SUCCESS)
            return parsed;
        if (parsedInflating)
            pass = SUCCESS;
        else if (explicitVr || !little)
            pass = RunPass(start, (explicitVr ? DS_EXPLICIT_VR : 0u) | (little ? 0u : DS_BIG_ENDIAN));
    }
    if (pass == ERROR_MEMORY_FULL)
        return pass;
    m_flags |= compression & DS_COMPRESSION_MASK;
    if (deflated)
        m_flags |= DS_DEFLATED;
    if (CountElements() < kMinimumElements)
        return ERROR_FILE_FORMAT;
    StorePreamble(hasPreamble ? preamble : nullptr);
    return SUCCESS;
}

} // namespace velmora
