#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "FileSizeCap.h"
#include "ScratchFolder.h"
#include "cfb/CompoundFileReader.h"
#include "cfb/CompoundFileWriter.h"
#include "cfb/EntryName.h"
#include "cfb/StreamWriter.h"
#include "errors/IOException.h"
#include "errors/OLEStorageNotStorageException.h"
#include "platform/Env.h"
#include "streams/LittleEndian.h"
#include "streams/OLEStorage.h"
#include "streams/OLEStream.h"
#include "streams/OLEStreamInputStream.h"
#include "support/MessageOf.h"
#include "support/PresentationBuilder.h"

namespace {

using fixtures::messageOf;
using fixtures::pattern;
using fixtures::writeCompoundFile;

class OLEStorageTest : public ::testing::Test {
protected:
    ScratchFolder folder_;
    std::filesystem::path input_ = folder_ / "in.ppt";
    std::filesystem::path output_ = folder_ / "out.ppt";
};

// Text, an empty file and one that ends after the signature are no storage; a damaged one and a
// missing one give the system's result codes.
TEST_F(OLEStorageTest, OpenReportsWhatKindOfFileItFound) {
    std::ofstream(folder_ / "text.txt") << std::string(2000, 'x');
    std::ofstream(folder_ / "empty");
    std::ofstream(folder_ / "short") << std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    fixtures::Bytes damaged = fixtures::compoundFileBytes({{"S", pattern(5000)}});
    LittleEndian::writeU32(&damaged[48], 0x10000);  // first directory sector: outside the file
    fixtures::writeFile(input_, damaged);
    OLEStorage storage;
    for (const char* name : {"text.txt", "empty", "short"}) {
        EXPECT_THROW(storage.open(folder_ / name), OLEStorageNotStorageException) << name;
    }
    EXPECT_EQ(messageOf([&] { storage.open(input_); }),
              "General exception [HRESULT(80030109) - opening storage [" + input_.string() + "]]");
    const auto missing = folder_ / "missing.ppt";
    EXPECT_EQ(messageOf([&] { storage.open(missing); }),
              "General exception [HRESULT(80030002) - opening storage [" + missing.string() + "]]");
    EXPECT_EQ(messageOf([&] { storage.readStorage(); }),
              "General exception [Invalid read stream handle]");
    EXPECT_EQ(messageOf([&] { storage.writeStorage(); }),
              "General exception [Invalid write stream handle]");
}

// "conflict" when `action`, run on its own open file, meets a sharing conflict, else its message:
// the locks (sharing modes) are held per open file, so a second open in this process meets them
// as another process's would.
std::string outcomeOf(const std::function<void()>& action) {
    const std::string message = messageOf(action);
    return message.rfind("OLE storage sharing violation", 0) == 0 ? "conflict" : message;
}

TEST_F(OLEStorageTest, SharingConflictsBetweenOpenFilesAndWritesAfterTheCommit) {
    writeCompoundFile(input_, {{"S", pattern(10)}});
    {
        OLEStorage held;
        held.open(input_);
        // An input we hold open refuses writers, and the refused writer does not empty it;
        // readers share it.
        EXPECT_EQ(outcomeOf([&] { OLEStorage().create(input_); }), "conflict");
        EXPECT_EQ(outcomeOf([&] { OLEStorage().open(input_); }), "no exception");
        OLEStream stream;
        ASSERT_TRUE(stream.open(held, "S"));
        std::uint8_t data[16];
        EXPECT_EQ(stream.read(data, 10), 10u);
        EXPECT_TRUE(std::equal(data, data + 10, pattern(10, 1).begin()));
    }
    EXPECT_EQ(outcomeOf([&] { OLEStorage().create(input_); }), "no exception");
    OLEStorage held;
    held.create(output_);
    OLEStream written;
    ASSERT_TRUE(written.create(held, "S"));
    // An output we hold refuses readers and a second writer until it is committed, and takes no
    // writes after that.
    EXPECT_EQ(outcomeOf([&] { OLEStorage().open(output_); }), "conflict");
    EXPECT_EQ(outcomeOf([&] { OLEStorage().create(output_); }), "conflict");
    held.commit();
    EXPECT_EQ(outcomeOf([&] { OLEStorage().open(output_); }), "no exception");
    EXPECT_EQ(messageOf([&] { written.write(pattern(1, 1).data(), 1); }),
              "I/O exception [HRESULT(80030001) - writing stream]");
    EXPECT_FALSE(OLEStream().create(held, "T"));
}

// Streams of the list are left out unless spelt otherwise; a case variant of one that was written
// anew is passed over, any other collision fails the copy after the elements before it in format
// order were copied, and the output stays valid.
TEST_F(OLEStorageTest, CopyRemainingElementsLeavesOutTheListedStreamsOnly) {
    const cfb::DirectoryEntry::Clsid clsid{0x10, 0x8D, 0x81, 0x64, 0x9B, 0x4F, 0xCF, 0x11,
                                           0x86, 0xEA, 0x00, 0xAA, 0x00, 0xB9, 0x29, 0xE8};
    {
        auto writer = cfb::CompoundFileWriter::create(Env::Default(), input_);
        writer->setClsid(0, clsid);
        for (const char16_t* name :
             {u"Current User", u"powerpoint DOCUMENT", u"Workbook", u"WordDocument", u"1Table",
              u"0Table", u"Pictures", u"\u0005SummaryInformation"}) {
            writer->createStream(0, name)->write(pattern(5000, 1).data(), 5000);
        }
        // A storage named like a listed stream, and a stream that differs from one only in case
        // (it replaces "Workbook").
        const std::uint32_t data = writer->createStorage(0, u"Data");
        writer->createStream(data, u"Inside")->write(pattern(10, 2).data(), 10);
        writer->createStream(0, u"workbook")->write(pattern(10, 3).data(), 10);
        writer->commit();
    }
    ASSERT_TRUE(OLEStorage::isCopiedStream(std::string("WORKBOOK")));
    ASSERT_FALSE(OLEStorage::isCopiedStream(std::string("Workbook")));
    // The root's children of the copy, "name size" each, as they follow in format order.
    const auto copyWriting = [&](const std::vector<std::string>& written,
                                 const std::string& entries) {
        OLEStorage storage;
        storage.open(input_);
        storage.create(output_);
        for (const std::string& name : written) {
            OLEStream stream;
            EXPECT_TRUE(stream.create(storage, name));
            stream.write(pattern(3, 4).data(), 3);
        }
        const std::string message = messageOf([&] { storage.copyRemainingElements(); });
        storage.commit();
        auto copy = cfb::CompoundFileReader::open(Env::Default(), output_);
        std::string copied;
        for (std::uint32_t id : copy->children(0)) {
            copied += cfb::EntryName::toUtf8(copy->entry(id).name) + " " +
                      std::to_string(copy->entry(id).size) + ";";
        }
        EXPECT_EQ(copied, entries);
        if (message == "no exception") {
            EXPECT_EQ(copy->entry(0).clsid, clsid);
        }
        EXPECT_TRUE(copy->find(*copy->find(0, u"Data"), u"Inside"));
        return message;
    };
    EXPECT_EQ(copyWriting({"Current User", "PowerPoint Document"},
                          "Data 0;Pictures 5000;workbook 10;Current User 3;"
                          "\x05SummaryInformation 5000;PowerPoint Document 3;"),
              "no exception");
    EXPECT_EQ(copyWriting({"Current User", "PowerPoint Document", "pictures"},
                          "Data 0;pictures 3;Current User 3;PowerPoint Document 3;"),
              "General exception [HRESULT(80030050) - copying element [Pictures]]");
}

TEST_F(OLEStorageTest, StreamReadsFollowTheReadRules) {
    writeCompoundFile(input_, {{"Ten", pattern(10)}, {"Large", pattern(70000, 2)}});
    OLEStorage storage;
    storage.open(input_);
    OLEStream missing;
    EXPECT_FALSE(missing.open(storage, "Eleven"));
    EXPECT_EQ(missing.size(), 0u);
    EXPECT_FALSE(missing.open(storage, "bad \xff name"));

    OLEStream stream;
    ASSERT_TRUE(stream.open(storage, "ten"));
    EXPECT_EQ(stream.size(), 10u);
    std::uint8_t buffer[16];
    EXPECT_EQ(stream.read(buffer, 0), 0u);
    stream.seek(6, SeekOrigin::Begin);
    EXPECT_EQ(stream.read(buffer, 10), 4u);
    EXPECT_EQ(buffer[0], pattern(10, 1)[6]);
    EXPECT_EQ(messageOf([&] { stream.read(buffer, 10); }),
              "I/O exception [HRESULT(0) - reading 0 bytes from stream]");
    stream.seek(100, SeekOrigin::Begin);
    EXPECT_EQ(stream.tell(), 100);
    stream.seek(-3, SeekOrigin::End);
    EXPECT_EQ(stream.tell(), 7);
    stream.seek(-2, SeekOrigin::Current);
    EXPECT_EQ(stream.tell(), 5);
    EXPECT_EQ(messageOf([&] { stream.seek(-6, SeekOrigin::Current); }),
              "I/O exception [HRESULT(80030001) - setting seek pointer]");
    EXPECT_EQ(stream.tell(), 5);

    OLEStream large;
    ASSERT_TRUE(large.open(storage, "Large"));
    OLEStreamInputStream input(large);
    input.seek(69999, SeekOrigin::Begin);
    EXPECT_EQ(input.readByte(), pattern(70000, 2)[69999]);
    EXPECT_THROW(input.readByte(), IOException);

    OLEStream unopened;
    EXPECT_EQ(messageOf([&] { unopened.read(buffer, 1); }),
              "I/O exception [HRESULT(80030006) - reading stream]");
    EXPECT_EQ(messageOf([&] { unopened.tell(); }),
              "I/O exception [HRESULT(80030006) - getting seek pointer]");
    EXPECT_EQ(messageOf([&] { unopened.write(buffer, 1); }),
              "I/O exception [HRESULT(80030006) - writing stream]");
}

// A full disk, played by a file size cap. A write fails when there is no room, and so does the
// release of a stream, which writes its last bytes: either failure makes every later commit
// fail, so that the incomplete output can never pass for a finished one.
TEST_F(OLEStorageTest, AFailedWriteMakesTheCommitFail) {
    const auto data = pattern(60 * 1024 + 100, 1);
    OLEStorage released;
    released.create(output_);
    OLEStream last;
    ASSERT_TRUE(last.create(released, "Big"));
    last.write(data.data(), data.size());  // whole sectors are written, 100 bytes wait
    OLEStorage written;
    written.create(input_);
    OLEStream stream;
    ASSERT_TRUE(stream.create(written, "Big"));
    const FileSizeCap cap(60 * 1024);
    if (!cap.active()) {
        GTEST_SKIP() << "no file size cap on this system";
    }
    last.release();
    EXPECT_EQ(messageOf([&] { stream.write(data.data(), data.size()); }),
              "I/O exception [HRESULT(80030070) - writing stream]");
    stream.release();
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (auto [storage, path] : {std::pair{&released, output_}, std::pair{&written, input_}}) {
            EXPECT_EQ(messageOf([&] { storage->commit(); }),
                      "General exception [HRESULT(80030070) - committing storage [" +
                          path.string() + "]]");
        }
    }
}

}  // namespace
