#include "RasterImageWriter.h"

#include "RasterSubblockEncoder.h"

#include <algorithm>
#include <stdexcept>

namespace quarn_test {

namespace {

// floor((p + 8192) / 16384).
std::int64_t roundFixed(std::int64_t p) {
    const std::int64_t s = p + 8192;
    return s >= 0 ? s / 16384 : -((-s + 16383) / 16384);
}

bool transformed(const RasterImage& image) {
    const unsigned code = image.colorTransform;
    return image.planes.size() >= 3 && (code == 4 || code == 7 || code == 10 || code == 13);
}

// Runs the transform a stored code names (forward for 10 and 13) or the one that undoes it.
void colourTransform(std::vector<RasterSubbands>& bands, unsigned code, bool undo) {
    const bool forward = (code == 10 || code == 13) != undo;
    for (std::size_t s = 0; s < bands[0].size(); ++s)
        for (std::size_t i = 0; i < bands[0][s].samples.size(); ++i) {
            std::int32_t& a = bands[0][s].samples[i];
            std::int32_t& b = bands[1][s].samples[i];
            std::int32_t& c = bands[2][s].samples[i];
            forward ? rasterColorForward(a, b, c) : rasterColorInverse(a, b, c);
        }
}

// One axis of the crop window [a, e] (at the window's level, in an image of n samples) in a
// subband sh levels below it: one more sample before a high-pass axis, none past what exists.
void windowAxis(std::int64_t a, std::int64_t e, std::int64_t n, std::int64_t sh, bool odd,
                std::int64_t& start, std::int64_t& end) {
    if (sh <= 0) {
        start = a;
        end = e;
        return;
    }
    start = std::max<std::int64_t>((a >> sh) - (odd ? 1 : 0), 0);
    const std::int64_t m = n - (odd ? std::int64_t(1) << (sh - 1) : 0);
    end = e == 0 ? 0 : std::min(((e - 1) >> sh) + 1, (m - 1) >> sh);
}

// The part of the subblock at (x0, y0) of size w x h in subband s that the window needs.
RasterRect codedRect(const RasterImage& image, unsigned s, std::int64_t x0, std::int64_t y0,
                     unsigned w, unsigned h) {
    if (!image.crop) return {0, 0, int(w) - 1, int(h) - 1};
    const auto& c = *image.crop;
    const std::int64_t m = s == 0 ? 0 : (s - 1) / 4;
    const unsigned role = s == 0 ? 0 : (s - 1) % 4;
    const std::int64_t sh = std::int64_t(image.levels) - m - image.cropLevel;
    const std::int64_t scale = std::int64_t(1) << image.cropLevel;
    std::int64_t xs, xe, ys, ye;
    windowAxis(c[0], c[2], (image.width + scale - 1) / scale, sh, role == 1 || role == 3, xs, xe);
    windowAxis(c[1], c[3], (image.height + scale - 1) / scale, sh, role == 2 || role == 3, ys, ye);
    RasterRect r{int(std::max<std::int64_t>(xs - x0, 0)), int(std::max<std::int64_t>(ys - y0, 0)),
                 int(std::min<std::int64_t>(xe - x0, w - 1)),
                 int(std::min<std::int64_t>(ye - y0, h - 1))};
    if (r.x0 > r.x1 || r.y0 > r.y1) return {0, 0, -1, -1};
    return r;
}

PlaneGeometry geometryOf(const RasterImage& image) {
    return {image.width, image.height, image.levels, image.subblockSize};
}

} // namespace

void rasterColorForward(std::int32_t& a, std::int32_t& b, std::int32_t& c) {
    const std::int64_t u = std::int64_t(a) - b;
    const std::int64_t w = std::int64_t(c) - b;
    const std::int64_t t1 = b + roundFixed(24279 * w - 11469 * u);
    const std::int64_t t2 = u + roundFixed(-22640 * w);
    const std::int64_t b2 = w + roundFixed(19309 * t2);
    a = static_cast<std::int32_t>(t1 + t2);
    b = static_cast<std::int32_t>(b2);
    c = static_cast<std::int32_t>(roundFixed(19637 * b2) - t2);
}

void rasterColorInverse(std::int32_t& a, std::int32_t& b, std::int32_t& c) {
    const std::int64_t t1 = std::int64_t(a) + c - roundFixed(19637 * std::int64_t(b));
    const std::int64_t t2 = a - t1;
    const std::int64_t w = b - roundFixed(19309 * t2);
    const std::int64_t u = t2 - roundFixed(-22640 * w);
    const std::int64_t original = t1 - roundFixed(24279 * w - 11469 * u);
    a = static_cast<std::int32_t>(u + original);
    b = static_cast<std::int32_t>(original);
    c = static_cast<std::int32_t>(w + original);
}

RasterImageCoder::RasterImageCoder(RasterImage image)
    : image_(std::move(image)),
      items_(geometryOf(image_), unsigned(image_.planes.size()), 32, image_.format) {
    if (image_.planes.empty() || image_.droppedPlanes > 30)
        throw std::invalid_argument("an image needs bands, and a plane kept");
    code();
}

void RasterImageCoder::code() {
    const RasterImage& im = image_;
    std::vector<RasterSubbands> bands =
        rasterForwardWavelet(im.planes, im.width, im.height, im.levels, im.refinementBits);
    if (transformed(im)) colourTransform(bands, im.colorTransform, false);
    decoded_ = bands;

    const std::vector<SubbandSize> sizes = subbandSizes(geometryOf(im));
    const unsigned S = im.subblockSize;
    for (unsigned s = 0; s < sizes.size(); ++s) {
        const bool high = s != 0 && (s - 1) % 4 != 0;
        RasterSubblockOptions options;
        options.subband = s;
        options.rawPlanes = im.rawPlanes;
        options.lastPlane = high ? 31 - im.droppedPlanes : 31;
        const std::uint32_t keptBelow = options.lastPlane < 31 ? 31 - options.lastPlane : 0;
        const std::uint32_t half = keptBelow > 0 ? 1u << (keptBelow - 1) : 0;
        for (std::uint32_t row = 0; row < sizes[s].rows; ++row)
            for (std::uint32_t col = 0; col < sizes[s].columns; ++col) {
                const std::uint32_t x0 = col * S;
                const std::uint32_t y0 = row * S;
                const unsigned w = std::min(S, sizes[s].width - x0);
                const unsigned h = std::min(S, sizes[s].height - y0);
                const RasterRect rect = codedRect(im, s, x0, y0, w, h);
                for (unsigned b = 0; b < bands.size(); ++b) {
                    const RasterSubband& sub = bands[b][s];
                    const std::int32_t* at = sub.samples.data() + std::size_t(y0) * sub.width + x0;
                    const RasterSubblockCode coded =
                        encodeRasterSubblock(at, sub.width, w, h, rect, options);
                    for (unsigned p = 0; p < 32; ++p)
                        if (coded.planes[p].filled)
                            items_.set(s, row * sizes[s].columns + col, b, p,
                                       {coded.planes[p].bytes, coded.planes[p].raw,
                                        std::uint16_t(p),
                                        std::uint32_t(coded.planes[p].bytes.size())});
                    // What a decoder rebuilds: zero outside the coded part, the kept planes and
                    // half the dropped step (less one at even indices) inside.
                    std::int32_t* out =
                        decoded_[b][s].samples.data() + std::size_t(y0) * sub.width + x0;
                    for (unsigned y = 0; y < h; ++y)
                        for (unsigned x = 0; x < w; ++x) {
                            std::int32_t& v = out[std::size_t(y) * sub.width + x];
                            if (int(x) < rect.x0 || int(x) > rect.x1 || int(y) < rect.y0 ||
                                int(y) > rect.y1) {
                                v = 0;
                                continue;
                            }
                            const std::int64_t magnitude = v < 0 ? -std::int64_t(v) : v;
                            std::int64_t kept = (magnitude >> keptBelow) << keptBelow;
                            if (kept != 0) kept += (y * w + x) % 2 == 1 ? half : half - (half > 0);
                            v = static_cast<std::int32_t>(v < 0 ? -kept : kept);
                        }
                }
            }
    }
}

HeaderBody RasterImageCoder::headerBody() const {
    const RasterImage& im = image_;
    HeaderBody body;
    body.width = im.width;
    body.height = im.height;
    body.numLevels = im.levels;
    body.bands = static_cast<std::uint16_t>(im.planes.size());
    body.estimateFactor = 32;
    body.subblockSize = im.subblockSize;
    body.dataType = im.dataType;
    body.sampleMin = im.sampleMin;
    body.sampleMax = im.sampleMax;
    body.colorSpace = im.colorSpace;
    body.colorTransform = im.colorTransform;
    body.auxCodeD = im.auxCodeD;
    static constexpr std::uint64_t kValueFlags[5] = {0, 0x28, 0x18, 0, 0x38};
    body.flags = 0x2 | (im.format.hasWord ? 0x4 : 0) | kValueFlags[im.format.valueWidth];
    if (im.crop) {
        body.flags |= 0x8000;
        body.crop = *im.crop;
        body.cropLevel = im.cropLevel;
    }
    if (!im.bandScales.empty()) {
        body.flags |= 0x40000;
        body.bandScales = im.bandScales;
    }
    return body;
}

std::vector<RasterPacket> RasterImageCoder::packets(std::uint32_t imageNumber) const {
    RasterPacket planeset =
        planesetPacket(imageNumber, 0, {}, image_.format.kind, image_.format.layout);
    planeset.header.flag2 = image_.format.wide ? 1 : 0;
    const Bytes data = items_.planeData(packetHeader(planeset.header, 0).size());
    planeset.body = planesetBody(image_.format.kind, image_.format.layout, data.size(), data);
    return {headerPacket(imageNumber, headerBody()), planeset};
}

Bytes RasterImageCoder::file(const Version& version, const std::vector<RasterPacket>& more) const {
    std::vector<RasterPacket> all = packets(1);
    all.insert(all.end(), more.begin(), more.end());
    return rasterFile(version, all);
}

const RasterSubband& RasterImageCoder::expected(unsigned band, std::uint8_t skipped,
                                                bool allBands) const {
    const bool undo = allBands && transformed(image_);
    std::vector<RasterSubband>& images = expected_[{skipped, undo}];
    if (images.empty()) {
        std::vector<RasterSubbands> coefficients = decoded_;
        if (undo) colourTransform(coefficients, image_.colorTransform, true);
        for (const RasterSubbands& subbands : coefficients)
            images.push_back(rasterInverseWavelet(subbands, image_.levels, skipped));
    }
    return images.at(band);
}

} // namespace quarn_test
