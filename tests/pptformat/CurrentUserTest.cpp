#include <gtest/gtest.h>

#include "errors/FullMessage.h"
#include "errors/OldVersionException.h"
#include "pptformat/CurrentUser.h"
#include "pptformat/OldVersion.h"
#include "support/OpenedCompoundFile.h"
#include "support/Records.h"

using namespace fixtures;

namespace {

// Reads a Current User stream, sets a new offset and writes it back; returns the written bytes.
Bytes rewrite(const Bytes& stream, std::uint32_t newOffset) {
    OpenedCompoundFile file({{"Current User", stream}});
    CurrentUser user(file.storage);
    TempFile output;
    file.storage.create(output.path());
    user.setOffsetToCurrentEdit(newOffset);
    user.save(file.storage);
    file.storage.commit();
    return readStream(output.path(), "Current User");
}

TEST(CurrentUserTest, ReadsTokenAndOffsetAndWritesBackWithTheNewOffset) {
    const Bytes stream = currentUserAtom(0x1234, kEncryptedToken, "Ada");
    OpenedCompoundFile file({{"Current User", stream}});
    CurrentUser user(file.storage);
    EXPECT_EQ(user.headerToken(), kEncryptedToken);
    EXPECT_EQ(user.offsetToCurrentEdit(), 0x1234u);
    EXPECT_EQ(rewrite(stream, 0x777), currentUserAtom(0x777, kEncryptedToken, "Ada"));
}

TEST(CurrentUserTest, EmptyOrMissingUnicodeNameIsKept) {
    const Bytes empty = currentUserAtom(16, kPlainToken, "");
    EXPECT_EQ(empty.size(), 8u + 20u + 4u);
    EXPECT_EQ(rewrite(empty, 16), empty);
    const Bytes noUnicodeName = currentUserAtom(16, kPlainToken, "Bob", false);
    EXPECT_EQ(rewrite(noUnicodeName, 16), concat({noUnicodeName, zeros(6)}));  // written as zeros
}

TEST(CurrentUserTest, UnreadableStreamsAreRefused) {
    Bytes otherType = currentUserAtom(16);
    otherType[2] = 0xF5;  // a user edit atom's type
    Bytes cut = currentUserAtom(16, kPlainToken, "Carol", false);
    cut.resize(8 + 20 + 5);  // ends before relVersion
    const std::pair<std::vector<NamedStream>, std::string> cases[] = {
        {{{"Current User", otherType}}, "I/O exception [Error reading Current User Atom]"},
        {{{"Current User", cut}}, "I/O exception [HRESULT(0) - reading 0 bytes from stream]"},
        {{{"Other", {1}}}, "I/O exception [Error opening stream [Current User]]"},
    };
    for (const auto& [streams, expected] : cases) {
        OpenedCompoundFile file(streams);
        try {
            CurrentUser user(file.storage);
            ADD_FAILURE() << "no exception for " << expected;
        } catch (const Exception& e) {
            EXPECT_EQ(FullMessage(e), expected);
        }
    }
}

TEST(OldVersionTest, OlderFormatStreamsAreRefused) {
    for (const char* name : {"PP40", "Header"}) {
        OpenedCompoundFile file({{name, {1}}, {"PowerPoint Document", {1}}});
        try {
            OldVersion check(file.storage);
            FAIL() << name;
        } catch (const OldVersionException& e) {
            EXPECT_EQ(FullMessage(e), "Old version of PowerPoint [Old version of PowerPoint]");
        }
    }
    OpenedCompoundFile current({{"PowerPoint Document", {1}}, {"Current User", {1}}});
    EXPECT_NO_THROW(OldVersion check(current.storage));
}

}  // namespace
