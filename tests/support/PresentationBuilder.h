#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/Bytes.h"
#include "support/Records.h"

namespace fixtures {

// A named stream of a compound file to write.
struct NamedStream {
    std::string name;
    Bytes data;
};

// Builds presentations in code: persist objects grouped into user edits (the first edit a full
// save, later ones incremental), laid out as PowerPoint lays out a Document stream, plus the
// Current User stream, written into a compound file with our own writer.
//
//   PresentationBuilder b;
//   b.add(documentContainer({exObjList({exEmbed(1, 3)})}));  // id 1
//   b.add(slide({oleShape(1025, 1, true)}));                  // id 2
//   b.add(exOleObjStg(embedded.compoundFile()));             // id 3
//   b.writeTo(path);
class PresentationBuilder {
public:
    PresentationBuilder();

    // Adds an object under the next id (one above the highest used so far); returns the id.
    std::uint32_t add(Bytes object);
    // Puts an object under an id in the current edit.
    PresentationBuilder& set(std::uint32_t persistId, Bytes object);
    // Starts a new user edit; objects added afterwards are stored by it.
    PresentationBuilder& beginEdit();

    PresentationBuilder& setToken(std::uint32_t token);
    // Extra root streams of the compound file.
    PresentationBuilder& addStream(std::string name, Bytes data);

    // The Document stream and the offset of its newest user edit.
    Bytes documentStream() const;
    std::uint32_t currentEditOffset() const;
    // The persist id -> offset map of every object in the document stream, newest edit first.
    std::map<std::uint32_t, std::uint32_t> objectOffsets() const;

    Bytes currentUserStream() const;
    std::vector<NamedStream> streams() const;

    void writeTo(const std::filesystem::path& path) const;
    Bytes compoundFile() const;

private:
    struct Layout {
        Bytes stream;
        std::uint32_t currentEdit = 0;
        std::map<std::uint32_t, std::uint32_t> offsets;
    };
    Layout layout() const;

    std::vector<std::map<std::uint32_t, Bytes>> edits_;
    std::uint32_t nextId_ = 1;
    std::uint32_t token_ = kPlainToken;
    std::vector<NamedStream> extraStreams_;
};

// Writes a compound file with these root streams through our own writer.
void writeCompoundFile(const std::filesystem::path& path, const std::vector<NamedStream>& streams);
Bytes compoundFileBytes(const std::vector<NamedStream>& streams);
Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& data);
// The whole content of a root stream of a compound file, read through our own reader.
Bytes readStream(const std::filesystem::path& file, const std::string& name);
}  // namespace fixtures
