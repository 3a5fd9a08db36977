#include "streams/ThrowZlibError.h"

#include <memory>

#include "errors/IOException.h"
#include "errors/ZlibErrorDetail.h"

void ThrowZlibError(int result, const char* message) {
    throw IOException(std::make_unique<ZlibErrorDetail>(message != nullptr ? message : "", result));
}
