#include "model/KVIGeoCoord.h"

#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "streams/KVIOStreamInf.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVStatusGuard.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

namespace Korvel {

namespace {

// World files are text of six numbers; anything that does not fit in this is not one.
constexpr std::int64_t kMaxWorldFileBytes = 0x7FFFFFFF;
constexpr std::uint32_t kReadChunk = 64 * 1024;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// One floating-point number after optional white space, in the C locale's syntax whatever the
// process's locale: sign, decimal or hexadecimal digits, exponent, "inf" and "nan". A value out
// of the double's range is not accepted.
bool scanDouble(const char*& cursor, const char* end, double& value) {
    const char* p = cursor;
    while (p != end && isSpace(*p))
        ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
        if (p != end && (*p == '+' || *p == '-')) return false;
    }
    std::from_chars_result result{};
    double parsed = 0.0;
    if (end - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        (isHexDigit(p[2]) || p[2] == '.'))
        result = std::from_chars(p + 2, end, parsed, std::chars_format::hex);
    else
        result = std::from_chars(p, end, parsed, std::chars_format::general);
    if (result.ec != std::errc()) return false;
    value = negative ? -parsed : parsed;
    cursor = result.ptr;
    return true;
}

KVStatus streamFailure(KVIOStreamInf& stream) {
    const KVStatus status = stream.getLastError();
    return status != KV_OK ? status : KV_FAILURE;
}

std::optional<std::string> copyWkt(const char* text) {
    if (text == nullptr) return std::nullopt;
    return kvThrowOutOfMemory([&] { return std::string(text); });
}

} // namespace

KVIGeoCoord::KVIGeoCoord(double x, double y, double xRes, double yRes, double xRot, double yRot,
                         const char* wkt)
    : x_(x), y_(y), xRes_(xRes), yRes_(yRes), xRot_(xRot), yRot_(yRot), wkt_(copyWkt(wkt)) {}

KVIGeoCoord::KVIGeoCoord(const KVIGeoCoord& other)
    : x_(other.x_), y_(other.y_), xRes_(other.xRes_), yRes_(other.yRes_), xRot_(other.xRot_),
      yRot_(other.yRot_), wkt_(copyWkt(other.getWKT())) {}

KVIGeoCoord& KVIGeoCoord::operator=(const KVIGeoCoord& other) {
    if (this != &other) {
        setWKT(other.getWKT());
        set(other.x_, other.y_, other.xRes_, other.yRes_, other.xRot_, other.yRot_);
    }
    return *this;
}

void KVIGeoCoord::set(double x, double y, double xRes, double yRes, double xRot, double yRot) {
    x_ = x;
    y_ = y;
    xRes_ = xRes;
    yRes_ = yRes;
    xRot_ = xRot;
    yRot_ = yRot;
}

void KVIGeoCoord::setWKT(const char* text) {
    std::optional<std::string> copy = copyWkt(text);
    wkt_.swap(copy);
}

KVStatus KVIGeoCoord::pixelToGeo(double px, double py, double magnification, double& gx,
                                 double& gy) const {
    if (!(magnification > 0.0) || std::isinf(magnification)) return KV_BAD_ARGUMENT;
    gx = (px * xRes_ + py * xRot_) / magnification + x_;
    gy = (px * yRot_ + py * yRes_) / magnification + y_;
    return KV_OK;
}

KVStatus KVIGeoCoord::readWorldFile(KVIOStreamInf* stream) {
    if (stream == nullptr) return KV_BAD_ARGUMENT;
    // Only the bytes from the current position on belong to the world file.
    const std::int64_t size = getStreamSize(stream);
    const std::int64_t position = stream->tell();
    if (size < 0 || position < 0) return streamFailure(*stream);
    const std::int64_t remaining = size > position ? size - position : 0;
    if (remaining > kMaxWorldFileBytes) return KV_WORLD_FILE_UNUSABLE;

    // Grow the text as bytes arrive rather than trusting the measured size up front.
    std::vector<char> text;
    KV_RETURN_IF_FAILED(kvGuard([&] {
        std::int64_t left = remaining;
        while (left > 0) {
            const std::uint32_t ask =
                static_cast<std::uint32_t>(left < kReadChunk ? left : kReadChunk);
            const std::size_t at = text.size();
            text.resize(at + ask);
            const std::uint32_t got =
                stream->read(reinterpret_cast<std::uint8_t*>(text.data() + at), ask);
            if (got != ask) return streamFailure(*stream);
            left -= ask;
        }
        return KV_OK;
    }));

    // The text ends at its first zero byte, if any.
    const char* cursor = text.data();
    const char* end = cursor + text.size();
    for (const char* p = cursor; p != end; ++p) {
        if (*p == '\0') {
            end = p;
            break;
        }
    }
    // A world file lists A, D, B, E, C, F of gx = A px + B py + C, gy = D px + E py + F.
    double numbers[6];
    for (double& number : numbers)
        if (!scanDouble(cursor, end, number)) return KV_WORLD_FILE_UNUSABLE;
    set(numbers[4], numbers[5], numbers[0], numbers[3], numbers[2], numbers[1]);
    return KV_OK;
}

KVStatus KVIGeoCoord::readFromMetadata(const KVIMetadataDatabase& metadata, bool& found) {
    found = false;
    KVIGeoCoord geo(*this);
    const KVStatus status = KVIMetadataAccessor(metadata).getGeoCoord(geo);
    if (status == KV_METADATA_NOT_FOUND) return KV_OK;
    if (status != KV_OK) return status;
    *this = geo;
    found = true;
    return KV_OK;
}

} // namespace Korvel
