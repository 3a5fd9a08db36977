#include <gtest/gtest.h>

#include "pptformat/CurrentUser.h"
#include "support/MessageOf.h"
#include "support/OpenedCompoundFile.h"

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

// Everything but the offset is written back as read; an empty user name is kept, a missing
// Unicode one is written as zeros.
TEST(CurrentUserTest, ReadsTokenAndOffsetAndWritesBackWithTheNewOffset) {
    const Bytes stream = currentUserAtom(0x1234, kEncryptedToken, "Ada");
    OpenedCompoundFile file({{"Current User", stream}});
    CurrentUser user(file.storage);
    EXPECT_EQ(user.headerToken(), kEncryptedToken);
    EXPECT_EQ(user.offsetToCurrentEdit(), 0x1234u);
    EXPECT_EQ(rewrite(stream, 0x777), currentUserAtom(0x777, kEncryptedToken, "Ada"));

    const Bytes empty = currentUserAtom(16, kPlainToken, "");
    EXPECT_EQ(empty.size(), 8u + 20u + 4u);
    EXPECT_EQ(rewrite(empty, 16), empty);
    const Bytes noUnicodeName = currentUserAtom(16, kPlainToken, "Bob", false);
    EXPECT_EQ(rewrite(noUnicodeName, 16), concat({noUnicodeName, zeros(6)}));
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
        EXPECT_EQ(messageOf([&] { CurrentUser user(file.storage); }), expected);
    }
}

}  // namespace
