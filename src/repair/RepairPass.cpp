#include "repair/RepairPass.h"

// Placeholder until presentations can be read: every file is refused as not a presentation.
int RunRepairPass(const std::filesystem::path&, FixFile& fixFile, const std::filesystem::path&,
                  std::string& message) {
    fixFile.reset();
    message =
        "The selected file is not a PowerPoint 97-2003 PPT file. This tool can only repair PPT "
        "files.";
    return 2;
}
