#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Env.h"
#include "platform/WritableFile.h"

// The system's Env, except that files opened for writing count their flushes to disk, record
// their copies, and report `blockSize` as their block size when it is set.
class RecordingEnv : public Env {
public:
    struct Copy {
        std::uint64_t from;
        std::uint64_t to;
        std::uint64_t count;
    };

    int syncs = 0;
    std::vector<Copy> copies;
    std::uint32_t blockSize = 0;

    PathKind pathKind(const std::filesystem::path& p) override { return base().pathKind(p); }
    bool pathExists(const std::filesystem::path& p) override { return base().pathExists(p); }
    std::unique_ptr<PinnedFile> pinFile(const std::filesystem::path& p) override {
        return base().pinFile(p);
    }
    std::filesystem::path tempFolder() override { return base().tempFolder(); }
    int createFile(const std::filesystem::path& folder, const std::string& prefix,
                   std::unique_ptr<CreatedFile>* file) override {
        return base().createFile(folder, prefix, file);
    }
    std::string errorText(int errorNumber) override { return base().errorText(errorNumber); }
    int openReadable(const std::filesystem::path& p, std::unique_ptr<ReadableFile>* file) override {
        return base().openReadable(p, file);
    }
    int openWritable(const std::filesystem::path& p, std::unique_ptr<WritableFile>* file) override {
        std::unique_ptr<WritableFile> inner;
        const int error = base().openWritable(p, &inner);
        if (error == 0) {
            *file = std::make_unique<Recording>(std::move(inner), *this);
        }
        return error;
    }
    ErrorKind errorKind(int errorNumber) override { return base().errorKind(errorNumber); }
    std::FILE* openStdioFile(const std::filesystem::path& p, const char* mode) override {
        return base().openStdioFile(p, mode);
    }
    std::filesystem::path executablePath() override { return base().executablePath(); }
    std::filesystem::path homeFolder() override { return base().homeFolder(); }
    std::filesystem::path documentsFolder() override { return base().documentsFolder(); }
    ProcessResult runProcess(const std::filesystem::path& program,
                             const std::vector<std::string>& arguments) override {
        return base().runProcess(program, arguments);
    }
    std::unique_ptr<ChildProcesses> childProcesses() override { return base().childProcesses(); }
    unsigned processorCount() override { return base().processorCount(); }

private:
    class Recording : public WritableFile {
    public:
        Recording(std::unique_ptr<WritableFile> inner, RecordingEnv& env)
            : inner_(std::move(inner)), env_(env) {}
        int writeAt(std::uint64_t offset, const void* buffer, std::size_t count) override {
            return inner_->writeAt(offset, buffer, count);
        }
        int copyFrom(ReadableFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                     std::uint64_t count) override {
            env_.copies.push_back(Copy{sourceOffset, offset, count});
            return inner_->copyFrom(source, sourceOffset, offset, count);
        }
        int truncate(std::uint64_t size) override { return inner_->truncate(size); }
        std::uint32_t blockSize() const override {
            return env_.blockSize != 0 ? env_.blockSize : inner_->blockSize();
        }
        int sync() override {
            ++env_.syncs;
            return inner_->sync();
        }
        int close() override { return inner_->close(); }

    private:
        std::unique_ptr<WritableFile> inner_;
        RecordingEnv& env_;
    };

    static Env& base() { return Env::Default(); }
};
