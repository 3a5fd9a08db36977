#pragma once

#include "streams/InputStream.h"

// Base of filters over another input stream. It never owns the stream it wraps; seek() and
// tell() go to the wrapped stream unchanged.
class InputStreamDecorator : public InputStream {
public:
    explicit InputStreamDecorator(InputStream& inner) : inner_(inner) {}

    void seek(std::int64_t offset, SeekOrigin origin) override { inner_.seek(offset, origin); }
    std::int64_t tell() override { return inner_.tell(); }

protected:
    InputStream& inner() { return inner_; }

private:
    InputStream& inner_;
};
