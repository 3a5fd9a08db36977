#pragma once

#include "streams/OutputStream.h"

// Base of filters over another output stream. It never owns the stream it wraps and forwards
// every operation to it. Destruction flushes the wrapped stream as a last resort, swallowing
// failures: code that needs its data complete calls flush() (or a filter's own finishing call)
// itself, where a failure can still be reported.
class OutputStreamDecorator : public OutputStream {
public:
    explicit OutputStreamDecorator(OutputStream& inner) : inner_(inner) {}
    ~OutputStreamDecorator() override;

    void flush() override { inner_.flush(); }
    void writeByte(std::uint8_t byte) override { inner_.writeByte(byte); }
    void write(const std::uint8_t* buffer, std::size_t count) override {
        inner_.write(buffer, count);
    }

protected:
    OutputStream& inner() { return inner_; }

private:
    OutputStream& inner_;
};
