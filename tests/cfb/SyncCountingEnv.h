#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Env.h"
#include "platform/WritableFile.h"

// The system's Env, except that it counts how often files opened for writing are flushed to
// disk.
class SyncCountingEnv : public Env {
public:
    int syncs = 0;

    PathKind pathKind(const std::filesystem::path& p) override { return base().pathKind(p); }
    bool pathExists(const std::filesystem::path& p) override { return base().pathExists(p); }
    std::unique_ptr<PinnedFile> pinFile(const std::filesystem::path& p) override {
        return base().pinFile(p);
    }
    std::filesystem::path tempFolder() override { return base().tempFolder(); }
    int createUniqueFile(const std::filesystem::path& folder, const std::string& prefix,
                         std::filesystem::path* created) override {
        return base().createUniqueFile(folder, prefix, created);
    }
    int deleteFile(const std::filesystem::path& p) override { return base().deleteFile(p); }
    std::string errorText(int errorNumber) override { return base().errorText(errorNumber); }
    int openReadable(const std::filesystem::path& p, std::unique_ptr<ReadableFile>* file) override {
        return base().openReadable(p, file);
    }
    int openWritable(const std::filesystem::path& p, std::unique_ptr<WritableFile>* file) override {
        std::unique_ptr<WritableFile> inner;
        const int error = base().openWritable(p, &inner);
        if (error == 0) {
            *file = std::make_unique<Counting>(std::move(inner), syncs);
        }
        return error;
    }
    int lockConflictError() override { return base().lockConflictError(); }
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
    class Counting : public WritableFile {
    public:
        Counting(std::unique_ptr<WritableFile> inner, int& syncs)
            : inner_(std::move(inner)), syncs_(syncs) {}
        int writeAt(std::uint64_t offset, const void* buffer, std::size_t count) override {
            return inner_->writeAt(offset, buffer, count);
        }
        int copyFrom(ReadableFile& source, std::uint64_t sourceOffset, std::uint64_t offset,
                     std::uint64_t count) override {
            return inner_->copyFrom(source, sourceOffset, offset, count);
        }
        int truncate(std::uint64_t size) override { return inner_->truncate(size); }
        int sync() override {
            ++syncs_;
            return inner_->sync();
        }
        int close() override { return inner_->close(); }

    private:
        std::unique_ptr<WritableFile> inner_;
        int& syncs_;
    };

    static Env& base() { return Env::Default(); }
};
