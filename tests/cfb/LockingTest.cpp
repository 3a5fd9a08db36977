#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "CfbTestSupport.h"
#include "ScratchFolder.h"
#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/Error.h"
#include "platform/Env.h"

// Locks are between processes: each check runs in a child process while this one holds a file.

namespace {

using cfb::CompoundFileReader;
using cfb::CompoundFileWriter;
using cfb::ErrorKind;

class LockingTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto writer = CompoundFileWriter::create(Env::Default(), path_);
        cfbtest::writeStream(*writer, 0, u"S", cfbtest::pattern(10, 1));
        writer->commit();
    }

    // Creates a writer (or opens a reader) in a child process; returns the kind of error it
    // met, or nothing.
    std::optional<ErrorKind> inChild(bool write) {
        const pid_t child = ::fork();
        if (child == 0) {
            const auto kind = cfbtest::errorKindOf([&] {
                if (write) {
                    CompoundFileWriter::create(Env::Default(), path_);
                } else {
                    CompoundFileReader::open(Env::Default(), path_);
                }
            });
            ::_exit(kind ? static_cast<int>(*kind) : 100);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        const int code = WEXITSTATUS(status);
        return code == 100 ? std::nullopt : std::optional<ErrorKind>(static_cast<ErrorKind>(code));
    }

    ScratchFolder folder_;
    std::filesystem::path path_ = folder_ / "locked.cfb";
};

const bool kWriter = true;
const bool kReader = false;

TEST_F(LockingTest, AnInputHeldOpenRefusesWritersButNotReaders) {
    {
        auto reader = CompoundFileReader::open(Env::Default(), path_);
        EXPECT_EQ(inChild(kWriter), ErrorKind::LockViolation);
        EXPECT_EQ(inChild(kReader), std::nullopt);
        // The refused writer did not empty the file.
        EXPECT_EQ(cfbtest::readStream(*reader, u"S"), cfbtest::pattern(10, 1));
    }
    EXPECT_EQ(inChild(kWriter), std::nullopt);
}

TEST_F(LockingTest, AnOutputHeldOpenRefusesReadersAndOtherWriters) {
    auto writer = CompoundFileWriter::create(Env::Default(), path_);
    EXPECT_EQ(inChild(kWriter), ErrorKind::LockViolation);
    EXPECT_EQ(inChild(kReader), ErrorKind::ShareViolation);
    writer->commit();
    EXPECT_EQ(inChild(kReader), std::nullopt);
}

}  // namespace
