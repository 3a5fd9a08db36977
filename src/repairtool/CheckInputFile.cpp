#include "repairtool/CheckInputFile.h"

#include "platform/Env.h"
#include "platform/TerminalText.h"
#include "repairtool/PrintUsage.h"

bool CheckInputFile(const std::filesystem::path& path, std::ostream& out) {
    if (path.empty()) {
        out << "The file to be repaired has not been specified.\n";
        PrintUsage(out);
        return false;
    }
    if (Env::Default().pathKind(path) != Env::PathKind::RegularFile) {
        out << StdoutText(path.u8string()) << " does not exist.\n" << std::flush;
        return false;
    }
    return true;
}
