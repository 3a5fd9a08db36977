#include "BatchTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/SystemConventions.h"
#include "support/TestSystem.h"

namespace batchtest {

RunOutput Run(const fs::path& program, const std::vector<std::string>& arguments,
              const RunOptions& options) {
    RunOutput output = fixtures::Run(program, arguments, options);
    output.out = fixtures::WithLineFeeds(output.out);
    output.err = fixtures::WithLineFeeds(output.err);
    return output;
}

std::string Shown(const fs::path& path) {
    std::string text = path.u8string();
    if (Conventions().backslashSeparatesFolders) {
        std::replace(text.begin(), text.end(), '\\', '/');
    }
    return text;
}

Installation::Installation(const ScratchFolder& scratch, Child child)
    : program_(scratch / "bin" /
               ("Patchtree" + fs::path(PATCHTREE_PROGRAM).extension().u8string())),
      childPath_(program_.parent_path() / Conventions().repairProgramName),
      home_(scratch / "home"),
      record_(scratch / "child-calls") {
    fs::create_directories(program_.parent_path());
    fs::create_directories(home_);
    fs::copy_file(PATCHTREE_PROGRAM, program_);
    if (child == Child::StandIn) {
        fs::copy_file(STAND_IN_PROGRAM, childPath_);
    } else if (child == Child::NotExecutable) {
        WriteFileBytes(childPath_, "not a program");
        fs::permissions(childPath_, fs::perms::owner_read | fs::perms::owner_write);
    }
    WriteFileBytes(record_, "");  // writable by the unprivileged runs too
    fs::permissions(record_, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                 ~fs::perms::others_exec);
}

RunOutput Installation::run(const std::vector<std::string>& arguments, RunOptions options) const {
    options.environment.push_back("HOME=" + home_.u8string());
    options.environment.push_back("PATCHTREE_TEST_RECORD=" + record_.u8string());
    return batchtest::Run(program_, arguments, options);
}

std::vector<std::vector<std::string>> Installation::childCalls() const {
    std::istringstream in(ReadFileBytes(record_));
    std::vector<std::vector<std::string>> calls;
    for (std::string count; std::getline(in, count, '\0');) {
        calls.emplace_back(std::stoul(count));
        for (std::string& argument : calls.back()) {
            std::getline(in, argument, '\0');
        }
    }
    return calls;
}

std::vector<std::string> Installation::childFiles() const {
    std::vector<std::string> files;
    for (const auto& call : childCalls()) {
        files.push_back(call.empty() ? std::string() : call.back());
    }
    return files;
}

std::vector<fs::path> LogFiles(const fs::path& folder) {
    std::vector<fs::path> logs;
    std::error_code error;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (it->path().extension() == ".log") {
            logs.push_back(it->path());
        }
    }
    return logs;
}

std::vector<std::string> LogLines(const fs::path& folder) {
    const std::vector<fs::path> logs = LogFiles(folder);
    if (logs.size() != 1) {
        ADD_FAILURE() << "expected one log file in " << folder << ", found " << logs.size();
        return {};
    }
    const std::string bytes = ReadFileBytes(logs.front());
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << "the log does not start with its mark";
    const std::optional<std::string> text = fixtures::Utf16LEToUtf8(bytes.substr(2));
    EXPECT_TRUE(text) << "the log is not well-formed UTF-16LE";
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; text && (end = text->find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        lines.push_back(text->substr(start, end - start));
    }
    EXPECT_EQ(start, text.value_or("").size()) << "text after the last line end";
    return Sorted(lines);
}

std::vector<std::string> Expected(const std::vector<std::pair<std::string, fs::path>>& lines) {
    std::vector<std::string> expected;
    for (const auto& [word, path] : lines) {
        expected.push_back(word + ", " + Shown(path));
    }
    return Sorted(expected);
}

std::vector<std::string> OutLines(const std::string& out) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(out.substr(start, end - start));
    }
    EXPECT_EQ(start, out.size()) << "output after the last line feed: " << out;
    return lines;
}

std::string SummaryCounts(const std::string& out) {
    const std::vector<std::string> lines = OutLines(out);
    const std::string last = lines.empty() ? std::string() : lines.back();
    EXPECT_NE(last.find(" failed"), std::string::npos) << "no summary line at the end of " << out;
    return last.substr(0, last.find(" Log: "));
}

std::vector<std::string> Sorted(std::vector<std::string> items) {
    std::sort(items.begin(), items.end());
    return items;
}

// How a path shows in the log: control characters and bytes that are not UTF-8 as U+FFFD.
std::string AsLogged(const std::string& path) {
    std::string logged;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        logged += byte < 0x20 || byte == 0x7F || byte == 0xFF || byte == 0xFE
                      ? std::string("\xEF\xBF\xBD")
                      : std::string(1, c);
    }
    return logged;
}

void PatchtreeTest::checkHostileNames(const std::vector<std::string>& names) {
    RunOptions inWork;  // where a command smuggled in by a name would create its marker
    inWork.workingFolder = scratch / "work";
    fs::create_directories(inWork.workingFolder);
    std::vector<std::string> lines;
    std::vector<std::string> files;
    for (const std::string& name : names) {
        WriteFileBytes(tree / name, "exit 2");
        lines.push_back("[ok], " + AsLogged(Shown(tree / name)));
        files.push_back(Shown(tree / name));
    }
    EXPECT_EQ(patchtree.run({logOption(), tree.u8string()}, inWork).exitCode, 0);
    EXPECT_EQ(LogLines(logs), Sorted(lines));
    EXPECT_EQ(Sorted(patchtree.childFiles()), Sorted(files));
    for (const auto& call : patchtree.childCalls()) {
        EXPECT_EQ(call.size(), 1u) << call.back();
    }
    for (const auto& entry : fs::recursive_directory_iterator(scratch.path())) {
        const std::string name = entry.path().filename().u8string();
        EXPECT_TRUE(name.rfind("marker", 0) != 0 && name != "out.ppt") << entry.path();
    }
}

}  // namespace batchtest
