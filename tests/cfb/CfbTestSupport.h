#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/EntryName.h"
#include "cfb/Error.h"
#include "cfb/StreamReader.h"
#include "cfb/StreamWriter.h"
#include "platform/Env.h"
#include "platform/WritableFile.h"
#include "streams/LittleEndian.h"
#include "support/Bytes.h"

namespace cfbtest {

using fixtures::pattern;

// The kind of cfb::Error that `action` throws; nothing when it throws none.
inline std::optional<cfb::ErrorKind> errorKindOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const cfb::Error& error) {
        return error.kind();
    }
    return std::nullopt;
}

// An entry name made of `prefix` and a number.
inline std::u16string numbered(const std::string& prefix, std::size_t number) {
    return cfb::EntryName::fromUtf8(prefix + std::to_string(number));
}

// Writes `data` as a new stream, in pieces of `chunk` bytes.
inline void writeStream(cfb::CompoundFileWriter& writer, std::uint32_t parent,
                        const std::u16string& name, const std::vector<std::uint8_t>& data,
                        std::size_t chunk = 1000) {
    std::unique_ptr<cfb::StreamWriter> stream = writer.createStream(parent, name);
    for (std::size_t at = 0; at < data.size(); at += chunk) {
        stream->write(data.data() + at, std::min(chunk, data.size() - at));
    }
    stream->close();
}

inline std::vector<std::uint8_t> readStream(const cfb::CompoundFileReader& reader,
                                            std::uint32_t id) {
    std::unique_ptr<cfb::StreamReader> stream = reader.openStream(id);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(stream->size()));
    const std::size_t got = stream->read(data.data(), data.size());
    data.resize(got);
    return data;
}

inline std::vector<std::uint8_t> readStream(const cfb::CompoundFileReader& reader,
                                            const std::u16string& name) {
    return readStream(reader, reader.find(cfb::CompoundFileReader::kRoot, name).value());
}

// Copies every element of `source` and its root's attributes into `writer`, and commits.
inline void copyWhole(const cfb::CompoundFileReader& source, cfb::CompoundFileWriter& writer) {
    for (std::uint32_t id : source.children(cfb::CompoundFileReader::kRoot)) {
        writer.copyElement(source, id, cfb::CompoundFileWriter::kRoot);
    }
    writer.copyRootAttributes(source);
    writer.commit();
}

inline std::string clsidText(const cfb::DirectoryEntry::Clsid& c) {
    if (std::all_of(c.begin(), c.end(), [](std::uint8_t b) { return b == 0; })) {
        return "";
    }
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  LittleEndian::readU32(&c[0]), LittleEndian::readU16(&c[4]),
                  LittleEndian::readU16(&c[6]), c[8], c[9], c[10], c[11], c[12], c[13], c[14],
                  c[15]);
    return text;
}

// One sorted line per element, names in UTF-8, the format of olefile_list.py.
inline std::string listing(const cfb::CompoundFileReader& reader) {
    std::vector<std::string> lines{"root " + clsidText(reader.entry(0).clsid)};
    std::vector<std::pair<std::uint32_t, std::string>> pending{{0, ""}};
    while (!pending.empty()) {
        const auto [storage, prefix] = pending.back();
        pending.pop_back();
        for (std::uint32_t id : reader.children(storage)) {
            const cfb::DirectoryEntry& entry = reader.entry(id);
            const std::string path = prefix + cfb::EntryName::toUtf8(entry.name);
            if (entry.isStream()) {
                const std::vector<std::uint8_t> data = readStream(reader, id);
                char crc[16];
                std::snprintf(crc, sizeof crc, "%08lx",
                              crc32(0, data.data(), static_cast<uInt>(data.size())));
                lines.push_back("stream " + path + " " + std::to_string(data.size()) + " " + crc);
            } else {
                lines.push_back("storage " + path + " " + clsidText(entry.clsid));
                pending.emplace_back(id, path + "/");
            }
        }
    }
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& line : lines) {
        out += line + "\n";
    }
    return out;
}

}  // namespace cfbtest

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
