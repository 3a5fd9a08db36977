#include "support/PresentationBuilder.h"

#include <stdexcept>

#include "ScratchFolder.h"
#include "streams/OLEStorage.h"
#include "streams/OLEStream.h"
#include "streams/TempFile.h"

namespace fixtures {

PresentationBuilder::Layout PresentationBuilder::layout() const {
    Layout out;
    std::uint32_t previousEdit = 0;
    std::uint32_t highestId = 0;
    for (const std::map<std::uint32_t, Bytes>& edit : edits_) {
        std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> runs;
        for (const auto& [id, object] : edit) {
            const auto offset = static_cast<std::uint32_t>(out.stream.size());
            out.offsets[id] = offset;
            highestId = std::max(highestId, id);
            if (runs.empty() || runs.back().first + runs.back().second.size() != id) {
                runs.push_back({id, {}});
            }
            runs.back().second.push_back(offset);
            out.stream.insert(out.stream.end(), object.begin(), object.end());
        }
        const auto directoryOffset = static_cast<std::uint32_t>(out.stream.size());
        const Bytes directory = persistDirectoryAtom(runs);
        out.stream.insert(out.stream.end(), directory.begin(), directory.end());
        UserEditFields fields;
        fields.offsetLastEdit = previousEdit;
        fields.offsetPersistDirectory = directoryOffset;
        fields.persistIdSeed = highestId;
        previousEdit = static_cast<std::uint32_t>(out.stream.size());
        const Bytes userEdit = userEditAtom(fields);
        out.stream.insert(out.stream.end(), userEdit.begin(), userEdit.end());
    }
    out.currentEdit = previousEdit;
    return out;
}

std::vector<NamedStream> PresentationBuilder::streams() const {
    std::vector<NamedStream> all{{"Current User", currentUserStream()},
                                 {"PowerPoint Document", documentStream()}};
    all.insert(all.end(), extraStreams_.begin(), extraStreams_.end());
    return all;
}

void writeCompoundFile(const std::filesystem::path& path, const std::vector<NamedStream>& streams) {
    OLEStorage storage;
    storage.create(path);
    for (const NamedStream& stream : streams) {
        OLEStream out;
        if (!out.create(storage, stream.name)) {
            throw std::runtime_error("cannot create stream " + stream.name);
        }
        out.write(stream.data.data(), stream.data.size());
    }
    storage.commit();
}

Bytes compoundFileBytes(const std::vector<NamedStream>& streams) {
    TempFile file;
    writeCompoundFile(file.path(), streams);
    return readFile(file.path());
}

Bytes readFile(const std::filesystem::path& path) {
    const std::string bytes = ReadFileBytes(path);
    return Bytes(bytes.begin(), bytes.end());
}

void writeFile(const std::filesystem::path& path, const Bytes& data) {
    WriteFileBytes(path, std::string(data.begin(), data.end()));
}

Bytes readStream(const std::filesystem::path& file, const std::string& name) {
    OLEStorage storage;
    storage.open(file);
    OLEStream stream;
    if (!stream.open(storage, name)) {
        throw std::runtime_error("no stream " + name);
    }
    Bytes data(static_cast<std::size_t>(stream.size()));
    std::size_t done = 0;
    while (done < data.size()) {
        done += stream.read(data.data() + done, data.size() - done);
    }
    return data;
}

}  // namespace fixtures
