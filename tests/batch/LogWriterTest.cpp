#include <gtest/gtest.h>

#include "BatchTestSupport.h"
#include "batch/LogWriter.h"
#include "batch/Utf16LE.h"
#include "support/TestSystem.h"

using namespace batchtest;

namespace {

// UTF-16LE bytes of ASCII text.
std::string Wide(const std::string& ascii) {
    std::string bytes;
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

const std::string kBom = "\xFF\xFE";
const std::string kLineEnd = Wide("\r\n");
const std::string kFffd = "\xFD\xFF";

// A new or empty file gets the byte-order mark, one with content none. (How names are kept from
// forging lines is checked by the runs over hostile names.)
TEST(LogWriterTest, MarkOnlyInANewOrEmptyFile) {
    ScratchFolder scratch;
    const std::string earlier = kBom + Wide("[ok], /a.ppt") + kLineEnd;
    for (const std::string& content : {earlier, std::string()}) {
        WriteFileBytes(scratch / "old.log", content);
        SetLogPath(scratch / "old.log");
        AppendLogLine("x\n");
        EXPECT_EQ(ReadFileBytes(scratch / "old.log"),
                  (content.empty() ? kBom : content) + Wide("x") + kLineEnd);
    }
}

// Valid text reads back through the system's converter. Each ill-formed part becomes one
// replacement, and the next character is read as it is.
TEST(Utf16LETest, ValidTextAndEachIllFormedPart) {
    for (const std::string text : {"plain", "caf\xC3\xA9 \xE2\x82\xAC", "\xF0\x9F\x98\x80 smile",
                                   "\xEF\xBF\xBF\xF4\x8F\xBF\xBF"}) {
        EXPECT_EQ(fixtures::Utf16LEToUtf8(ToUtf16LE(text)), text) << text;
    }
    const std::pair<std::string, std::string> cases[] = {
        {"\xF0\x9F\x98\x80", std::string("\x3D\xD8\x00\xDE", 4)},
        {"a\xFF\x62", Wide("a") + kFffd + Wide("b")},
        {"\xE2\x82", kFffd},                                      // cut short at the end
        {"\xE2\x82\x41", kFffd + Wide("A")},                      // cut short before ASCII
        {"\xC0\xAF", kFffd + kFffd},                              // overlong
        {"\xE0\x80\xAF", kFffd + kFffd + kFffd},                  // overlong
        {"\xED\xA0\x80", kFffd + kFffd + kFffd},                  // surrogate
        {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},      // above U+10FFFF
        {"\x80\xBF", kFffd + kFffd},                              // stray continuations
        {std::string("\0\x1F\x7F", 3), kFffd + kFffd + kFffd},    // control characters
        {"\xC2\x80 ~", std::string("\x80\x00", 2) + Wide(" ~")},  // the next ones
        {"\xF0\x9F\x98\xC3\xA9", kFffd + std::string("\xE9\x00", 2)},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ToUtf16LE(text), expected) << testing::PrintToString(text);
    }
}

}  // namespace
