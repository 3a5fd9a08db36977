#include "StreamedPresentation.h"

#include <stdexcept>
#include <utility>
#include <vector>

#include "streams/OLEStorage.h"
#include "streams/OLEStream.h"

using fixtures::Bytes;

namespace bench {

std::unique_ptr<OLEStream> createRootStream(OLEStorage& storage, const std::string& name) {
    auto stream = std::make_unique<OLEStream>();
    if (!stream->create(storage, name)) {
        throw std::runtime_error("cannot create stream " + name);
    }
    return stream;
}

StreamedPresentation::StreamedPresentation(OLEStorage& storage)
    : storage_(storage), document_(createRootStream(storage, "PowerPoint Document")) {}

StreamedPresentation::~StreamedPresentation() = default;

std::uint32_t StreamedPresentation::add(const Bytes& object) {
    const std::uint32_t id = nextId_;
    set(id, object);
    return id;
}

void StreamedPresentation::set(std::uint32_t persistId, const Bytes& object) {
    if (!edit_.emplace(persistId, static_cast<std::uint32_t>(offset_)).second) {
        throw std::logic_error("persist id stored twice in one edit");
    }
    highestId_ = std::max(highestId_, persistId);
    nextId_ = std::max(nextId_, persistId + 1);
    write(object);
}

void StreamedPresentation::write(const Bytes& bytes) {
    if (offset_ + bytes.size() > UINT32_MAX) {
        throw std::length_error("Document stream beyond 4 GiB");
    }
    document_->write(bytes.data(), bytes.size());
    offset_ += bytes.size();
}

void StreamedPresentation::endEdit() {
    std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> runs;
    for (const auto& [id, offset] : edit_) {
        if (runs.empty() || runs.back().first + runs.back().second.size() != id) {
            runs.push_back({id, {}});
        }
        runs.back().second.push_back(offset);
    }
    fixtures::UserEditFields fields;
    fields.offsetLastEdit = previousEdit_;
    fields.offsetPersistDirectory = static_cast<std::uint32_t>(offset_);
    fields.persistIdSeed = highestId_;
    write(fixtures::persistDirectoryAtom(runs));
    previousEdit_ = static_cast<std::uint32_t>(offset_);
    write(fixtures::userEditAtom(fields));
    edit_.clear();
}

void StreamedPresentation::beginEdit() {
    endEdit();
}

void StreamedPresentation::finish(std::uint32_t token) {
    endEdit();
    document_->release();
    document_.reset();
    const Bytes currentUser = fixtures::currentUserAtom(previousEdit_, token);
    createRootStream(storage_, "Current User")->write(currentUser.data(), currentUser.size());
}

}  // namespace bench
