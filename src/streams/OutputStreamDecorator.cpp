#include "streams/OutputStreamDecorator.h"

OutputStreamDecorator::~OutputStreamDecorator() {
    try {
        inner_.flush();
    } catch (...) {
        // A destructor cannot report; callers that care flushed explicitly before.
    }
}
