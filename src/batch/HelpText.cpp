#include "batch/HelpText.h"

#include "platform/SystemConventions.h"

void PrintHelp(std::ostream& out) {
    out << "\n\n\n"
        << "This tool has been specifically created to fixup binary PowerPoint files optimized "
           "using Featherpack 3.5 or earlier where any images were flattened. \n"
        << "\n"
        << "The tool will recursively iterate the folders specified to look for binary "
           "PowerPoint files to repair. The tool produces a log of the ppt files it encounters "
           "and, for each, lists one of the following:\n"
        << "\n"
        << "i.)  '[fixed], <filename>': the file was repaired\n"
        << "ii.) '[ok], <filename>': the file doesn't need repairing\n"
        << "iii.)'[err], <filename>': there was a problem repairing the file\n"
        << "\n"
        << "By default, a log is created at " << Conventions().defaultLogFolderShown
        << "<date-timestamped>.log.  However, the location of the log can be changed (see "
           "options). By default, a backup file is created for any .ppt file that has been "
           "repaired.  The backup filename is the same as the original with ' (backup)' "
           "appended to it. If the backup filename already exists, then ' (backup n)' will be "
           "created where 'n' is a number from 1 to 9. The creation of backups can be disabled "
           "(see options). After the options, the remaining arguments specified are assumed to "
           "be directories.\n"
        << "\n\n"
        << "Usage:\tPatchtree [-d] [-l:" << Conventions().exampleLogFolder
        << "] directory1 directory2 directory3 ...\n"
        << "Options:\n"
        << "\t-d\t\tDisable the creation of backup files for each file fixed\n"
        << "\t-l:" << Conventions().exampleLogOption
        << "\tCreate a log file at the location specified after ':'\n";
    out.flush();
}
