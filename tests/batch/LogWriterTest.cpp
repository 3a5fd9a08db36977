#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "BatchTestSupport.h"
#include "batch/LogFileName.h"
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

// Long lines are written whole.
TEST(LogWriterTest, NewFileGetsByteOrderMarkAndCarriageReturns) {
    ScratchFolder scratch;
    SetLogPath(scratch / "new.log");
    const std::string path = "/" + std::string(600, 'd') + "/talk.ppt";
    AppendLogLine("[ok], " + path + "\n");
    AppendLogLine("[err], /b.ppt\n");
    EXPECT_EQ(ReadFile(scratch / "new.log"),
              kBom + Wide("[ok], " + path) + kLineEnd + Wide("[err], /b.ppt") + kLineEnd);
}

TEST(LogWriterTest, AppendsToContentWithoutAnotherMark) {
    ScratchFolder scratch;
    const std::string earlier = kBom + Wide("[ok], /a.ppt") + kLineEnd;
    WriteFile(scratch / "old.log", earlier);
    SetLogPath(scratch / "old.log");
    AppendLogLine("[fixed], /c.ppt\n");
    EXPECT_EQ(ReadFile(scratch / "old.log"), earlier + Wide("[fixed], /c.ppt") + kLineEnd);

    WriteFile(scratch / "empty.log", "");
    SetLogPath(scratch / "empty.log");
    AppendLogLine("x\n");
    EXPECT_EQ(ReadFile(scratch / "empty.log"), kBom + Wide("x") + kLineEnd);
}

// A file name can't forge a line: only the line feed that ends the line becomes a line end.
TEST(LogWriterTest, ControlCharactersInsideALineBecomeReplacements) {
    ScratchFolder scratch;
    SetLogPath(scratch / "names.log");
    AppendLogLine("[ok], /evil\n[fixed], forged.ppt\n");
    AppendLogLine("[err], /a\rb\tc\x1b\x7f\x01.ppt\n");
    AppendLogLine("no end");
    const std::string fffd = "\xFD\xFF";
    EXPECT_EQ(ReadFile(scratch / "names.log"),
              kBom + Wide("[ok], /evil") + fffd + Wide("[fixed], forged.ppt") + kLineEnd +
                  Wide("[err], /a") + fffd + Wide("b") + fffd + Wide("c") + fffd + fffd + fffd +
                  Wide(".ppt") + kLineEnd + Wide("no end"));
}

// The system's converter reads back what was written.
TEST(Utf16LETest, ValidTextIsReadBackBySystemConverter) {
    for (const std::string text : {"plain", "caf\xC3\xA9 \xE2\x82\xAC", "\xF0\x9F\x98\x80 smile",
                                   "\xEF\xBF\xBF\xF4\x8F\xBF\xBF"}) {
        EXPECT_EQ(fixtures::Utf16LEToUtf8(ToUtf16LE(text)), text) << text;
    }
    EXPECT_EQ(ToUtf16LE("\xF0\x9F\x98\x80"), std::string("\x3D\xD8\x00\xDE", 4));
}

TEST(Utf16LETest, EachIllFormedPartBecomesOneReplacement) {
    const std::string fffd = "\xFD\xFF";
    EXPECT_EQ(ToUtf16LE("a\xFF"
                        "b"),
              Wide("a") + fffd + Wide("b"));
    EXPECT_EQ(ToUtf16LE("\xE2\x82"), fffd);  // cut short at the end
    EXPECT_EQ(ToUtf16LE("\xE2\x82"
                        "A"),
              fffd + Wide("A"));                                          // cut short before ASCII
    EXPECT_EQ(ToUtf16LE("\xC0\xAF"), fffd + fffd);                        // overlong
    EXPECT_EQ(ToUtf16LE("\xE0\x80\xAF"), fffd + fffd + fffd);             // overlong
    EXPECT_EQ(ToUtf16LE("\xED\xA0\x80"), fffd + fffd + fffd);             // surrogate
    EXPECT_EQ(ToUtf16LE("\xF4\x90\x80\x80"), fffd + fffd + fffd + fffd);  // above U+10FFFF
    EXPECT_EQ(ToUtf16LE("\x80\xBF"), fffd + fffd);                        // stray continuations
    EXPECT_EQ(ToUtf16LE(std::string("\0\x1F\x7F", 3)), fffd + fffd + fffd);  // control characters
    EXPECT_EQ(ToUtf16LE("\xC2\x80 ~"), std::string("\x80\x00", 2) + Wide(" ~"));  // the next ones
    EXPECT_EQ(ToUtf16LE("\xF0\x9F\x98"
                        "\xC3\xA9"),
              fffd + std::string("\xE9\x00", 2));
}

TEST(LogFileNameTest, DateAndTimeWithoutLeadingZerosInTheDay) {
    using boost::gregorian::date;
    using boost::posix_time::ptime;
    using boost::posix_time::time_duration;
    EXPECT_EQ(LogFileNameAt(ptime(date(2008, 3, 7), time_duration(9, 5, 2))),
              "2008-Mar-7-09-05-02.log");
    EXPECT_EQ(LogFileNameAt(ptime(date(2019, 12, 31), time_duration(23, 59, 59))),
              "2019-Dec-31-23-59-59.log");
    EXPECT_EQ(LogFileNameAt(ptime(date(2024, 1, 10), time_duration(0, 0, 0))),
              "2024-Jan-10-00-00-00.log");
}

}  // namespace
