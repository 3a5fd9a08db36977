#include "repair/PowerPointPresentation.h"

#include "errors/Exception.h"
#include "errors/StringErrorDetail.h"
#include "platform/ReadableFile.h"
#include "pptformat/OldVersion.h"
#include "repair/EmbeddedPPT.h"
#include "streams/TempFile.h"

PowerPointPresentation::PowerPointPresentation(std::filesystem::path inputPath,
                                               const ReadableFileOpener& openInput)
    : CompoundFile(std::move(inputPath), openInput) {
    examine();
}

PowerPointPresentation::PowerPointPresentation(std::unique_ptr<ReadableFile> input,
                                               std::filesystem::path inputName)
    : CompoundFile(std::move(input), std::move(inputName)) {
    examine();
}

void PowerPointPresentation::examine() {
    OldVersion check(storage());
    currentUser_ = std::make_unique<CurrentUser>(storage());
    document_ = std::make_unique<Document>(storage());
    const std::uint32_t token = currentUser_->headerToken();
    isEncrypted_ = token == CurrentUser::kEncryptedToken;
    isPowerPoint_ = token == CurrentUser::kPlainToken || isEncrypted_;
    if (isPowerPoint_ && !isEncrypted_ && !document_->load(currentUser_->offsetToCurrentEdit())) {
        isEncrypted_ = true;
    }
}

PowerPointPresentation::~PowerPointPresentation() {
    releaseStreams();
}

void PowerPointPresentation::releaseStreams() {
    currentUser_.reset();
    document_.reset();
}

void PowerPointPresentation::collectEmbeddedPresentations(Progress& progress, UnpackBudget& budget,
                                                          EmbeddedPPTList& list, int depth) {
    list.push_back(std::make_unique<EmbeddedPPT>(progress, budget, depth));
    EmbeddedPPT& mine = *list.back();
    mine.scan(*document_, storage(), list);
}

bool PowerPointPresentation::fixOleShapes(Progress& progress) {
    try {
        return document_->fixOleShapes(progress);
    } catch (...) {
        releaseStreams();
        throw;
    }
}

void PowerPointPresentation::save() {
    try {
        if (output() == nullptr) {
            throw Exception(std::make_unique<StringErrorDetail>("No output file"));
        }
        storage().create(output()->openWriter(), output()->path());
        currentUser_->setOffsetToCurrentEdit(document_->persistedSize());
        currentUser_->save(storage());
        document_->save(storage());
        storage().copyRemainingElements();
    } catch (...) {
        releaseStreams();
        throw;
    }
}

void PowerPointPresentation::commit() {
    releaseStreams();
    storage().commit();
}
