#include "pptformat/OldVersion.h"

#include "errors/OldVersionException.h"
#include "errors/StringErrorDetail.h"
#include "streams/OLEStream.h"

namespace {
bool hasStream(OLEStorage& storage, const char* name) {
    OLEStream probe;
    try {
        return probe.open(storage, name);
    } catch (const Exception&) {
        return false;
    }
}
}  // namespace

OldVersion::OldVersion(OLEStorage& storage) {
    if (hasStream(storage, "PP40") || hasStream(storage, "Header")) {
        throw OldVersionException(std::make_unique<StringErrorDetail>("Old version of PowerPoint"));
    }
}
