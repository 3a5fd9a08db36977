#pragma once

#include <ostream>

// Writes Patchtree's help text, naming this platform's default log folder and example paths.
void PrintHelp(std::ostream& out);
