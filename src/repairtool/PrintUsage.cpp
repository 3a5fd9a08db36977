#include "repairtool/PrintUsage.h"

void PrintUsage(std::ostream& out) {
    out << "\n"
           "\n"
           "Usage: Patchdoc [-d] file_to_repair.ppt\n"
           "\n"
           "Option: -d\tDisable the creation of a backup file\n"
           "\n"
           "Return values: \n"
           "0\tThe repair was successful\n"
           "1\tAn error occurred\n"
           "2\tNo repair was necessary\n"
        << std::flush;
}
