#include "support/Records.h"

#include "streams/LittleEndian.h"

namespace fixtures {

namespace {
constexpr std::uint16_t kShapeContainer = 0xF004;
constexpr std::uint16_t kShape = 0xF00A;
constexpr std::uint16_t kShapeProperties = 0xF00B;
constexpr std::uint16_t kClientData = 0xF011;
constexpr std::uint16_t kExObjRefAtom = 0x0BC1;
constexpr std::uint16_t kPictureFrameType = 75;
constexpr std::uint16_t kHostControlType = 201;

// The slide atom of a slide (following master `masterId`) or a master (0).
Bytes slideAtom(std::uint32_t masterId) {
    return atom(0x03EF, concat({u32(0), zeros(8), u32(masterId), u32(0), u16(0), u16(0)}), 0, 2);
}

// A drawing whose group shape (id `drawingId` << 10) holds these shapes.
Bytes drawing(std::uint32_t drawingId, const std::vector<Bytes>& shapes, std::uint16_t instance) {
    std::vector<Bytes> group{container(kShapeContainer, {shapeRecord(drawingId << 10, 0x5)})};
    group.insert(group.end(), shapes.begin(), shapes.end());
    const auto count = static_cast<std::uint32_t>(shapes.size());
    return container(
        0x040C,
        {container(0xF002, {atom(0xF008, concat({u32(count + 1), u32((drawingId << 10) + count)}),
                                 instance),
                            container(0xF003, group)})});
}

}  // namespace

Bytes header(std::uint16_t type, std::uint32_t length, std::uint16_t instance,
             std::uint8_t version) {
    Bytes out(8);
    LittleEndian::writeU16(out.data(),
                           static_cast<std::uint16_t>((instance << 4) | (version & 0xF)));
    LittleEndian::writeU16(out.data() + 2, type);
    LittleEndian::writeU32(out.data() + 4, length);
    return out;
}

Bytes atom(std::uint16_t type, const Bytes& body, std::uint16_t instance, std::uint8_t version) {
    return concat({header(type, static_cast<std::uint32_t>(body.size()), instance, version), body});
}

Bytes container(std::uint16_t type, const std::vector<Bytes>& children, std::uint16_t instance) {
    const Bytes body = concat(children);
    return concat({header(type, static_cast<std::uint32_t>(body.size()), instance, 0xF), body});
}

Bytes shapeRecord(std::uint32_t spid, std::uint32_t flags) {
    const std::uint16_t shapeType =
        (flags & kOleShapeFlag) != 0 ? kPictureFrameType : kHostControlType;
    return atom(kShape, concat({u32(spid), u32(flags)}), shapeType, 2);
}

Bytes propertyTable(const std::vector<Property>& properties) {
    std::vector<Bytes> parts;
    for (const Property& p : properties) {
        const bool complex = !p.complexData.empty();
        const std::uint16_t key = static_cast<std::uint16_t>(p.id | (complex ? 0x8000 : 0));
        parts.push_back(concat(
            {u16(key), u32(complex ? static_cast<std::uint32_t>(p.complexData.size()) : p.value)}));
    }
    for (const Property& p : properties) {
        parts.push_back(p.complexData);
    }
    return atom(kShapeProperties, concat(parts), static_cast<std::uint16_t>(properties.size()), 3);
}

Bytes shapeContainer(std::uint32_t spid, std::uint32_t flags,
                     const std::vector<Property>& properties) {
    return container(kShapeContainer,
                     {shapeRecord(spid, flags), propertyTable(properties),
                      container(kClientData, {atom(kExObjRefAtom, u32(spid & 0xFF))})});
}

Bytes oleShape(std::uint32_t spid, std::uint32_t exObjId, bool flattened) {
    return shapeContainer(
        spid, kOleShapeFlag | kHaveAnchorFlag | kHaveShapeTypeFlag,
        {{0x007F, 0x01000100}, {flattened ? kUnusedProperty : kPictureId, exObjId}, {kPib, 1}});
}

Bytes pictureShape(std::uint32_t spid) {
    return shapeContainer(spid, kHaveAnchorFlag | kHaveShapeTypeFlag, {{kPib, 2}});
}

Bytes slide(const std::vector<Bytes>& shapes, std::uint32_t drawingId) {
    return container(0x03EE, {slideAtom(0x80000000),
                              drawing(drawingId, shapes, static_cast<std::uint16_t>(drawingId))});
}

Bytes documentContainer(const std::vector<Bytes>& children) {
    const Bytes documentAtom = atom(0x03E9,
                                    concat({u32(5760), u32(4320), u32(4320), u32(5760), u32(1),
                                            u32(2), u32(0), u32(0), u16(1), u16(0), zeros(4)}),
                                    0, 1);
    std::vector<Bytes> all{documentAtom};
    all.insert(all.end(), children.begin(), children.end());
    all.push_back(atom(0x03EA, {}));
    return container(0x03E8, all);
}

Bytes environment() {
    Bytes faceName = utf16("Arial");
    faceName.resize(64, 0);
    const Bytes font = atom(0x0FB7, concat({faceName, {0, 0, 4, 0x22}}));
    // The document's default text style: no indent levels.
    const Bytes textStyle = atom(0x0FA3, u16(0), 4);
    return container(0x03F2, {container(0x07D5, {font}), textStyle});
}

Bytes mainMaster() {
    const Bytes colors = atom(0x07F0,
                              concat({u32(0xFFFFFF), u32(0), u32(0x808080), u32(0), u32(0xFFFFCC),
                                      u32(0x3333CC), u32(0xCCCCFF), u32(0xB2B2B2)}),
                              1);
    return container(0x03F8, {slideAtom(0), colors, drawing(1, {}, 0)});
}

Bytes masterList(std::uint32_t masterPersistId) {
    return container(
        0x0FF0,
        {atom(0x03F3, concat({u32(masterPersistId), u32(0), u32(0), u32(0x80000000), u32(0)}))}, 1);
}

Bytes slideList(const std::vector<std::uint32_t>& slidePersistIds) {
    std::vector<Bytes> atoms;
    std::uint32_t slideId = 256;
    for (std::uint32_t persistId : slidePersistIds) {
        atoms.push_back(
            atom(0x03F3, concat({u32(persistId), u32(0), u32(0), u32(slideId++), u32(0)})));
    }
    return container(0x0FF0, atoms);
}

Bytes exObjList(const std::vector<Bytes>& exEmbeds) {
    std::vector<Bytes> children{atom(0x040A, u32(static_cast<std::uint32_t>(exEmbeds.size())))};
    children.insert(children.end(), exEmbeds.begin(), exEmbeds.end());
    return container(0x0409, children);
}

Bytes exEmbed(std::uint32_t exObjId, std::uint32_t storagePersistId, std::uint32_t objectType) {
    const Bytes embedAtom = atom(0x0FCD, concat({u32(0), zeros(4)}));
    const Bytes oleAtom =
        atom(0x0FC3,
             concat({u32(1), u32(objectType), u32(exObjId), u32(0), u32(storagePersistId), u32(0)}),
             0, 1);
    return container(0x0FCC, {embedAtom, oleAtom, atom(0x0FBA, utf16("Object"), 1)});
}

Bytes exOleObjStg(const Bytes& compoundFile, bool compressed) {
    if (!compressed) {
        return atom(0x1011, compoundFile);
    }
    return atom(
        0x1011,
        concat({u32(static_cast<std::uint32_t>(compoundFile.size())), zlibCompress(compoundFile)}),
        1);
}

Bytes userEditAtom(const UserEditFields& f) {
    return atom(0x0FF5, concat({u32(f.lastSlideIdRef),
                                u16(0),
                                {0, 3},
                                u32(f.offsetLastEdit),
                                u32(f.offsetPersistDirectory),
                                u32(f.docPersistIdRef),
                                u32(f.persistIdSeed),
                                u16(f.lastView),
                                u16(0),
                                f.extra}));
}

Bytes persistDirectoryAtom(
    const std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>>& runs) {
    std::vector<Bytes> parts;
    for (const auto& [first, offsets] : runs) {
        parts.push_back(u32(first | (static_cast<std::uint32_t>(offsets.size()) << 20)));
        for (std::uint32_t offset : offsets) {
            parts.push_back(u32(offset));
        }
    }
    return atom(0x1772, concat(parts));
}

Bytes currentUserAtom(std::uint32_t offsetToCurrentEdit, std::uint32_t token,
                      const std::string& userName, bool withUnicodeName) {
    const auto length = static_cast<std::uint16_t>(userName.size());
    Bytes body = concat({u32(20),
                         u32(token),
                         u32(offsetToCurrentEdit),
                         u16(length),
                         u16(0x03F4),
                         {3, 0},
                         u16(0),
                         text(userName),
                         u32(8)});
    const auto recordLength = static_cast<std::uint32_t>(body.size());
    if (withUnicodeName) {
        body = concat({body, utf16(userName)});
    }
    return concat({header(0x0FF6, recordLength), body});
}

}  // namespace fixtures
