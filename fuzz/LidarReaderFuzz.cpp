// Fuzz target: a LiDAR file opened by the point reader over a memory input, its description and
// metadata read, and the point count of queries over its bounds at several fractions.

#include "Error.h"
#include "FuzzMemoryIO.h"
#include "FuzzTouch.h"
#include "Metadata.h"
#include "ObjectRef.h"
#include "PointInfo.h"
#include "QG4PointReader.h"

#include <cstddef>
#include <cstdint>
#include <new>

using namespace Korvel;

namespace {

using quarn_fuzz::sink;

void inspectReader(const QG4PointReader& reader) {
    quarn_fuzz::touchText(reader.getVersionString());
    quarn_fuzz::touchText(reader.getWKT());
    sink = sink + static_cast<std::uint64_t>(reader.getNumPoints());
    const PointInfo& info = reader.getPointInfo();
    for (std::uint64_t c = 0; c < info.getNumChannels(); ++c) {
        const ChannelInfo& channel = info.getChannel(c);
        quarn_fuzz::touchText(channel.getName());
        sink = sink + channel.getDatatype() + channel.getBits();
    }
    if (const double* bounds = reader.getBounds()) quarn_fuzz::touch(bounds, 6 * sizeof(double));
    if (const double* scale = reader.getScale()) quarn_fuzz::touch(scale, 3 * sizeof(double));
    if (const double* offset = reader.getOffset()) quarn_fuzz::touch(offset, 3 * sizeof(double));
    const char* const* names = reader.getClassNames();
    for (std::uint64_t i = 0; names != nullptr && i < reader.getNumClassNames(); ++i)
        quarn_fuzz::touchText(names[i]);
}

void inspectMetadata(const Metadata& metadata) {
    for (const char* key : {"PreCompressionPointCount", "Software", ""}) {
        const char* description = nullptr;
        std::uint16_t datatype = 0;
        const void* value = nullptr;
        std::uint64_t count = 0;
        if (!metadata.get(key, &description, &datatype, &value, &count)) continue;
        quarn_fuzz::touchText(description);
        if (value != nullptr)
            quarn_fuzz::touch(value,
                              datatype == Metadata::Float64Array ? count * sizeof(double) : count);
    }
}

// Queries over the whole bounds and over each half of them along X.
void query(const QG4PointReader& reader) {
    const double* bounds = reader.getBounds();
    if (bounds == nullptr) return;
    double lower[6];
    double upper[6];
    for (int i = 0; i < 6; ++i)
        lower[i] = upper[i] = bounds[i];
    lower[1] = upper[0] = bounds[0] / 2 + bounds[1] / 2;
    for (double fraction : {1.0, 0.5, 0.01, 0.0}) {
        sink = sink + static_cast<std::uint64_t>(reader.getNumPointsInQuery(bounds, fraction) > 0);
        sink = sink + static_cast<std::uint64_t>(reader.getNumPointsInQuery(lower, fraction) > 0);
        sink = sink + static_cast<std::uint64_t>(reader.getNumPointsInQuery(upper, fraction) > 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ObjectRef<quarn_fuzz::FuzzMemoryIO> io(new quarn_fuzz::FuzzMemoryIO(data, size));
    ObjectRef<QG4PointReader> reader(QG4PointReader::create());
    try {
        reader->init(io.get());
        inspectReader(*reader.get());
        Metadata metadata;
        reader->loadMetadata(metadata);
        inspectMetadata(metadata);
        query(*reader.get());
    } catch (const Error&) {
        // A bad file: refused, as it should be.
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
