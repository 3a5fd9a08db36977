#pragma once

#include <memory>

#include "platform/WritableFile.h"
#include "streams/OutputStream.h"

// Writes an open disk file from its start, each write passed on as it comes.
class FileOutputStream : public OutputStream {
public:
    explicit FileOutputStream(std::unique_ptr<WritableFile> file);

    // Throw IOException with an ErrnoErrorDetail when the bytes cannot be stored (a full disk,
    // for instance), and after close().
    void writeByte(std::uint8_t byte) override;
    void write(const std::uint8_t* buffer, std::size_t count) override;

    // Closes the file, throwing IOException with an ErrnoErrorDetail when the system reports
    // a failure only then. Later writes throw; a second close() does nothing.
    void close();

private:
    std::unique_ptr<WritableFile> file_;
    std::uint64_t position_ = 0;
};
