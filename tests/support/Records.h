#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/Bytes.h"

// Builders for the records of a presentation's Document stream, as PowerPoint lays them out.
namespace fixtures {

constexpr std::uint32_t kPlainToken = 0xE391C05F;
constexpr std::uint32_t kEncryptedToken = 0xF3D1C4DF;

constexpr std::uint16_t kPib = 0x0104;
constexpr std::uint16_t kPictureId = 0x010B;
constexpr std::uint16_t kUnusedProperty = 0x0113;  // where a flattening tool moves pictureId

constexpr std::uint32_t kOleShapeFlag = 0x10;
constexpr std::uint32_t kHaveAnchorFlag = 0x200;
constexpr std::uint32_t kHaveShapeTypeFlag = 0x800;

Bytes header(std::uint16_t type, std::uint32_t length, std::uint16_t instance = 0,
             std::uint8_t version = 0);
Bytes atom(std::uint16_t type, const Bytes& body, std::uint16_t instance = 0,
           std::uint8_t version = 0);
Bytes container(std::uint16_t type, const std::vector<Bytes>& children, std::uint16_t instance = 0);

// Shape property table entry; a complex entry's value is the size of its data.
struct Property {
    std::uint16_t id;
    std::uint32_t value;
    Bytes complexData = {};
};

// OfficeArtFSP: shape id and flags.
Bytes shapeRecord(std::uint32_t spid, std::uint32_t flags);
// OfficeArtFOPT with the entries followed by the complex data.
Bytes propertyTable(const std::vector<Property>& properties);
// OfficeArtSpContainer of one shape: FSP, FOPT, and client data naming an external object.
Bytes shapeContainer(std::uint32_t spid, std::uint32_t flags,
                     const std::vector<Property>& properties);
// An OLE object shape showing external object `exObjId`; flattened, its pictureId entry is
// moved to an unused id, the way a file-size optimiser leaves it.
Bytes oleShape(std::uint32_t spid, std::uint32_t exObjId, bool flattened);
// A picture shape (not an OLE object).
Bytes pictureShape(std::uint32_t spid);
// A slide with its drawing holding these shapes.
Bytes slide(const std::vector<Bytes>& shapes, std::uint32_t drawingId = 1);

// The Document container: DocumentAtom, the children, EndDocumentAtom.
Bytes documentContainer(const std::vector<Bytes>& children = {});
// The Environment container with a font collection of one font, as readers expect it.
Bytes environment();
// A main master with an empty drawing, and the master list (instance 1) naming it; its slide id
// is the one every slide's SlideAtom refers to.
Bytes mainMaster();
Bytes masterList(std::uint32_t masterPersistId);
// The slide list (SlideListWithText, instance 0) naming the slides' persist ids in order.
Bytes slideList(const std::vector<std::uint32_t>& slidePersistIds);
// ExObjList with its atom and the ExEmbed containers.
Bytes exObjList(const std::vector<Bytes>& exEmbeds);
// ExEmbed of an embedded object (type 0) or another kind of object.
Bytes exEmbed(std::uint32_t exObjId, std::uint32_t storagePersistId, std::uint32_t objectType = 0);
// ExOleObjStg holding a compound file: zlib-compressed behind its size (instance 1) or as is.
Bytes exOleObjStg(const Bytes& compoundFile, bool compressed = true);

// The atoms of a user edit.
struct UserEditFields {
    std::uint32_t lastSlideIdRef = 0x100;
    std::uint32_t offsetLastEdit = 0;
    std::uint32_t offsetPersistDirectory = 0;
    std::uint32_t docPersistIdRef = 1;
    std::uint32_t persistIdSeed = 1;
    std::uint16_t lastView = 1;
    Bytes extra = {};  // body bytes beyond the 28 the atom always has
};
Bytes userEditAtom(const UserEditFields& fields);
// A persist directory atom of the given runs: {first id, offsets of the consecutive ids}.
Bytes persistDirectoryAtom(
    const std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>>& runs);

// The "Current User" stream's atom.
Bytes currentUserAtom(std::uint32_t offsetToCurrentEdit, std::uint32_t token = kPlainToken,
                      const std::string& userName = "tester", bool withUnicodeName = true);

}  // namespace fixtures
