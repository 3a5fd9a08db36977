#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cfb/CompoundFileWriter.h"
#include "platform/Env.h"
#include "platform/WritableFile.h"

// Creates compound files whose file counts its flushes to disk, records its copies, and reports
// `blockSize` as its block size when that is set.
class RecordingWriter {
public:
    struct Copy {
        std::uint64_t from;
        std::uint64_t to;
        std::uint64_t count;
    };

    int syncs = 0;
    std::vector<Copy> copies;
    std::uint32_t blockSize = 0;

    std::unique_ptr<cfb::CompoundFileWriter> create(const std::filesystem::path& path,
                                                    cfb::Version version = cfb::Version::V3) {
        std::unique_ptr<WritableFile> file;
        if (Env::Default().openWritable(path, &file) != 0) {
            throw std::runtime_error("cannot create " + path.u8string());
        }
        return cfb::CompoundFileWriter::create(std::make_unique<File>(std::move(file), *this),
                                               version);
    }

private:
    class File : public WritableFile {
    public:
        File(std::unique_ptr<WritableFile> inner, RecordingWriter& log)
            : inner_(std::move(inner)), log_(log) {}
        int writeAt(std::uint64_t offset, const void* buffer, std::size_t count) override {
            return inner_->writeAt(offset, buffer, count);
        }
        int copyFrom(ReadableFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                     std::uint64_t count) override {
            log_.copies.push_back(Copy{sourceOffset, offset, count});
            return inner_->copyFrom(source, sourceOffset, offset, count);
        }
        int truncate(std::uint64_t size) override { return inner_->truncate(size); }
        std::uint32_t blockSize() const override {
            return log_.blockSize != 0 ? log_.blockSize : inner_->blockSize();
        }
        int sync() override {
            ++log_.syncs;
            return inner_->sync();
        }
        int close() override { return inner_->close(); }

    private:
        std::unique_ptr<WritableFile> inner_;
        RecordingWriter& log_;
    };
};
