#include "RasterSubblockEncoder.h"

#include "MQEncoder.h"
#include "RasterContextRules.h"

#include <stdexcept>

namespace quarn_test {

namespace {

struct Coefficient {
    std::uint32_t magnitude = 0;
    bool negative = false;
    bool significant = false;
    bool refined = false;
    bool seenDiagonally = false; // became significant in an arithmetic-coded plane
};

class Coder {
public:
    Coder(unsigned width, unsigned height, const RasterRect& rect)
        : width_(width), height_(height), rect_(rect), cells_(std::size_t(width) * height) {}

    Coefficient& at(int x, int y) { return cells_[std::size_t(y) * width_ + std::size_t(x)]; }
    const Coefficient* neighbour(int x, int y) const {
        if (x < rect_.x0 || x > rect_.x1 || y < rect_.y0 || y > rect_.y1) return nullptr;
        return &cells_[std::size_t(y) * width_ + std::size_t(x)];
    }
    bool significant(int x, int y) const {
        const Coefficient* c = neighbour(x, y);
        return c != nullptr && c->significant;
    }
    bool seenDiagonally(int x, int y) const {
        const Coefficient* c = neighbour(x, y);
        return c != nullptr && c->significant && c->seenDiagonally;
    }
    int contribution(int x, int y) const {
        const Coefficient* c = neighbour(x, y);
        if (c == nullptr || !c->significant) return 0;
        return c->negative ? -1 : 1;
    }

    unsigned width_, height_;
    RasterRect rect_;
    std::vector<Coefficient> cells_;
};

int clampUnit(int x) {
    return x < -1 ? -1 : x > 1 ? 1 : x;
}

} // namespace

RasterSubblockCode encodeRasterSubblock(const std::int32_t* coefficients, std::size_t stride,
                                        unsigned width, unsigned height, const RasterRect& rect,
                                        const RasterSubblockOptions& options) {
    if (options.lastPlane > 31 || options.lastPlane < 1)
        throw std::invalid_argument("last plane out of range");
    Coder coder(width, height, rect);
    RasterSubblockCode code;
    std::uint32_t any = 0;
    for (int y = rect.y0; y <= rect.y1; ++y)
        for (int x = rect.x0; x <= rect.x1; ++x) {
            const std::int64_t v = coefficients[std::size_t(y) * stride + std::size_t(x)];
            Coefficient& c = coder.at(x, y);
            c.negative = v < 0;
            c.magnitude = static_cast<std::uint32_t>(v < 0 ? -v : v) & 0x7FFFFFFFu;
            any |= c.magnitude;
        }
    // The highest plane holding a bit among those kept.
    unsigned top = 1;
    while (top <= options.lastPlane && (any & (0x80000000u >> top)) == 0)
        ++top;
    if (top > options.lastPlane) return code;
    unsigned first = top;
    if (options.firstPlane != 0) {
        if (options.firstPlane > top) throw std::invalid_argument("first plane below a bit");
        first = options.firstPlane;
    }

    const RasterOrientation orientation = rasterOrientation(options.subband);
    MQEncoder mq;
    mq.setContext(0, 4, 0);
    mq.setContext(17, 3, 0);
    mq.setContext(18, 46, 0);
    for (unsigned p = first; p <= options.lastPlane; ++p) {
        const bool raw = (options.rawPlanes >> p & 1u) != 0;
        const std::uint32_t bitOfPlane = 0x80000000u >> p;
        std::vector<std::uint8_t> rawBytes;
        unsigned rawCount = 0;
        auto emit = [&](unsigned label, unsigned bit) {
            if (raw) {
                if (rawCount % 8 == 0) rawBytes.push_back(0);
                rawBytes.back() |= static_cast<std::uint8_t>(bit << (7 - rawCount % 8));
                ++rawCount;
            } else {
                mq.encode(label, bit);
                ++code.decisions;
            }
        };
        if (!raw) mq.restart();
        for (int y = rect.y0; y <= rect.y1; ++y)
            for (int x = rect.x0; x <= rect.x1; ++x) {
                Coefficient& c = coder.at(x, y);
                const unsigned bit = (c.magnitude & bitOfPlane) != 0 ? 1 : 0;
                const unsigned h = coder.significant(x - 1, y) + coder.significant(x + 1, y);
                const unsigned v = coder.significant(x, y - 1) + coder.significant(x, y + 1);
                const unsigned d =
                    coder.seenDiagonally(x - 1, y - 1) + coder.seenDiagonally(x + 1, y - 1) +
                    coder.seenDiagonally(x - 1, y + 1) + coder.seenDiagonally(x + 1, y + 1);
                if (c.significant) {
                    emit(refinementLabel(!c.refined, h + v + d), bit);
                    c.refined = true;
                    continue;
                }
                emit(zeroCodingLabel(orientation, h, v, d), bit);
                if (bit == 0) continue;
                const int hc =
                    clampUnit(coder.contribution(x - 1, y) + coder.contribution(x + 1, y));
                const int vc =
                    clampUnit(coder.contribution(x, y - 1) + coder.contribution(x, y + 1));
                const SignLabel sign = signCodingLabel(hc, vc);
                emit(sign.label, (c.negative ? 1u : 0u) ^ sign.xorBit);
                c.significant = true;
                c.seenDiagonally = !raw;
            }
        RasterPlane& plane = code.planes[p];
        plane.filled = true;
        plane.raw = raw;
        if (raw) {
            if (options.trimRaw)
                while (!rawBytes.empty() && rawBytes.back() == 0)
                    rawBytes.pop_back();
            plane.bytes = std::move(rawBytes);
        } else {
            plane.bytes = mq.flush(false);
        }
    }
    return code;
}

} // namespace quarn_test
