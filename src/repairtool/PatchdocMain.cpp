#include <iostream>

#include "platform/ProgramEntry.h"
#include "repairtool/RunPatchdoc.h"

namespace {

int Patchdoc(const std::vector<std::string>& arguments) {
    return RunPatchdoc(arguments, std::cout);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return EnterProgram(argc, argv, Patchdoc);
}
#else
int main(int argc, char** argv) {
    return EnterProgram(argc, argv, Patchdoc);
}
#endif
