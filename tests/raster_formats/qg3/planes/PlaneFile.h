#pragma once
// A file written by the plane-item writer, opened through the container: its image information
// and planeset packet, and plane readers over streams that record how far they were read.

#include "PlaneItemWriter.h"
#include "TestStreams.h"
#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3HeaderPacket.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/planes/QG3PlaneReaderFactory.h"

#include <algorithm>
#include <memory>

namespace quarn_test {

// Remembers the furthest byte any read reached.
class WatchedStream : public VectorStream {
public:
    using VectorStream::VectorStream;
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override {
        const std::int64_t from = position;
        const std::uint32_t got = VectorStream::read(buffer, count);
        if (got > 0) furthest = std::max(furthest, from + std::int64_t(got));
        return got;
    }
    std::int64_t furthest = 0;
};

struct PlaneFile {
    explicit PlaneFile(Bytes bytes)
        : stream(bytes, false), watched(std::move(bytes), false), container(&stream, false) {
        using namespace Korvel;
        if ((status = container.open()) != KV_OK) return;
        QG3Packet* packet = nullptr;
        if ((status = container.findPacket(
                 QG3PacketType(QG3_PACKET_HEADER, QG3_ANY, QG3_ANY, 1, 0, 0), packet)) != KV_OK)
            return;
        info =
            std::make_unique<QG3ImageInfo>(*dynamic_cast<QG3HeaderPacket&>(*packet).getImageInfo());
        status = container.findPacket(QG3PacketType(QG3_PACKET_PLANESET, QG3_ANY, QG3_ANY, 1, 0, 0),
                                      packet);
        planeset = dynamic_cast<QG3PlanesetPacket*>(packet);
        if (planeset == nullptr) return;
        info->planesetKind = planeset->planesetKind;
        info->planesetLayout = planeset->planesetLayout;
    }

    // A reader over its own duplicate, or (watch) over the watched stream.
    std::unique_ptr<Korvel::QG3FilePlaneReader> reader(bool cursors, bool watch = false) {
        Korvel::QG3PlaneReaderOptions options =
            Korvel::planeReaderOptions(*info, *planeset, false, cursors, !watch);
        return Korvel::createPlaneReader(*info, *planeset, watch ? &watched : stream.duplicate(),
                                         options);
    }
    // The watched stream never read past the planeset.
    bool readInside() const { return watched.furthest <= planeset->planeDataEnd; }

    VectorStream stream;
    WatchedStream watched;
    Korvel::QG3FileSimpleContainer container;
    std::unique_ptr<Korvel::QG3ImageInfo> info;
    Korvel::QG3PlanesetPacket* planeset = nullptr;
    Korvel::KVStatus status = Korvel::KV_OK;
};

} // namespace quarn_test
