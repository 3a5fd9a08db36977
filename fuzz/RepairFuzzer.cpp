// libFuzzer target: the whole repair of one input file into a temporary output.
//
// Every run happens in a private folder that TMPDIR points at, so the embedded objects' unpacked
// files land there too; after each input the folder must be empty again. Files are capped at
// kMaxFileBytes (RLIMIT_FSIZE), so an input that makes the repair write a bigger file ends in
// SIGXFSZ, which libFuzzer reports as a finding.
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

#include "repair/FixFile.h"
#include "repair/RepairPass.h"
#include "repair/UnpackBudget.h"
#include "streams/LittleEndian.h"
#include "streams/TempFile.h"
#include "support/PresentationBuilder.h"
#include "support/Records.h"

namespace fs = std::filesystem;

namespace {

// Twice what the embedded objects of a small input may unpack to: no file of a pass over an input
// of at most a megabyte comes near it unless that allowance fails.
constexpr rlim_t kMaxFileBytes = 2 * UnpackBudget::kFloorBytes;

fs::path& privateFolder() {
    static fs::path folder;
    return folder;
}

void removePrivateFolder() {
    std::error_code error;
    fs::remove_all(privateFolder(), error);
}

constexpr std::uint8_t kCompoundFileSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

void writeRaw(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        std::cerr << "cannot write the fuzz input to " << path << "\n";
        std::abort();
    }
}

// A compound file is written as it is. Anything else is a Document stream behind the 4-byte
// offset of its current user edit, written into a compound file with a Current User stream that
// points there: mutations then reach the presentation's records without first breaking the
// compound file around them.
void writeInput(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    if (size < 4 ||
        (size >= sizeof kCompoundFileSignature &&
         std::memcmp(data, kCompoundFileSignature, sizeof kCompoundFileSignature) == 0)) {
        writeRaw(path, data, size);
        return;
    }
    const fixtures::Bytes document(data + 4, data + size);
    fixtures::writeCompoundFile(
        path, {{"Current User", fixtures::currentUserAtom(LittleEndian::readU32(data))},
               {"PowerPoint Document", document}});
}

// Aborts, naming them, when files are left in the private folder.
void requireEmptyFolder() {
    bool empty = true;
    for (const fs::directory_entry& entry : fs::directory_iterator(privateFolder())) {
        std::cerr << "left behind: " << entry.path() << "\n";
        empty = false;
    }
    if (!empty) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = ::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/patchfuzz.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    privateFolder() = pattern;
    ::setenv("TMPDIR", pattern.c_str(), 1);
    std::atexit(removePrivateFolder);
    const rlimit limit{kMaxFileBytes, kMaxFileBytes};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path input = privateFolder() / "input.ppt";
    writeInput(input, data, size);
    {
        TempFile output;
        FixFile fixFile;
        std::string message;
        const int outcome = RunRepairPass(
            input, fixFile, [&output]() -> TempFile& { return output; }, message);
        // The check examines the same way, from the compressed bytes where the repair unpacked
        // to files: where the repair succeeded, or found nothing, the check must agree. (A
        // repair may fail where the check can't: writing its output, or unpacking to files.)
        FixFile counted;
        std::string checkMessage;
        const int checked = RunCheckPass(input, counted, checkMessage);
        if (outcome != 2 && (checked != outcome || counted.fixedCount() != fixFile.fixedCount())) {
            std::abort();
        }
    }
    fs::remove(input);
    requireEmptyFolder();
    return 0;
}
