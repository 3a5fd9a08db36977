#include "BatchTestSupport.h"

#include <iconv.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <fstream>
#include <sstream>

namespace batchtest {

Installation::Installation(const ScratchFolder& scratch, Child child)
    : program_(scratch / "bin/Patchtree"),
      home_(scratch / "home"),
      record_(scratch / "child-calls") {
    fs::create_directories(program_.parent_path());
    fs::create_directories(home_);
    fs::copy_file(PATCHTREE_PROGRAM, program_);
    const fs::path childPath = program_.parent_path() / "Patchdoc";
    switch (child) {
        case Child::StandIn:
            fs::copy_file(STAND_IN_PROGRAM, childPath);
            break;
        case Child::RealPatchdoc:
            fs::copy_file(PATCHDOC_PROGRAM, childPath);
            break;
        case Child::NotExecutable:
            fs::copy_file(STAND_IN_PROGRAM, childPath);
            fs::permissions(childPath, fs::perms::owner_read | fs::perms::owner_write);
            break;
        case Child::Missing:
            break;
    }
    WriteFile(record_, "");
    fs::permissions(record_, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                 ~fs::perms::others_exec);
}

RunOutput Installation::run(const std::vector<std::string>& arguments, RunOptions options) const {
    options.environment.push_back("HOME=" + home_.string());
    options.environment.push_back("PATCHTREE_TEST_RECORD=" + record_.string());
    return Run(program_, arguments, options);
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
        throw std::runtime_error("cannot write " + path.string());
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
    return Iconv(bytes.substr(2), "UTF-16LE", "UTF-8");
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

std::vector<std::string> Sorted(std::vector<std::string> items) {
    std::sort(items.begin(), items.end());
    return items;
}

std::string Iconv(const std::string& bytes, const char* from, const char* to) {
    iconv_t converter = ::iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv_open failed";
        return std::string();
    }
    std::string input = bytes;
    std::string output(bytes.size() * 4 + 16, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    const std::size_t result = ::iconv(converter, &in, &inLeft, &out, &outLeft);
    ::iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) {
        ADD_FAILURE() << "iconv could not convert the text";
    }
    output.resize(output.size() - outLeft);
    return output;
}

}  // namespace batchtest
