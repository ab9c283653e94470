#pragma once
// An image source of a file-backed container: the file stream is open only while it opens.

#include "qg3/container/QG3ImageSource.h"

namespace Korvel {

class QG3FileSimpleContainer;

class QG3FileSimpleImageSource : public QG3ImageSource {
public:
    QG3FileSimpleImageSource(QG3FileSimpleContainer* container, std::uint32_t imageNumber);
    ~QG3FileSimpleImageSource() override;

    KVStatus open() override;

    QG3FileSimpleContainer* getFileContainer() const { return fileContainer_; }

private:
    QG3FileSimpleContainer* fileContainer_;
};

} // namespace Korvel
