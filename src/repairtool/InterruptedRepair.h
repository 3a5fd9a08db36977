#pragma once

#include <string>

class PinnedFile;

// Looks for the copy of its original that an earlier run made before it overwrote the file in
// place (a kept copy, or a backup). A copy whose file is as it was then, was put back, or holds
// the complete repair was left by a run that was stopped before or after the overwrite: it is
// forgotten (a kept copy deleted; with `forget` false it is left where it is), and the run goes
// on. Otherwise the overwrite was cut short, and the message that says where the original
// content is comes back; "" when there is none.
std::string InterruptedRepair(PinnedFile& pinned, bool forget = true);
