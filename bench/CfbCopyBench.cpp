// Benchmark of the compound file writer and copy.
//   cfb_copy_bench generate FILE   writes one 1 GiB stream and 10,000 small streams
//   cfb_copy_bench copy FROM TO    copies every element of FROM into a new file TO
// Each prints its wall time and the process's peak resident memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/EntryName.h"
#include "cfb/Error.h"
#include "cfb/StreamWriter.h"
#include "platform/Env.h"

namespace {

constexpr std::size_t kLargeStream = std::size_t{1} << 30;
constexpr std::size_t kChunk = std::size_t{1} << 20;
constexpr int kSmallStreams = 10000;

void generate(const std::filesystem::path& path) {
    auto writer = cfb::CompoundFileWriter::create(Env::Default(), path);
    std::vector<std::uint8_t> chunk(kChunk);
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        chunk[i] = static_cast<std::uint8_t>(i * 31 + i / 4096);
    }
    {
        auto large = writer->createStream(cfb::CompoundFileWriter::kRoot, u"Large");
        for (std::size_t written = 0; written < kLargeStream; written += kChunk) {
            large->write(chunk.data(), chunk.size());
        }
    }
    const std::uint32_t storage = writer->createStorage(cfb::CompoundFileWriter::kRoot, u"Small");
    for (int i = 0; i < kSmallStreams; ++i) {
        auto stream =
            writer->createStream(storage, cfb::EntryName::fromUtf8("s" + std::to_string(i)));
        // Mostly below the mini stream cutoff, every tenth above it.
        const std::size_t size = i % 10 == 0 ? 6000 + i % 3000 : (i * 37) % 4000;
        stream->write(chunk.data() + i, size);
    }
    writer->commit();
}

void copy(const std::filesystem::path& from, const std::filesystem::path& to) {
    auto reader = cfb::CompoundFileReader::open(Env::Default(), from);
    auto writer = cfb::CompoundFileWriter::create(Env::Default(), to);
    for (std::uint32_t id : reader->children(cfb::CompoundFileReader::kRoot)) {
        writer->copyElement(*reader, id, cfb::CompoundFileWriter::kRoot);
    }
    writer->copyRootAttributes(*reader);
    writer->commit();
}

}  // namespace

int main(int argc, char** argv) {
    const bool generating = argc == 3 && std::strcmp(argv[1], "generate") == 0;
    const bool copying = argc == 4 && std::strcmp(argv[1], "copy") == 0;
    if (!generating && !copying) {
        std::fprintf(stderr, "usage: %s generate FILE | copy FROM TO\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    try {
        if (generating) {
            generate(argv[2]);
        } else {
            copy(argv[2], argv[3]);
        }
    } catch (const cfb::Error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%s: %.3f s, peak RSS %ld MiB\n", argv[1], seconds, usage.ru_maxrss / 1024);
    return 0;
}
