#include "BatchTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
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
    switch (child) {
        case Child::StandIn:
            fs::copy_file(STAND_IN_PROGRAM, childPath_);
            break;
        case Child::RealPatchdoc:
            fs::copy_file(PATCHDOC_PROGRAM, childPath_);
            break;
        case Child::NotExecutable:
            WriteFile(childPath_, "not a program");
            fs::permissions(childPath_, fs::perms::owner_read | fs::perms::owner_write);
            break;
        case Child::Missing:
            break;
    }
    WriteFile(record_, "");
    fs::permissions(record_, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                 ~fs::perms::others_exec);
}

RunOutput Installation::run(const std::vector<std::string>& arguments, RunOptions options) const {
    options.environment.push_back("HOME=" + home_.u8string());
    options.environment.push_back("PATCHTREE_TEST_RECORD=" + record_.u8string());
    return batchtest::Run(program_, arguments, options);
}

std::vector<std::vector<std::string>> Installation::childCalls() const {
    const std::string bytes = ReadFile(record_);
    std::vector<std::string> items;
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = bytes.find('\0', start);
        items.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::vector<std::string>> calls;
    for (std::size_t i = 0; i < items.size();) {
        const std::size_t count = std::stoul(items[i++]);
        calls.emplace_back(items.begin() + i, items.begin() + i + count);
        i += count;
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

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + path.u8string());
    }
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
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

std::string ReadLogText(const fs::path& folder) {
    const std::vector<fs::path> logs = LogFiles(folder);
    if (logs.size() != 1) {
        ADD_FAILURE() << "expected one log file in " << folder << ", found " << logs.size();
        return std::string();
    }
    const std::string bytes = ReadFile(logs.front());
    if (bytes.compare(0, 2, "\xFF\xFE") != 0) {
        ADD_FAILURE() << "the log does not start with FF FE";
        return std::string();
    }
    const std::optional<std::string> text = fixtures::Utf16LEToUtf8(bytes.substr(2));
    if (!text) {
        ADD_FAILURE() << "the log is not well-formed UTF-16LE";
    }
    return text.value_or(std::string());
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

std::string WithoutSummary(const std::string& out) {
    const std::size_t end = out.empty() ? 0 : out.size() - 1;
    const std::size_t previous = end == 0 ? std::string::npos : out.rfind('\n', end - 1);
    const std::size_t start = previous == std::string::npos ? 0 : previous + 1;
    const std::string last = out.substr(start);
    const bool summary = last.find(" failed") != std::string::npos &&
                         (last.find(". Log: ") != std::string::npos ||
                          last.find(". No log written.") != std::string::npos);
    if (out.empty() || out.back() != '\n' || !summary) {
        ADD_FAILURE() << "no summary line at the end of: " << out;
        return out;
    }
    return out.substr(0, start);
}

std::string SummaryCounts(const std::string& out) {
    const std::string rest = WithoutSummary(out);
    const std::string summary = out.substr(rest.size());
    return summary.substr(0, summary.find(" Log: "));
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

void CheckHostileNames(Child child, const char* word, const std::vector<std::string>& names) {
    ScratchFolder scratch;
    Installation patchtree(scratch, child);
    const fs::path tree = scratch / "tree";
    fs::create_directories(tree);
    fs::create_directories(scratch / "work");
    for (const std::string& name : names) {
        WriteFile(tree / name, "exit 2");
    }
    RunOptions inWork;
    inWork.workingFolder = scratch / "work";
    EXPECT_EQ(
        patchtree.run({"-l:" + (scratch / "logs").u8string(), tree.u8string()}, inWork).exitCode,
        0);

    const std::string log = ReadLogText(scratch / "logs");
    std::size_t expectedSize = 0;
    std::vector<std::vector<std::string>> expectedCalls;
    for (const std::string& name : names) {
        const std::string line = word + AsLogged(Shown(tree / name)) + "\r\n";
        expectedSize += line.size();
        const std::size_t at = log.find(line);
        EXPECT_NE(at, std::string::npos) << name;
        EXPECT_EQ(log.find(line, at + 1), std::string::npos) << name;
        expectedCalls.push_back({Shown(tree / name)});
    }
    EXPECT_EQ(log.size(), expectedSize) << log;
    EXPECT_EQ(SplitLines(log).size(), names.size()) << log;
    if (child == Child::StandIn) {
        std::vector<std::vector<std::string>> calls = patchtree.childCalls();
        std::sort(calls.begin(), calls.end());
        std::sort(expectedCalls.begin(), expectedCalls.end());
        EXPECT_EQ(calls, expectedCalls);
    }

    for (const auto& entry : fs::recursive_directory_iterator(scratch.path())) {
        EXPECT_NE(entry.path().filename().u8string().rfind("marker", 0), 0u) << entry.path();
    }
    EXPECT_FALSE(fs::exists(tree / "out.ppt"));
}

}  // namespace batchtest
