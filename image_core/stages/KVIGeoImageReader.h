#pragma once
// A reader whose geo placement may come from a world file beside the image.

#include "stages/KVIImageReader.h"

namespace Korvel {

class KVIOStreamInf;

class KVIGeoImageReader : public KVIImageReader {
public:
    KVIGeoImageReader() = default;

    // Stores whether world files are honoured and starts an empty metadata database.
    KVStatus init(bool useWorldFile);
    bool getUseWorldFile() const { return useWorldFile_; }
    // Reads the six numbers of a world file into the geo coordinate (its WKT kept); found tells
    // whether it did. With honourFlag set and world files not honoured, nothing is read.
    KVStatus readWorldFile(KVIOStreamInf* stream, bool& found, bool honourFlag);

protected:
    ~KVIGeoImageReader() override;

private:
    bool useWorldFile_ = true;
};

} // namespace Korvel
