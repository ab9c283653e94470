#pragma once
// A container over a file stream, which it opens around each access and closes again unless it
// was asked to keep the stream open. The database reads through a window over the stream (its
// walk from header to header, and the packets that opening reads image after image), so that a
// file of many small packets is read in large pieces rather than a field at a time.

#include "qg3/container/QG3Container.h"
#include "streams/KVIOBufferedStream.h"
#include "streams/KVIOStreamInf.h"

#include <cstdint>

namespace Korvel {

class QG3FileSimpleContainer : public QG3Container {
public:
    // The stream stays the caller's and must outlive the container.
    QG3FileSimpleContainer(KVIOStreamInf* stream, bool keepOpen);
    ~QG3FileSimpleContainer() override;

    KVStatus open() override;

    // Opens the stream when it is not open.
    KVStatus openStream();
    // Closes the stream unless it is kept open.
    KVStatus closeStream();
    // A duplicate at the stream's position, owned by the caller; null when it cannot be made.
    KVIOStreamInf* duplicateStream();
    // A stream over the generation-2 image stored as the image's type-7 packet, owned by the
    // caller: KV_QG3_NO_OBJECT when there is no such packet, KV_FAILURE when the file stream cannot
    // be duplicated.
    KVStatus getQG2ImageStream(std::uint32_t imageNumber, KVIOStreamInf*& stream);

    bool isKeepOpen() const { return keepOpen_; }

protected:
    // The database from the start of the file.
    KVStatus readDatabase() override;

private:
    KVIOStreamInf* stream_;
    // The database's read-ahead window. It goes before the database does, which only keeps its
    // address and reads nothing while it goes.
    KVIOBufferedStream buffered_;
    std::int64_t endPosition_ = 0;
    bool keepOpen_;
};

} // namespace Korvel
