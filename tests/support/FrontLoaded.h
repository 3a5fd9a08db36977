#pragma once

#include "support/Bytes.h"

namespace fixtures {

// The same compound file (version 3, as our writer writes it) with its allocation table,
// directory and mini allocation table moved to the first sectors, the way the platform's own
// service lays out the embedded objects of presentations. Every chain is renumbered; the content
// read through the directory stays the same.
Bytes frontLoaded(const Bytes& compoundFile);

}  // namespace fixtures
