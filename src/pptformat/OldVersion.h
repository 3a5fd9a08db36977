#pragma once

#include "streams/OLEStorage.h"

// Refuses compound files written by PowerPoint 4.0 or earlier.
class OldVersion {
public:
    // Throws OldVersionException "Old version of PowerPoint" when the input root holds a "PP40"
    // or a "Header" stream. Only their presence is tested; nothing is read.
    explicit OldVersion(OLEStorage& storage);
};
