// The file meta information group that a save writes.
#include "toolkit/file_meta.h"

#include "toolkit/data_set.h"
#include "toolkit/tag.h"
#include "toolkit/uid_dictionary.h"
#include "toolkit/vr_code.h"

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0"
#endif

namespace velmora {

namespace {

constexpr uint32_t kMetaVersion = 0x00020001;
constexpr uint32_t kMediaStorageSopClass = 0x00020002;
constexpr uint32_t kMediaStorageSopInstance = 0x00020003;
constexpr uint32_t kImplementationClass = 0x00020012;
constexpr uint32_t kImplementationVersion = 0x00020013;
constexpr uint32_t kSopClass = 0x00080016;
constexpr uint32_t kSopInstance = 0x00080018;

std::string TopLevelText(DataSet& ds, uint32_t tag)
{
    std::string text;
    if (char* value = ds.GetString(ds.FindElement(NO_ELEMENT, tag, true), 0)) {
        text = value;
        DataSet::FreeString(value);
    }
    return text;
}

// Replaces the value of the top-level element `tag` (made with `vr` when absent) by `text`. The
// element is looked for on the whole level first: a damaged file's group 0002 may be out of
// order, where InsertElement would miss it and add a second one.
void SetTopLevelText(DataSet& ds, uint32_t tag, uint16_t vr, const std::string& text)
{
    ElementId id = ds.FindElement(NO_ELEMENT, tag, true);
    if (id < 0)
        id = ds.InsertElement(NO_ELEMENT, tag, vr, false, 0);
    if (id < 0)
        return;
    ds.FreeValue(id);
    if (!text.empty())
        ds.SetString(id, text.c_str());
}

// Pixel data whose frames are fragments in items (undefined length).
bool IsEncapsulated(const DataSet& ds)
{
    const ElementId pixels = ds.FindElement(NO_ELEMENT, tags::PIXEL_DATA, true);
    return pixels >= 0 && ds.IsContainer(pixels);
}

} // namespace

std::string OutputTransferSyntax(DataSet& ds, uint32_t options)
{
    const bool little = (options & DS_BIG_ENDIAN) == 0;
    const bool explicitVr = (options & DS_EXPLICIT_VR) != 0;
    const bool deflated = (options & DS_DEFLATED) != 0;
    const auto compression = static_cast<CompressionKind>(ds.GetCompression());
    const UidDictionary& uids = GlobalUidDictionary();
    const std::string source = TopLevelText(ds, tags::TRANSFER_SYNTAX_UID);
    const int32_t sourceRow = source.empty() ? -1 : uids.Find(source);
    if (sourceRow >= 0 && uids.KindOf(sourceRow) == UidKind::TRANSFER
        && uids.IsLittleEndian(sourceRow) == little && uids.IsExplicit(sourceRow) == explicitVr
        && uids.IsDeflated(sourceRow) == deflated && uids.CompressionOf(sourceRow) == compression)
        return source;
    if (sourceRow < 0 && !source.empty() && IsEncapsulated(ds)) {
        // A compressed syntax newer than the dictionary: its fragments are carried as they are,
        // and encapsulated pixel data only ever comes in explicit VR little-endian.
        return little && explicitVr && !deflated ? source : std::string();
    }
    const int32_t row = uids.FindTransferSyntax(little, explicitVr, deflated, compression);
    return row >= 0 ? std::string(uids.UidText(row)) : std::string();
}

ResultCode PrepareMetaGroup(DataSet& ds, uint32_t options)
{
    const std::string syntax = OutputTransferSyntax(ds, options);
    if (syntax.empty())
        return ERROR_DS_TRANSFER_SYNTAX;
    SetTopLevelText(ds, tags::TRANSFER_SYNTAX_UID, vr::UI, syntax);
    if (ds.FindElement(NO_ELEMENT, kMetaVersion, true) < 0) {
        const uint8_t version[] = { 0x00, 0x01 }; // PS3.10 7.1: version 1
        ds.AppendValue(ds.InsertElement(NO_ELEMENT, kMetaVersion, vr::OB, false, 0), version, 2);
    }
    // The meta group names the object the body holds.
    for (const auto& [meta, body] : { std::pair { kMediaStorageSopClass, kSopClass },
             std::pair { kMediaStorageSopInstance, kSopInstance } }) {
        const std::string uid = TopLevelText(ds, body);
        if (!uid.empty())
            SetTopLevelText(ds, meta, vr::UI, uid);
    }
    SetTopLevelText(ds, kImplementationClass, vr::UI, std::string(kImplementationClassUid));
    SetTopLevelText(ds, kImplementationVersion, vr::SH, "VELMORA " VELMORA_VERSION);
    return SUCCESS;
}

} // namespace velmora
