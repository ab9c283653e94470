#pragma once
// A stage's own mask of the pixels it delivers: for a scene, row r of the mask gives the columns
// of row r of the scene that hold pixels of the image. A merge copies only columns inside its
// runs. No stage of this system offers one; the interface is the contract a stage may fill.

#include "support/KVStatus.h"

namespace Korvel {

class KVIRunMask;
class KVIScene;

class KVIMaskSource {
public:
    virtual ~KVIMaskSource() = default;
    // Fills mask for the scene; a nonzero status stops the merge before anything is written.
    virtual KVStatus getMask(const KVIScene& scene, KVIRunMask& mask) = 0;
};

} // namespace Korvel
