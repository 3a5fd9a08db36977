#include <gtest/gtest.h>

#include "errors/FullMessage.h"
#include "errors/IOException.h"
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

TEST(CurrentUserTest, EmptyUserName) {
    const Bytes stream = currentUserAtom(16, kPlainToken, "");
    EXPECT_EQ(rewrite(stream, 16), stream);
    EXPECT_EQ(stream.size(), 8u + 20u + 4u);
}

TEST(CurrentUserTest, MissingUnicodeNameIsWrittenAsZeros) {
    const Bytes stream = currentUserAtom(16, kPlainToken, "Bob", false);
    EXPECT_EQ(rewrite(stream, 16), concat({stream, zeros(6)}));
}

TEST(CurrentUserTest, OtherRecordTypeIsRefused) {
    Bytes stream = currentUserAtom(16);
    stream[2] = 0xF5;  // a user edit atom's type
    OpenedCompoundFile file({{"Current User", stream}});
    try {
        CurrentUser user(file.storage);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(FullMessage(e), "I/O exception [Error reading Current User Atom]");
    }
}

TEST(CurrentUserTest, StreamThatEndsBeforeRelVersionFails) {
    Bytes stream = currentUserAtom(16, kPlainToken, "Carol", false);
    stream.resize(8 + 20 + 5);
    OpenedCompoundFile file({{"Current User", stream}});
    EXPECT_THROW(CurrentUser user(file.storage), IOException);
}

TEST(CurrentUserTest, MissingStreamCannotBeOpened) {
    OpenedCompoundFile file({{"Other", {1}}});
    try {
        CurrentUser user(file.storage);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(FullMessage(e), "I/O exception [Error opening stream [Current User]]");
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
