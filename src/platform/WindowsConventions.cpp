#include "platform/SystemConventions.h"

const SystemConventions& Conventions() {
    static const SystemConventions conventions{
        '\\', true, "Patchdoc.exe", "c:\\Brambleco\\", "c:\\mylogfolder\\", "c:\\logs",
    };
    return conventions;
}

std::string DefaultLogFolder() {
    return Conventions().defaultLogFolderShown;
}
