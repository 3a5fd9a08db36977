// Writes a large presentation for the benchmarks:
//   make_bench_file OUTPUT SIZE_MIB [SLIDES [WORKBOOK_PERCENT]]
// About half of the bytes (WORKBOOK_PERCENT when given, at most 90) are embedded workbooks
// (compound files, deflated in ExOleObjStg records), nearly all the others a "Pictures" stream of
// incompressible picture data, and the rest a Document stream of many small records: slides with
// text, pictures and OLE shapes (two in three of them flattened), chains of presentations
// embedded three deep, and three incremental saves after the full one. Memory stays at a few MiB
// whatever the size. Prints what it wrote.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchContent.h"
#include "StreamedPresentation.h"
#include "errors/FullMessage.h"
#include "streams/OLEStorage.h"
#include "support/Records.h"

using fixtures::Bytes;

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr int kWorkbookVariants = 4;
constexpr std::size_t kSheetBytes = 3 * kMiB;
constexpr std::uint32_t kEdits = 3;
constexpr std::uint32_t kSlidesPerChain = 256;
constexpr std::uint32_t kRestoredEvery = 16;

struct Plan {
    std::uint64_t target = 0;
    std::uint32_t slides = 0;
    std::uint32_t chains = 0;
    std::uint32_t workbooks = 0;
};

struct Objects {
    std::vector<Bytes> workbookRecords;  // ExOleObjStg records, one per variant
    Bytes chainRecord;                   // ExOleObjStg of a presentation nested three deep
};

Objects buildObjects() {
    Objects objects;
    for (int v = 0; v < kWorkbookVariants; ++v) {
        objects.workbookRecords.push_back(
            fixtures::exOleObjStg(bench::workbook(kSheetBytes, 1000 + v)));
    }
    const Bytes innermost = bench::smallPresentation(128 * 1024, nullptr, 3);
    const Bytes middle = bench::smallPresentation(256 * 1024, &innermost, 2);
    const Bytes outer = bench::smallPresentation(512 * 1024, &middle, 1);
    objects.chainRecord = fixtures::exOleObjStg(outer);
    return objects;
}

Plan makePlan(std::uint64_t target, std::uint32_t slides, std::uint64_t workbookPercent,
              const Objects& objects) {
    Plan plan;
    plan.target = target;
    plan.slides =
        slides != 0
            ? slides
            : static_cast<std::uint32_t>(std::clamp<std::uint64_t>(target / kMiB * 2, 20, 2000));
    plan.chains = std::max<std::uint32_t>(1, plan.slides / kSlidesPerChain);
    std::uint64_t average = 0;
    for (const Bytes& record : objects.workbookRecords) {
        average += record.size() / objects.workbookRecords.size();
    }
    const std::uint64_t chainBytes = plan.chains * objects.chainRecord.size();
    const std::uint64_t share = target / 100 * workbookPercent;
    const std::uint64_t budget = share > chainBytes ? share - chainBytes : 0;
    plan.workbooks = static_cast<std::uint32_t>(std::max<std::uint64_t>(1, budget / average));
    return plan;
}

struct Written {
    std::uint64_t document = 0;
    std::uint64_t embedded = 0;
    std::uint64_t pictures = 0;
};

Written writeFile(const char* path, const Plan& plan, const Objects& objects) {
    Written written;
    OLEStorage storage;
    storage.create(path);
    bench::StreamedPresentation p(storage);
    const std::uint32_t objectCount = plan.workbooks + plan.chains;
    const std::uint32_t firstSlide = 2;
    const std::uint32_t firstStorage = firstSlide + plan.slides;
    std::vector<std::uint32_t> storageIds;
    for (std::uint32_t i = 0; i < objectCount; ++i) {
        storageIds.push_back(firstStorage + i);
    }
    // Objects spread evenly over the slides; two in three flattened.
    std::vector<std::vector<std::uint32_t>> onSlide(plan.slides);
    std::vector<std::vector<bool>> flat(plan.slides);
    for (std::uint32_t i = 0; i < objectCount; ++i) {
        const std::uint32_t s =
            static_cast<std::uint32_t>(std::uint64_t{i} * plan.slides / objectCount);
        onSlide[s].push_back(i + 1);
        flat[s].push_back(i % 3 != 2);
    }
    p.add(bench::documentWithSlides(plan.slides, firstSlide, storageIds, 0));
    for (std::uint32_t s = 0; s < plan.slides; ++s) {
        p.add(bench::slideWithObjects(s, onSlide[s], flat[s]));
    }
    // Chains first, then the workbooks, spread over the variants.
    for (std::uint32_t i = 0; i < objectCount; ++i) {
        const Bytes& record = i < plan.chains
                                  ? objects.chainRecord
                                  : objects.workbookRecords[i % objects.workbookRecords.size()];
        p.add(record);
        written.embedded += record.size();
    }
    for (std::uint32_t edit = 1; edit <= kEdits; ++edit) {
        p.beginEdit();
        p.set(1, bench::documentWithSlides(plan.slides, firstSlide, storageIds, edit));
        for (std::uint32_t s = edit; s < plan.slides; s += kRestoredEvery) {
            p.set(firstSlide + s, bench::slideWithObjects(s, onSlide[s], flat[s]));
        }
    }
    p.finish();
    written.document = p.documentBytes();
    // The pictures fill up to the target, less the allocation tables' share of the file.
    const std::uint64_t used = written.document + plan.target / 128 + 64 * 1024;
    written.pictures = plan.target > used ? plan.target - used : 0;
    bench::writePicturesStream(storage, written.pictures, 42);
    storage.commit();
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr,
                     "usage: make_bench_file OUTPUT SIZE_MIB [SLIDES [WORKBOOK_PERCENT]]\n");
        return 1;
    }
    const std::uint64_t target = std::strtoull(argv[2], nullptr, 10) * kMiB;
    const auto slides =
        static_cast<std::uint32_t>(argc >= 4 ? std::strtoul(argv[3], nullptr, 10) : 0);
    const std::uint64_t workbookPercent =
        std::min<std::uint64_t>(argc == 5 ? std::strtoull(argv[4], nullptr, 10) : 50, 90);
    try {
        const Objects objects = buildObjects();
        const Plan plan = makePlan(target, slides, workbookPercent, objects);
        const Written w = writeFile(argv[1], plan, objects);
        struct rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        std::printf(
            "%s: %u slides, %u embedded workbooks, %u presentations embedded 3 deep, %u "
            "incremental saves\n"
            "  Document stream %.1f MiB (embedded objects %.1f MiB, other records %.2f MiB), "
            "Pictures %.1f MiB; generator peak RSS %ld MiB\n",
            argv[1], plan.slides, plan.workbooks, plan.chains, kEdits,
            static_cast<double>(w.document) / kMiB, static_cast<double>(w.embedded) / kMiB,
            static_cast<double>(w.document - w.embedded) / kMiB,
            static_cast<double>(w.pictures) / kMiB, usage.ru_maxrss / 1024);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_bench_file: %s\n", e.what());
        return 1;
    } catch (const Exception& e) {
        std::fprintf(stderr, "make_bench_file: %s\n", FullMessage(e).c_str());
        return 1;
    }
    return 0;
}
