#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "CfbTestSupport.h"
#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/Error.h"
#include "cfb/TempFolder.h"
#include "platform/Env.h"

// Locks are between processes: each check runs in a child process while this one holds a file.

namespace {

using cfb::CompoundFileReader;
using cfb::CompoundFileWriter;
using cfb::ErrorKind;

// Runs `attempt` in a child process; returns the kind of error it threw, or nothing.
std::optional<ErrorKind> inChild(const std::function<void()>& attempt) {
    const pid_t child = ::fork();
    if (child == 0) {
        int code = 100;
        try {
            attempt();
        } catch (const cfb::Error& error) {
            code = static_cast<int>(error.kind());
        } catch (...) {
            code = 101;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    const int code = WEXITSTATUS(status);
    EXPECT_NE(code, 101);
    if (code == 100) {
        return std::nullopt;
    }
    return static_cast<ErrorKind>(code);
}

class LockingTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto writer = CompoundFileWriter::create(Env::Default(), path_);
        cfbtest::writeStream(*writer, 0, u"S", cfbtest::pattern(10, 1));
        writer->commit();
    }
    std::function<void()> createWriter() {
        return [this] { CompoundFileWriter::create(Env::Default(), path_); };
    }
    std::function<void()> openReader() {
        return [this] { CompoundFileReader::open(Env::Default(), path_); };
    }

    TempFolder folder_;
    std::filesystem::path path_ = folder_.file("locked.cfb");
};

TEST_F(LockingTest, AnInputHeldOpenRefusesWritersButNotReaders) {
    {
        auto reader = CompoundFileReader::open(Env::Default(), path_);
        EXPECT_EQ(inChild(createWriter()), ErrorKind::LockViolation);
        EXPECT_EQ(inChild(openReader()), std::nullopt);
        // The refused writer did not empty the file.
        EXPECT_EQ(cfbtest::readStream(*reader, u"S"), cfbtest::pattern(10, 1));
    }
    EXPECT_EQ(inChild(createWriter()), std::nullopt);
}

TEST_F(LockingTest, AnOutputHeldOpenRefusesReadersAndOtherWriters) {
    auto writer = CompoundFileWriter::create(Env::Default(), path_);
    EXPECT_EQ(inChild(createWriter()), ErrorKind::LockViolation);
    EXPECT_EQ(inChild(openReader()), ErrorKind::ShareViolation);
    writer->commit();
    EXPECT_EQ(inChild(openReader()), std::nullopt);
}

}  // namespace
