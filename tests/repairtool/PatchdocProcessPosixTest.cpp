// Runs of the Patchdoc program that only a POSIX system can set up: FIFOs and devices, a
// pseudo-terminal as standard output, and a folder made read-only.
#include <sys/stat.h>

#include "PatchdocTest.h"
#include "ReadOnlyFolder.h"
#include "support/Deck.h"
#include "support/Records.h"

namespace {

using namespace patchdoctest;

// FIFOs and devices do not exist. On a terminal control characters of the path show as '?'; a
// pipe or file gets the bytes.
TEST_F(PatchdocTest, FifosDevicesAndPathsOnATerminal) {
    ASSERT_EQ(::mkfifo((scratch_ / "fifo.ppt").c_str(), 0600), 0);
    for (const std::string& path : {(scratch_ / "fifo.ppt").string(), std::string("/dev/null")}) {
        const RunOutput result = run({path});
        EXPECT_EQ(result.out, path + " does not exist.\n");
        EXPECT_EQ(result.exitCode, 1);
    }

    const fs::path missing = scratch_ / "gone\x1b[2J\n.ppt";
    const std::string shown = (scratch_ / "gone?[2J?.ppt").string();
    EXPECT_EQ(run({missing}, {}, fixtures::StandardOutput::Terminal).out,
              shown + " does not exist.\n");
    EXPECT_EQ(run({missing}).out, missing.string() + " does not exist.\n");

    const fs::path talk = notAPresentation("talks", "a\tb\x7f.ppt");
    const RunOutput terminal = run({talk}, {}, fixtures::StandardOutput::Terminal);
    EXPECT_EQ(terminal.out,
              "[err], " + kNotPowerPoint + (scratch_ / "talks/a?b?.ppt").string() + "\n");
    EXPECT_EQ(terminal.exitCode, 1);

    // A damaged compound file: the message quotes the path too, and a C1 control counts.
    const fs::path damaged = scratch_ /
                             "cf\x1b[2J\xC2\x9B"
                             "2Jx.ppt";
    WriteFileBytes(damaged, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(600, '\x01'));
    const std::string shownPath = (scratch_ / "cf?[2J?2Jx.ppt").string();
    EXPECT_EQ(run({damaged}, {}, fixtures::StandardOutput::Terminal).out,
              "[err], General exception [HRESULT(80030109) - opening storage [" + shownPath + "]]" +
                  shownPath + "\n");
}

// The output is needed only for a file that needs repair.
TEST_F(PatchdocTest, OutputFileThatCannotBeCreatedIsAnError) {
    fs::create_directories(scratch_ / "locked");
    const fs::path path = scratch_ / "locked" / "a.ppt";
    const fixtures::Bytes flattened =
        fixtures::buildDeck({{{fixtures::oleShape(1025, 1, true)}}, {}}).compoundFile();
    fixtures::writeFile(path, flattened);
    ReadOnlyFolder locked(path.parent_path());
    if (!locked.active()) {
        GTEST_SKIP() << "this file system cannot make a folder read-only for this user";
    }
    const RunOutput result = run({path.string()}, (temp_ / "missing").string());
    EXPECT_EQ(result.out,
              "[err], Temporary file creation failed [HRESULT(80070002) - No such file or "
              "directory]" +
                  path.string() + "\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(fixtures::readFile(path), flattened);
}

}  // namespace
