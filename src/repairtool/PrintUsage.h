#pragma once

#include <ostream>

// Writes Patchdoc's usage text.
void PrintUsage(std::ostream& out);
