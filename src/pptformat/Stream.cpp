#include "pptformat/Stream.h"

#include "errors/IOException.h"
#include "errors/StringErrorDetail.h"

void Stream::create(OLEStorage& storage) {
    if (!oleStream_.create(storage, name_)) {
        throw IOException(
            std::make_unique<StringErrorDetail>("Error creating stream [" + name_ + "]"));
    }
}

void Stream::open(OLEStorage& storage) {
    if (!oleStream_.open(storage, name_)) {
        throw IOException(
            std::make_unique<StringErrorDetail>("Error opening stream [" + name_ + "]"));
    }
}
