#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "errors/DualErrorDetail.h"
#include "errors/ErrnoErrorDetail.h"
#include "errors/FileNotFoundException.h"
#include "errors/FullMessage.h"
#include "errors/HRESULTErrorDetail.h"
#include "errors/IOException.h"
#include "errors/OLEStorageNotStorageException.h"
#include "errors/OLEStorageSharingException.h"
#include "errors/PropertySizeException.h"
#include "errors/StringErrorDetail.h"
#include "errors/ZlibErrorDetail.h"

namespace {

// Counts destructions, to prove each detail is freed exactly once.
class CountingDetail : public ErrorDetail {
public:
    CountingDetail(int* destroyed, std::string text) : destroyed_(destroyed), text_(text) {}
    ~CountingDetail() override { ++*destroyed_; }
    std::int32_t code() const override { return 0; }
    std::string text() const override { return text_; }

private:
    int* destroyed_;
    std::string text_;
};

TEST(FullMessageTest, ClassTextAloneWithoutDetail) {
    EXPECT_EQ(FullMessage(OLEStorageSharingException()), "OLE storage sharing violation");
    EXPECT_EQ(FullMessage(OLEStorageNotStorageException()),
              "The file exists but is not a storage object");
}

TEST(FullMessageTest, DetailInBrackets) {
    EXPECT_EQ(
        FullMessage(Exception(std::make_unique<StringErrorDetail>("Invalid read stream handle"))),
        "General exception [Invalid read stream handle]");
    EXPECT_EQ(FullMessage(PropertySizeException(
                  std::make_unique<StringErrorDetail>("Container length overrun"))),
              "Property record size exception [Container length overrun]");
}

TEST(FullMessageTest, DualDetailGivesDoubleBrackets) {
    FileNotFoundException e(
        std::make_unique<DualErrorDetail>(std::make_unique<ErrnoErrorDetail>(ENOENT),
                                          std::make_unique<StringErrorDetail>("/in.ppt")));
    EXPECT_EQ(FullMessage(e), "File not found [[errno(2) - No such file or directory,/in.ppt]]");
}

TEST(FullMessageTest, CaughtThroughBaseKeepsClassText) {
    try {
        throw FileNotFoundException(std::make_unique<StringErrorDetail>("x"));
    } catch (const Exception& e) {
        EXPECT_EQ(FullMessage(e), "File not found [x]");
    }
}

TEST(ErrorDetailTest, HRESULTTexts) {
    EXPECT_EQ(HRESULTErrorDetail(1, "reading stream").text(), "HRESULT(1) - reading stream");
    EXPECT_EQ(HRESULTErrorDetail(0, "reading 0 bytes from stream").text(),
              "HRESULT(0) - reading 0 bytes from stream");
    EXPECT_EQ(HRESULTErrorDetail(0x80030020, "").text(), "HRESULT(80030020)");
    EXPECT_EQ(HRESULTErrorDetail(0x80030020, "x").code(), static_cast<std::int32_t>(0x80030020));
}

TEST(ErrorDetailTest, HRESULTOfSystemFacilityCarriesSystemText) {
    const std::uint32_t result = HRESULTErrorDetail::fromErrorNumber(ENOENT);
    EXPECT_EQ(result, 0x80070002u);
    EXPECT_EQ(HRESULTErrorDetail(result, "").text(),
              "HRESULT(80070002) - No such file or directory");
    EXPECT_EQ(HRESULTErrorDetail(result, "m").text(),
              "HRESULT(80070002) - No such file or directory - m");
}

TEST(ErrorDetailTest, ZlibTexts) {
    EXPECT_EQ(ZlibErrorDetail("", -1).text(), "zlib(-1)");
    EXPECT_EQ(ZlibErrorDetail("", 2).text(), "zlib(2)");
    EXPECT_EQ(ZlibErrorDetail("", -3).text(), "zlib(Z_DATA_ERROR)");
    EXPECT_EQ(ZlibErrorDetail("incorrect header check", -3).text(),
              "zlib(Z_DATA_ERROR) - incorrect header check");
    EXPECT_EQ(ZlibErrorDetail("", -2).text(), "zlib(Z_STREAM_ERROR)");
    EXPECT_EQ(ZlibErrorDetail("", -4).text(), "zlib(Z_MEM_ERROR)");
    EXPECT_EQ(ZlibErrorDetail("", -5).text(), "zlib(Z_BUF_ERROR)");
    EXPECT_EQ(ZlibErrorDetail("", -6).text(), "zlib(Z_VERSION_ERROR)");
}

TEST(ErrorDetailTest, ErrnoText) {
    EXPECT_EQ(ErrnoErrorDetail(ENOENT).text(), "errno(2) - No such file or directory");
    EXPECT_EQ(ErrnoErrorDetail(ENOENT).code(), 2);
    EXPECT_EQ(ErrnoErrorDetail(-7).text().rfind("errno(-7) - ", 0), 0u);
}

TEST(ExceptionOwnershipTest, CopiesFreeTheDetailsOnce) {
    int destroyed = 0;
    {
        IOException original(
            std::make_unique<DualErrorDetail>(std::make_unique<CountingDetail>(&destroyed, "a"),
                                              std::make_unique<CountingDetail>(&destroyed, "b")));
        IOException copy = original;
        IOException assigned;
        assigned = copy;
        EXPECT_EQ(FullMessage(assigned), "I/O exception [[a,b]]");
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 2);
}

}  // namespace
