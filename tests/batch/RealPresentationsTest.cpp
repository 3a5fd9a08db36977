// The programs as built, Patchtree with the real Patchdoc beside it in build/bin (it runs the
// Patchdoc of its own folder), over trees of presentations.
#include <gtest/gtest.h>

#include <cstdlib>

#include "BatchTestSupport.h"
#include "support/Deck.h"
#include "support/PresentationBuilder.h"
#include "support/Records.h"

using namespace batchtest;
using namespace fixtures;

namespace {

// A presentation of one slide with these shapes.
Bytes deck(const std::vector<Bytes>& shapes) {
    return buildDeck({{shapes}, {}}).compoundFile();
}

// Runs the built Patchtree with HOME in the scratch folder.
RunOutput RunBuilt(const ScratchFolder& scratch, const std::vector<std::string>& arguments,
                   RunOptions options = {}) {
    fs::create_directories(scratch / "home");
    options.environment.push_back("HOME=" + (scratch / "home").u8string());
    return batchtest::Run(PATCHTREE_PROGRAM, arguments, options);
}

// A check of the tree reports it, counts what is to repair and changes nothing; the repair then
// gives each file the line its state calls for, repaired files get their backup, and the backups
// are left alone.
TEST(RealPresentationsTest, CheckThenRepairATree) {
    ScratchFolder scratch;
    const fs::path tree = scratch / "tree";
    fs::create_directories(tree / "sub" / "deeper");
    const Bytes flattened = deck({oleShape(1025, 1, true), oleShape(1026, 2, true)});
    const Bytes intact = deck({oleShape(1025, 1, false), pictureShape(1026)});
    const std::pair<fs::path, Bytes> files[] = {
        {tree / "flattened.ppt", flattened},
        {tree / "sub" / "it's $(touch marker) deck.ppt", flattened},
        {tree / "sub" / "intact.ppt", intact},
        {tree / "sub" / "deeper" / "notes.ppt", text("not a presentation")},
    };
    for (const auto& [path, bytes] : files) {
        writeFile(path, bytes);
    }
    RunOptions inWork;  // where a command smuggled in by a file name would create its marker
    inWork.workingFolder = scratch / "work";
    fs::create_directories(inWork.workingFolder);
    // "-d" is moot with "-n".
    const RunOutput check = RunBuilt(
        scratch, {"-n", "-d", "-j:2", "-l:" + (scratch / "checked").u8string(), tree.u8string()},
        inWork);
    ASSERT_EQ(check.exitCode, 0);
    std::vector<std::pair<std::string, fs::path>> lines{{"[flattened 2]", files[0].first},
                                                        {"[flattened 2]", files[1].first},
                                                        {"[ok]", files[2].first},
                                                        {"[err]", files[3].first}};
    EXPECT_EQ(LogLines(scratch / "checked"), Expected(lines));
    EXPECT_EQ(SummaryCounts(check.out), "4 files: 2 to repair, 1 ok, 1 failed.");
    for (const auto& [path, bytes] : files) {
        EXPECT_EQ(readFile(path), bytes) << path;
    }
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(tree), {}), 6);

    lines[0].first = lines[1].first = "[fixed]";
    const char* corpus = std::getenv("PATCH_CORPUS");
    if (corpus != nullptr && fs::exists(fs::path(corpus) / "flattened-45543.ppt")) {
        const fs::path real = tree / "sub" / "deeper" / "real.ppt";
        fs::copy_file(fs::path(corpus) / "flattened-45543.ppt", real);
        fs::permissions(real, fs::perms::owner_write, fs::perm_options::add);
        lines.emplace_back("[fixed]", real);
    }
    const fs::path logs = scratch / "logs";
    const RunOutput run = RunBuilt(scratch, {"-l:" + logs.u8string(), tree.u8string()}, inWork);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(LogLines(logs), Expected(lines));
    const std::vector<std::string> console = OutLines(run.out);
    EXPECT_EQ(console.size(), lines.size() + 1) << run.out;
    EXPECT_EQ(console.back(),
              std::to_string(lines.size()) + " files: " + std::to_string(lines.size() - 2) +
                  " fixed, 1 ok, 1 failed. Log: " + LogFiles(logs).at(0).u8string());
    EXPECT_EQ(run.err, "");
    for (const auto& [word, path] : lines) {
        const fs::path backup = path.parent_path() / (path.stem().u8string() + " (Backup).ppt");
        EXPECT_EQ(fs::exists(backup), word == "[fixed]") << backup;
    }
    EXPECT_EQ(readFile(tree / "flattened (Backup).ppt"), flattened);
    EXPECT_FALSE(fs::exists(tree / "flattened (Backup) (Backup).ppt"));
    EXPECT_FALSE(fs::exists(scratch / "work" / "marker"));
}

}  // namespace
