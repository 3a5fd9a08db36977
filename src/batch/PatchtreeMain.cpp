#include "batch/PatchtreeEntry.h"
#include "platform/ProgramEntry.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return EnterProgram(argc, argv, RunPatchtree);
}
#else
int main(int argc, char** argv) {
    return EnterProgram(argc, argv, RunPatchtree);
}
#endif
