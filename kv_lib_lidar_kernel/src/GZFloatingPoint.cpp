#include "GZFloatingPoint.h"

#include "BigEndian.h"
#include "Error.h"

namespace Korvel {

namespace {

// The code of zlib failures.
constexpr std::uint32_t kInflateError = 40230;

template <class T> struct Names;
template <> struct Names<float> {
    static constexpr const char* init = "Korvel::SubblockReader::GZFloatingPoint<float>::init";
    static constexpr const char* header =
        "Korvel::SubblockReader::GZFloatingPoint<float>::readSubblockHeader";
    static constexpr const char* decode = "Korvel::SubblockReader::GZFloatingPoint<float>::decode";
};
template <> struct Names<double> {
    static constexpr const char* init = "Korvel::SubblockReader::GZFloatingPoint<double>::init";
    static constexpr const char* header =
        "Korvel::SubblockReader::GZFloatingPoint<double>::readSubblockHeader";
    static constexpr const char* decode = "Korvel::SubblockReader::GZFloatingPoint<double>::decode";
};

// zlib's message for a failure; zlib leaves it unset for some results.
const char* zlibMessage(const z_stream& stream, int result) {
    return stream.msg != nullptr ? stream.msg : zError(result);
}

} // namespace

template <class T> SubblockReader::GZFloatingPoint<T>::~GZFloatingPoint() {
    if (streamOpen_) inflateEnd(&stream_);
}

template <class T> void SubblockReader::GZFloatingPoint<T>::init() {
    topPlane_ = 0;
    rawTopPlane_ = -1;
    const int result = inflateInit2(&stream_, -15);
    if (result != Z_OK)
        KORVEL_FAIL("SubblockReader", Names<T>::init, kInflateError, "inflateInit(): %s",
                    zlibMessage(stream_, result));
    streamOpen_ = true;
    // The largest deflate output for a subblock's raw bytes, under any settings.
    allocateDataBuffer(deflateBound(nullptr, static_cast<uLong>(subblockSize_ * sizeof(T))));
}

template <class T>
std::uint64_t SubblockReader::GZFloatingPoint<T>::readSubblockHeader(BufferedIOReader& reader) {
    return readFloatingPointHeader(reader, Names<T>::header);
}

template <class T> void SubblockReader::GZFloatingPoint<T>::decode(void* buffer, std::uint64_t n) {
    int result = inflateReset(&stream_);
    if (result != Z_OK)
        KORVEL_FAIL("SubblockReader", Names<T>::decode, kInflateError, "inflateReset(): %s",
                    zlibMessage(stream_, result));
    stream_.next_in = dataBuffer_.get();
    stream_.avail_in = static_cast<uInt>(dataLength_);
    stream_.next_out = static_cast<Bytef*>(buffer);
    stream_.avail_out = static_cast<uInt>(n * sizeof(T));
    // The deflate data must end exactly where the subblock's samples do.
    result = inflate(&stream_, Z_NO_FLUSH);
    if (result != Z_STREAM_END || stream_.avail_out != 0) {
        const char* reason = stream_.msg != nullptr   ? stream_.msg
                             : result == Z_STREAM_END ? "data ends before the subblock"
                             : stream_.avail_out == 0 ? "data continues past the subblock"
                                                      : zError(result);
        KORVEL_FAIL("SubblockReader", Names<T>::decode, kInflateError, "inflate(Z_NO_FLUSH): %s",
                    reason);
    }
    T* const out = static_cast<T*>(buffer);
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = BigEndian::decode<T>(reinterpret_cast<const unsigned char*>(out + i));
}

template class SubblockReader::GZFloatingPoint<float>;
template class SubblockReader::GZFloatingPoint<double>;

} // namespace Korvel
