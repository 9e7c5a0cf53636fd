// DataSet: the element tree of one DICOM file with on-demand value access. Values are not copied
// when a file is read: each element records where its value lies (source file, spool file or a
// memory block) and the bytes are fetched, in host byte order, when asked for.
//
// Filled by Load (or BeginParse / PushBytes / EndParse for a stream in pieces of any size),
// written by Save (or BeginWrite / WriteBytes). Strings from GetString belong to the caller and
// are released with FreeString.
#pragma once

#include "toolkit/disk_file.h"
#include "toolkit/element_tree.h"
#include "toolkit/result_code.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmora {

// Option and state flags of a data set; the same bits are the options of a parse or write pass.
enum DataSetFlags : uint32_t {
    DS_BIG_ENDIAN = 0x0002, // the body is big-endian
    DS_EXPLICIT_VR = 0x0004, // the body has explicit VRs
    DS_DEFLATED = 0x0008, // deflated transfer syntax: the reader inflates the body, the writer compresses it
    DS_MEMORY_MODE = 0x0010, // parse: implicit little-endian, values in memory; write: implicit LE
    DS_META_GROUP = 0x0020, // read: group 0002 is explicit LE; write: emit group 0002
    DS_ALL_GROUP_LENGTHS = 0x0040, // write: a group length element for every group
    DS_DEFINED_LENGTHS = 0x0080, // write: sequences and items with defined lengths
    DS_KEEP_SOURCE = 0x0100, // starting a parse does not close the source file
    DS_VALUES_IN_MEMORY = 0x0200, // every value read goes to memory; no spool file
    DS_SMALL_VALUES_IN_MEMORY = 0x0400, // values shorter than 1024 bytes go to memory
    DS_SPOOL_VALUES = 0x0800, // values read are copied into the spool file
    DS_DISCARD_LARGE_VALUES = 0x1000, // values of 1024 bytes or more are measured, not kept (read as zeros)
    DS_PARSING = 0x4000, // a parse pass has been started
    DS_COMPRESSION_MASK = 0xFFF00000u, // compression kind of the transfer syntax; 0 = native
};

// Save option: write the 128-byte preamble and "DICM" first.
inline constexpr uint32_t SAVE_PREAMBLE = 0x0001;

class DataSet : public ElementTree {
public:
    DataSet();
    ~DataSet() override;

    // Always true: this tree carries values.
    virtual bool HasValues() const { return true; }

    // ---- Element queries ----

    // With siblingsOnly false: the first element with `tag` in pre-order over the whole tree
    // (`from` ignored). With siblingsOnly true: the first on the level of `from` (root level for
    // -1 or a top-level node). -1 when none.
    ElementId FindElement(ElementId from, uint32_t tag, bool siblingsOnly) const;
    // The child of `parent` that is the `index`-th (from 0) of its children with `tag`, or -1.
    // Resumes from the previous answer for the same parent and tag while the tree is unchanged,
    // so that stepping through the items of a long sequence (per-frame groups) stays linear.
    ElementId NthChildWithTag(ElementId parent, uint32_t tag, uint32_t index) const;
    uint32_t GetTag(ElementId id) const; // 0 for -1
    uint16_t GetVr(ElementId id) const; // "UN" for -1
    // The VR the value getters read the value by: GetVr, except that a UN element of a tag whose
    // VR is known (ResolveVr) is read as that VR, as PS3.5 6.2.2 allows; its bytes are
    // little-endian whatever the data set's byte order. Writing and dumping keep the UN.
    uint16_t ValueVr(ElementId id);
    // SQ, undefined length, or an item not directly below Pixel Data.
    bool IsContainer(ElementId id) const;
    // Sum of the chunk lengths (plus one '\' between chunks of multi-valued text VRs);
    // 0xFFFFFFFF for an undefined length; 0 for -1.
    uint32_t GetValueLength(ElementId id) const;
    // The value bytes that really exist: GetValueLength cut where a damaged or truncated source
    // file ends (ReadValue gives zeros past that point). 0 for containers and unknown ids.
    uint32_t GetHeldLength(ElementId id) const;
    // Copies `count` value bytes from byte `offset` into `dst`, in host byte order.
    // ERROR_GENERAL_PARAMETER for -1, a container, null dst, a count of 0 or 0xFFFFFFFF, or an
    // offset past the value; ERROR_FILE_SEEK when the chunk's file cannot be positioned. Bytes
    // the file does not hold (a truncated file) come out as zeros.
    ResultCode ReadValue(ElementId id, void* dst, uint32_t offset, uint32_t count);
    // The index-th value of a text element as a new NUL-terminated string (release with
    // FreeString), trimmed as its VR pads; null when there is none.
    char* GetString(ElementId id, uint32_t index);
    // Every value of a text element, each as GetString gives it, in one pass over the value
    // (GetString of each index would read it again each time); false, and none, when there is none.
    bool GetStrings(ElementId id, std::vector<std::string>& values);
    static void FreeString(char* text);
    // The index-th integer of a binary or IS element (GetUnsigned64 cut to 32 bits).
    uint32_t GetUnsigned(ElementId id, uint32_t index);
    // The same in 64 bits, SV and UV numbers whole. Binary units are zero-extended (an SS or SL
    // number is its own type's cast of the result, an SV one int64_t's); IS text is read in two's
    // complement.
    uint64_t GetUnsigned64(ElementId id, uint32_t index);
    double GetReal(ElementId id, uint32_t index);
    // VR of an element whose encoding carries none (implicit VR, items, delimiters).
    uint16_t ResolveVr(ElementId id);

    // ---- Element changes ----

    // A new element on the root level (ref -1), among the children of `ref` (asChild) or on the
    // level of `ref`, kept in tag order; items go to `position`. An element with the same tag on
    // that level is returned unchanged. vr 0 = from ResolveVr. -1 on failure.
    ElementId InsertElement(ElementId ref, uint32_t tag, uint16_t vr, bool asChild, uint32_t position);
    // Adds one chunk of value bytes (host order): memory when short, else the spool file.
    ResultCode AppendValue(ElementId id, const void* bytes, uint32_t length);
    ResultCode SetString(ElementId id, const char* text);
    ResultCode SetInteger(ElementId id, uint32_t value);
    void FreeValue(ElementId id);
    // Frees every value and the tree; closes the spool file, and the source file when asked.
    void Clear(bool closeSource);
    void RemoveSubtree(ElementId id) override;
    void Reset() override { Clear(true); }

    // ---- Reading files ----

    // Reads the file's headers into the tree (replacing it); values stay in the file, which
    // stays open. ERROR_FILE_OPEN, ERROR_FILE_FORMAT (fewer than 21 elements), ERROR_MEMORY_FULL
    // (a deflated body that inflates beyond MAX_INFLATION_RATIO, or more elements than
    // ElementLimit()), SUCCESS. A deflated body is inflated into a temporary file, unless
    // `options` holds DS_DISCARD_LARGE_VALUES: then it is parsed as it inflates, small values
    // kept in memory and large ones only measured, and nothing is written anywhere (what filing
    // a file into the exam tree needs). Files that bend the standard as the peers allow are read
    // too; Tolerances() then says how.
    ResultCode Load(const char* path, uint32_t options = 0);
    void CloseSource();
    // Opens the file Load read again after CloseSource, when `path` still names that file (the
    // same device and inode); ERROR_FILE_OPEN otherwise. SUCCESS at once while it is open.
    ResultCode ReopenSource(const char* path);
    ResultCode BeginParse(uint64_t start, uint32_t options);
    // ERROR_MEMORY_FULL when the bytes hold more elements than ElementLimit(): the parse stops.
    ResultCode PushBytes(const void* bytes, uint32_t length);
    ResultCode EndParse();
    // Keeps a copy of the 132 bytes of `block` (preamble + "DICM"); null releases it. False when
    // the copy cannot be allocated.
    bool StorePreamble(const uint8_t* block);
    const uint8_t* Preamble() const { return m_preamble; }
    // Compression kind bits (20-31) of the flags; 0 for native pixel data.
    uint32_t GetCompression() const { return m_flags & DS_COMPRESSION_MASK; }
    uint32_t Flags() const { return m_flags; }
    // ReadTolerance bits of the last parse pass: what the file needed beyond the standard.
    uint32_t Tolerances() const { return m_tolerances; }
    // The most elements (items and delimiters included) a parse may hold. The tree takes about
    // 90 bytes per element, so a crafted file of millions of empty elements would otherwise take
    // eleven times its size in memory. The default, kDefaultElementLimit, is far beyond any real
    // object (a multi-frame image with thousands of frames holds a few hundred thousand).
    static constexpr int32_t kDefaultElementLimit = 1 << 22;
    int32_t ElementLimit() const { return m_elementLimit; }
    void SetElementLimit(int32_t limit) { m_elementLimit = limit; }
    bool Ended() const { return m_ended != 0; }
    uint64_t StreamPosition() const { return m_position; }

    // ---- Writing files (data_set_writer.cpp) ----

    // Writes the data set to `path` (SAVE_PREAMBLE and DS_* options). The source file must still
    // be open when values lie there. ERROR_FILE_OPEN (also when `path` is the source file itself),
    // ERROR_DS_TRANSFER_SYNTAX (DS_META_GROUP with an encoding no transfer syntax names for this
    // data set, such as compressed pixel data in big-endian), ERROR_MEMORY_ALLOC,
    // ERROR_FILE_WRITE, or the error of a value read; a failed save removes the regular file it
    // had begun. Values cut short by the end of a damaged source are written as far as they go.
    ResultCode Save(const char* path, uint32_t options);
    // Starts a write pass at stream position `start` with DS_* options: group lengths and
    // delimiters in the tree are replaced by the ones this encoding needs, and with DS_META_GROUP
    // group 0002 is set up (file_meta.h). SUCCESS, or ERROR_DS_TRANSFER_SYNTAX as PrepareMetaGroup
    // gives it (the pass then writes nothing).
    ResultCode BeginWrite(uint64_t start, uint32_t options);
    // Produces up to `size` bytes of the encoded data set into `buffer`; `produced` receives the
    // count. Returns 1 while more follows, SUCCESS at the end, ERROR_GENERAL_INIT without a pass
    // (or after EndParse), or the error of a value read. Stops anywhere, also inside a header.
    int32_t WriteBytes(uint8_t* buffer, uint32_t size, uint32_t& produced);
    // Options of the current or last write pass (DS_MEMORY_MODE already applied).
    uint32_t WriteOptions() const { return m_writeOptions; }

    // ---- Access for the writer, tools and tests ----

    // The first chunk of a value (null for an id not in use); follow `next` for the rest.
    const ValueChunk* FirstChunk(ElementId id) const;
    // True when `file` is this data set's source file (chunks there are in the element's order).
    bool IsSourceFile(const DiskFile* file) const { return file == &m_source; }
    const DiskFile& SourceFile() const { return m_source; }
    bool HasSpoolFile() const { return m_spool.IsOpen(); }
    // Header length the writer gives an element of `tag` and `vr` under the data set's flags.
    uint32_t EncodedHeaderLength(uint32_t tag, uint16_t vr) const;
    // Number of elements in pre-order from the first top-level element.
    int32_t CountElements() const;

private:
    struct WriteState;
    struct WriteStateDeleter {
        void operator()(WriteState* state) const;
    };

    // The encoder behind WriteBytes; with stopAtBody it stops before the first element that
    // follows group 0002.
    int32_t Encode(uint8_t* buffer, uint32_t size, uint32_t& produced, bool stopAtBody);
    bool OpenSpool();
    void FreeChunks(ElementNode& node);
    ElementId PlaceNewElement();
    // During a parse: whether the defined-length `container` ends where the next element starts.
    bool IsFull(ElementId container) const;
    // Decodes the tag of node `id` from the first four header bytes, in the encoding of the
    // level it stands on.
    void DecodeTag(ElementId id);
    ResultCode HeaderComplete(ElementNode& node);
    ResultCode BeginValue(ElementNode& node);
    ResultCode FinishValue(ElementId id);
    // One parse of the source from `start`: ERROR_MEMORY_FULL when it held more elements than
    // the limit, else what EndParse gives.
    ResultCode RunPass(uint64_t start, uint32_t encoding);
    // The offset where the deflated body begins (after the leading group 0002); 0 when unknown.
    uint64_t DeflatedBodyStart() const;
    // Replaces the source by a temporary file holding group 0002 and the inflated body.
    ResultCode InflateSource();
    // Parses the file from `start` with the body inflated on the way, values as
    // DS_DISCARD_LARGE_VALUES says.
    ResultCode ParseInflated(uint64_t start);
    uint16_t VrFromBitsAllocated(uint32_t bitsTag);
    // FindElement(NO_ELEMENT, tag, true), resumed from the last scan for `tag` while the top level
    // has only grown at its end: ResolveVr consults Pixel Representation and Bits Allocated for
    // elements all over a file, and a scan from the start each time would make a parse quadratic.
    ElementId FindTopLevel(uint32_t tag) const;

    uint8_t* m_preamble = nullptr;
    uint32_t m_flags = DS_EXPLICIT_VR;
    DiskFile m_spool;
    DiskFile m_source;
    // The file Load read, kept after CloseSource so that Save never writes over it.
    FileIdentity m_sourceIdentity;
    uint64_t m_position = 0;
    uint64_t m_consumed = 0; // bytes of the current element (header and value) seen
    uint8_t m_ended = 0;
    ElementId m_current = NO_ELEMENT;
    uint8_t m_header[12] = {}; // header bytes of the element being read
    uint32_t m_tolerances = 0; // ReadTolerance bits of the current pass
    int32_t m_elementLimit = kDefaultElementLimit;
    bool m_bodyVrUnchecked = false; // the first element after group 0002 is still to come
    uint64_t m_memoryCapacity = 0; // bytes allocated for the value being read into memory

    // Writer scratch: header bytes, options of the pass, header size of the current element.
    uint8_t m_headerScratch[12] = {};
    uint32_t m_writeOptions = 0;
    uint32_t m_outputHeaderSize = 0;
    std::unique_ptr<WriteState, WriteStateDeleter> m_writeState;

    // FindTopLevel's scans: how far the top level was searched for a tag, and what was found.
    struct TopLevelScan {
        uint64_t edits = 0; // TopLevelEdits() when the scan began
        ElementId scanned = NO_ELEMENT; // the last node looked at (never the last top-level node)
        ElementId found = NO_ELEMENT;
    };
    mutable std::unordered_map<uint32_t, TopLevelScan> m_topLevelScans;
    // NthChildWithTag's last answer.
    struct ChildCursor {
        uint64_t edits = 0; // StructureEdits() when it was found
        ElementId parent = NO_ELEMENT;
        uint32_t tag = 0;
        uint32_t index = 0;
        ElementId found = NO_ELEMENT;
    };
    mutable ChildCursor m_childCursor;
};

} // namespace velmora
