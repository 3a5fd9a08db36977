#pragma once

#include <algorithm>
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

// Writes a compound file with these root streams through our own writer.
void writeCompoundFile(const std::filesystem::path& path, const std::vector<NamedStream>& streams);
Bytes compoundFileBytes(const std::vector<NamedStream>& streams);

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
    // Adds an object under the next id (one above the highest used so far); returns the id.
    std::uint32_t add(Bytes object) {
        const std::uint32_t id = nextId_;
        set(id, std::move(object));
        return id;
    }
    // Puts an object under an id in the current edit.
    PresentationBuilder& set(std::uint32_t persistId, Bytes object) {
        edits_.back()[persistId] = std::move(object);
        nextId_ = std::max(nextId_, persistId + 1);
        return *this;
    }
    // Starts a new user edit; objects added afterwards are stored by it.
    PresentationBuilder& beginEdit() {
        edits_.emplace_back();
        return *this;
    }
    PresentationBuilder& setToken(std::uint32_t token) {
        token_ = token;
        return *this;
    }
    // Extra root streams of the compound file.
    PresentationBuilder& addStream(std::string name, Bytes data) {
        extraStreams_.push_back({std::move(name), std::move(data)});
        return *this;
    }

    // The Document stream and the offset of its newest user edit.
    Bytes documentStream() const { return layout().stream; }
    std::uint32_t currentEditOffset() const { return layout().currentEdit; }
    // The persist id -> offset map of every object in the document stream, newest edit first.
    std::map<std::uint32_t, std::uint32_t> objectOffsets() const { return layout().offsets; }

    Bytes currentUserStream() const { return currentUserAtom(currentEditOffset(), token_); }
    std::vector<NamedStream> streams() const;

    void writeTo(const std::filesystem::path& path) const { writeCompoundFile(path, streams()); }
    Bytes compoundFile() const { return compoundFileBytes(streams()); }

private:
    struct Layout {
        Bytes stream;
        std::uint32_t currentEdit = 0;
        std::map<std::uint32_t, std::uint32_t> offsets;
    };
    Layout layout() const;

    std::vector<std::map<std::uint32_t, Bytes>> edits_ = {{}};
    std::uint32_t nextId_ = 1;
    std::uint32_t token_ = kPlainToken;
    std::vector<NamedStream> extraStreams_;
};

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& data);
// The whole content of a root stream of a compound file, read through our own reader.
Bytes readStream(const std::filesystem::path& file, const std::string& name);
}  // namespace fixtures
