#pragma once

#include <cstdio>
#include <filesystem>

#include "streams/OutputStream.h"

// Writes a disk file through the C runtime's buffered file functions.
class FileOutputStream : public OutputStream {
public:
    // append false empties an existing file; both modes create a missing one. Throws
    // FileCreateException with an ErrnoErrorDetail when the file cannot be opened.
    FileOutputStream(const std::filesystem::path& path, bool append);
    // Closes the file; a failure there can only be reported by an explicit close().
    ~FileOutputStream() override;

    // Throws IOException with an ErrnoErrorDetail when buffered bytes cannot be written (a full
    // disk, for instance).
    void flush() override;
    // Throw IOException with an ErrnoErrorDetail when the bytes cannot be stored, and after
    // close().
    void writeByte(std::uint8_t byte) override;
    void write(const std::uint8_t* buffer, std::size_t count) override;

    // Writes out what is buffered and closes the file, throwing IOException with an
    // ErrnoErrorDetail on failure (the file is closed all the same). Later writes throw;
    // a second close() does nothing.
    void close();

private:
    std::FILE* openFile();

    std::FILE* file_ = nullptr;
};
