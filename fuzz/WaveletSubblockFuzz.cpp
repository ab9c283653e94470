// Fuzz target: the subblock bit-plane decoder fed the plane records of one subblock straight from
// the input, without a container around it, then the colour transform over what it decoded.
//
// Input: a mode byte; then either a subblock given directly (width - 1, height - 1, subband, band
// count - 1 and the decoded rectangle x0, x1, y0, y1, one byte each) or an image the geometry is
// worked out from (mode bit 0: u16 width, u16 height, levels, subblock size, bands, a selection
// mask, i16 crop x0, y0, x1, y1, crop level, subband, u16 subblock; all big-endian); then the
// records, 32 per band in order, each a flags byte (the record's flags as they stand) and, for a
// filled record, a length (one byte, two with flag bit 0) and its bytes; records past the end of
// the input stay empty. A last colour-transform code is taken from the mode byte's high bits.

#include "FuzzTouch.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/planes/QG3PlaneRecord.h"
#include "support/KVUtilException.h"
#include "wavelet/ReversibleColorTransform.h"
#include "wavelet/SubblockDecode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

using namespace Korvel;

namespace {

// Coefficients per band are held to this, whatever the geometry says.
constexpr std::uint64_t kMaxCoefficients = 1u << 16;

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
    std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
    std::uint32_t u8() { return p_ != end_ ? *p_++ : 0; }
    std::uint32_t u16() {
        const std::uint32_t high = u8();
        return high << 8 | u8();
    }
    const std::uint8_t* take(std::size_t n) {
        n = std::min(n, left());
        const std::uint8_t* at = p_;
        p_ += n;
        return at;
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

bool directGeometry(Input& in, SubblockGeometry& g) {
    g.width = static_cast<std::uint16_t>(1 + in.u8());
    g.height = static_cast<std::uint16_t>(1 + in.u8());
    g.subband = static_cast<std::uint8_t>(in.u8());
    g.bandCount = static_cast<std::uint16_t>(1 + (in.u8() & 3));
    // Rectangles from empty to whole, and past the subblock's edges.
    g.decoded.x0 = static_cast<std::int32_t>(in.u8()) - 1;
    g.decoded.x1 = static_cast<std::int32_t>(in.u8()) - 1;
    g.decoded.y0 = static_cast<std::int32_t>(in.u8()) - 1;
    g.decoded.y1 = static_cast<std::int32_t>(in.u8()) - 1;
    g.decoded.x0 = std::clamp<std::int32_t>(g.decoded.x0, 0, g.width);
    g.decoded.y0 = std::clamp<std::int32_t>(g.decoded.y0, 0, g.height);
    g.decoded.x1 = std::min<std::int32_t>(g.decoded.x1, g.width - 1);
    g.decoded.y1 = std::min<std::int32_t>(g.decoded.y1, g.height - 1);
    if (g.decoded.x1 < g.decoded.x0) {
        g.decoded.x0 = 1;
        g.decoded.x1 = 0;
    }
    if (g.decoded.y1 < g.decoded.y0) {
        g.decoded.y0 = 1;
        g.decoded.y1 = 0;
    }
    return true;
}

bool imageGeometry(Input& in, SubblockGeometry& g) {
    QG3ImageInfo info;
    info.width = 1 + in.u16() % 4096;
    info.height = 1 + in.u16() % 4096;
    info.numLevels = static_cast<std::uint8_t>(in.u8() % 7);
    info.subblockSize = static_cast<std::uint16_t>(1 + in.u8() % 128);
    const std::uint16_t bands = static_cast<std::uint16_t>(1 + in.u8() % 8);
    const std::uint32_t selection = in.u8();
    if (info.bandSet.resizeAll(bands) != KV_OK) return false;
    if (selection != 0) {
        info.bandSet.clearAll();
        for (std::uint16_t b = 0; b < bands; ++b)
            if ((selection >> b & 1u) != 0) info.bandSet.set(b);
    }
    if (info.bandSet.getSetCount() == 0 || info.bandSet.getSetCount() > 4) return false;
    info.cropX0 = static_cast<std::int16_t>(in.u16());
    info.cropY0 = static_cast<std::int16_t>(in.u16());
    info.cropX1 = static_cast<std::int16_t>(in.u16());
    info.cropY1 = static_cast<std::int16_t>(in.u16());
    info.cropLevel = static_cast<std::uint8_t>(in.u8());
    if (info.computeSubbands() != KV_OK || info.numSubbands == 0) return false;
    const std::uint8_t subband = static_cast<std::uint8_t>(in.u8() % info.numSubbands);
    const QG3Subband& s = info.subbands[subband];
    const std::uint32_t count = std::uint32_t(s.rows) * s.columns;
    if (count == 0) return false;
    const std::uint32_t subblock = in.u16() % count;
    return makeSubblockGeometry(info, subband, subblock, g) == KV_OK;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint32_t mode = in.u8();
    SubblockGeometry g;
    if (!((mode & 1) != 0 ? imageGeometry(in, g) : directGeometry(in, g))) return 0;
    if (std::uint64_t(g.width) * g.height > kMaxCoefficients || g.bandCount == 0) return 0;

    std::vector<QG3PlaneRecord> records(32u * g.bandCount);
    for (QG3PlaneRecord& r : records) {
        if (in.left() == 0) break;
        r.flags = static_cast<std::uint8_t>(in.u8() & ~QG3PlaneRecord::kOwned);
        if (!r.filled()) continue;
        const std::size_t length = (r.flags & 1) != 0 ? in.u16() : in.u8();
        const std::size_t available = in.left();
        const std::uint8_t* bytes = in.take(length);
        r.length = static_cast<std::uint32_t>(std::min(length, available));
        r.data = r.length > 0 ? bytes : nullptr;
    }

    const std::size_t stride = std::size_t(g.width) + (mode >> 1 & 3);
    std::vector<std::int32_t> out(stride * g.height * g.bandCount);
    std::vector<std::int32_t*> outputs;
    for (std::uint16_t b = 0; b < g.bandCount; ++b)
        outputs.push_back(out.data() + stride * g.height * b);
    try {
        SubblockDecode decoder(g);
        decoder.decode(records.data(), 32, outputs.data(), stride);
    } catch (const KVUtilException&) {
        return 0;
    }
    // The colour transforms take any 32-bit samples.
    const std::uint32_t codes[4] = {1, 4, 10, 254};
    applyColorTransform(codes[mode >> 6], outputs.data(), g.bandCount, 1,
                        g.bandCount >= 3 ? stride * g.height : 0);
    quarn_fuzz::touch(out.data(), out.size() * sizeof(std::int32_t));
    return 0;
}
