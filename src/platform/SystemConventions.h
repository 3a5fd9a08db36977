#pragma once

#include <string>

// How the running system names the things both programs show or look for: what differs
// between the systems in texts and paths, apart from the services of the Env.
struct SystemConventions {
    // The separator a log folder text is completed with.
    char folderSeparator;
    // Whether a backslash in a folder argument separates folders (it is turned into "/").
    bool backslashSeparatesFolders;
    // The repair program's file name, looked for beside the batch program.
    const char* repairProgramName;
    // How the batch program's help text shows the default log folder and its two examples.
    const char* defaultLogFolderShown;
    const char* exampleLogFolder;
    const char* exampleLogOption;
};

const SystemConventions& Conventions();

// The log folder used when none is given, ending with the folder separator.
std::string DefaultLogFolder();
