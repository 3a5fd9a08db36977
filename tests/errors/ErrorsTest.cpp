#include <gtest/gtest.h>

#include <memory>

#include "errors/DualErrorDetail.h"
#include "errors/ErrnoErrorDetail.h"
#include "errors/FileNotFoundException.h"
#include "errors/FullMessage.h"
#include "errors/HRESULTErrorDetail.h"
#include "errors/IOException.h"
#include "errors/OLEStorageNotStorageException.h"
#include "errors/OLEStorageSharingException.h"
#include "errors/StringErrorDetail.h"
#include "errors/ZlibErrorDetail.h"
#include "platform/Env.h"

namespace {

std::unique_ptr<ErrorDetail> Text(const char* text) {
    return std::make_unique<StringErrorDetail>(text);
}

// Every text a user can see in a report, exactly.
TEST(ErrorTextTest, MessagesAndDetails) {
    const std::uint32_t noFile = HRESULTErrorDetail::fromErrorNumber(2);
    EXPECT_EQ(noFile, 0x80070002u);
    // The system's own text for its error 2, on one line ("No such file or directory", "The
    // system cannot find the file specified.").
    const std::string noFileText = Env::Default().errorText(2);
    EXPECT_FALSE(noFileText.empty());
    EXPECT_EQ(noFileText.find_first_of("\r\n"), std::string::npos);
    const std::pair<std::string, std::string> cases[] = {
        {FullMessage(OLEStorageSharingException()), "OLE storage sharing violation"},
        {FullMessage(OLEStorageNotStorageException()),
         "The file exists but is not a storage object"},
        {FullMessage(FileNotFoundException(std::make_unique<DualErrorDetail>(
             std::make_unique<ErrnoErrorDetail>(2), Text("/in.ppt")))),
         "File not found [[errno(2) - " + noFileText + ",/in.ppt]]"},
        {HRESULTErrorDetail(0x80030020, "").text(), "HRESULT(80030020)"},
        {HRESULTErrorDetail(noFile, "").text(), "HRESULT(80070002) - " + noFileText},
        {HRESULTErrorDetail(noFile, "m").text(), "HRESULT(80070002) - " + noFileText + " - m"},
        {ZlibErrorDetail("", -1).text(), "zlib(-1)"},
        {ZlibErrorDetail("", 2).text(), "zlib(2)"},
        {ZlibErrorDetail("", -3).text(), "zlib(Z_DATA_ERROR)"},
        {ZlibErrorDetail("", -2).text(), "zlib(Z_STREAM_ERROR)"},
        {ZlibErrorDetail("", -4).text(), "zlib(Z_MEM_ERROR)"},
        {ZlibErrorDetail("", -6).text(), "zlib(Z_VERSION_ERROR)"},
        {ErrnoErrorDetail(-7).text().substr(0, 12), "errno(-7) - "},
    };
    for (const auto& [got, expected] : cases) {
        EXPECT_EQ(got, expected);
    }
    EXPECT_EQ(HRESULTErrorDetail(0x80030020, "x").code(), static_cast<std::int32_t>(0x80030020));
}

// Counts its destructions, to prove each detail is freed exactly once.
struct CountingDetail : StringErrorDetail {
    CountingDetail(int* destroyed, const char* text)
        : StringErrorDetail(text), destroyed(destroyed) {}
    ~CountingDetail() override { ++*destroyed; }
    int* destroyed;
};

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
