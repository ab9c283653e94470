// Fuzz target: a LiDAR file opened by the point reader over a memory input, and every point of
// it decoded: an iterator over the whole bounds at fraction 1 with all the file's channels,
// asked for points until it has none left. A second iterator then decodes the lower half of the
// bounds in X at fraction 0.5, which goes through the index and a coarser level.

#include "DataType.h"
#include "Error.h"
#include "FuzzMemoryIO.h"
#include "FuzzTouch.h"
#include "ObjectRef.h"
#include "PointData.h"
#include "PointInfo.h"
#include "PointIterator.h"
#include "ProgressDelegate.h"
#include "QG4PointReader.h"
#include "WaveletDecoderInfo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>

using namespace Korvel;

namespace {

// Points asked for at a time.
constexpr std::uint64_t kCapacity = 4096;
// A file may state any number of points, and runs of empty subblocks make many points from few
// bytes: an iteration is cancelled once its decoded points times the channels and levels that
// decode them pass this, so that each input runs in a bounded time.
constexpr double kMaxWork = double(1 << 24);

class WorkBudget final : public ProgressDelegate {
public:
    explicit WorkBudget(double perPoint) : perPoint_(perPoint) {}
    bool isCancelled() override { return getDone() * perPoint_ > kMaxWork; }

private:
    double perPoint_;
};

void touchPoints(const PointData& points, std::uint64_t count) {
    for (std::uint64_t c = 0; c < points.getNumChannels(); ++c) {
        const ChannelData& channel = points.getChannel(c);
        if (channel.getData() != nullptr)
            quarn_fuzz::touch(channel.getData(), count * datatypeSize(channel.getDatatype()));
    }
}

// Every point the reader's iterator over the box at the fraction gives.
void decodeAll(QG4PointReader& reader, const double* bounds, double fraction) {
    try {
        const PointInfo& info = reader.getPointInfo();
        const WaveletDecoderInfo* decoder = reader.getDecoderInfo();
        WorkBudget budget(static_cast<double>(info.getNumChannels()) *
                          std::max<std::uint32_t>(decoder->getNumLevels(), 1));
        ObjectRef<PointIterator> iterator(reader.createIterator(bounds, fraction, info, &budget));
        if (iterator.get() == nullptr) return;
        PointData points;
        points.init(info, kCapacity);
        for (;;) {
            const std::uint64_t n = iterator->getNextPoints(points);
            if (n == 0) break;
            if (n > kCapacity) __builtin_trap();
            touchPoints(points, n);
        }
    } catch (const Error&) {
        // A bad file, or the budget spent: the iteration ends there.
    } catch (const std::bad_alloc&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ObjectRef<quarn_fuzz::FuzzMemoryIO> io(new quarn_fuzz::FuzzMemoryIO(data, size));
    ObjectRef<QG4PointReader> reader(QG4PointReader::create());
    try {
        reader->init(io.get());
    } catch (const Error&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const double* bounds = reader->getBounds();
    decodeAll(*reader.get(), bounds, 1.0);
    double lower[6];
    for (int i = 0; i < 6; ++i)
        lower[i] = bounds[i];
    lower[1] = bounds[0] / 2 + bounds[1] / 2;
    decodeAll(*reader.get(), lower, 0.5);
    return 0;
}
