#pragma once
// The kernel's exception: a message of at most 1023 characters, the source file and function
// that threw it, the line and a numeric code. Every failure of the kernel is reported this way.

#include <cstdarg>
#include <cstdint>
#include <exception>

namespace Korvel {

// The numeric codes that kernel errors carry.
namespace ErrorCode {
inline constexpr std::uint32_t Cancelled = 40006;     // an operation cancelled by its delegate
inline constexpr std::uint32_t PointData = 40007;     // point and channel data, point info
inline constexpr std::uint32_t Metadata = 40008;      // metadata body
inline constexpr std::uint32_t RTree = 40014;         // spatial index body
inline constexpr std::uint32_t ChunkHeader = 40201;   // chunk header read
inline constexpr std::uint32_t WaveletHeader = 40203; // wavelet header and its channel infos
inline constexpr std::uint32_t Index = 40205;         // index chunk
inline constexpr std::uint32_t Subband = 40207;       // subband chunk
inline constexpr std::uint32_t FileHeader = 40209;    // file header and group framing
inline constexpr std::uint32_t Unsupported = 40211;   // wrong magic, kind or version
inline constexpr std::uint32_t MetadataChunk = 40212; // metadata chunk framing
inline constexpr std::uint32_t WKT = 40214;           // WKT chunk
inline constexpr std::uint32_t ClassNames = 40216;    // class-names chunk
inline constexpr std::uint32_t Generic = 0xFFFFFFFFu; // errors without a code of their own
} // namespace ErrorCode

class Error : public std::exception {
public:
    static constexpr std::size_t MessageCapacity = 1024;

    // path: the source file; only the text after its last '/' (or else '\\') is kept.
    // function and path must outlive the error (string literals).
    Error(const char* path, const char* function, std::uint32_t line, std::uint32_t code);

    // An error with a printf-style message.
    [[gnu::format(printf, 5, 6)]] static Error make(const char* path, const char* function,
                                                    std::uint32_t line, std::uint32_t code,
                                                    const char* format, ...);

    // Appends printf-style text to the message; what does not fit is cut.
    [[gnu::format(printf, 2, 3)]] void appendMessage(const char* format, ...);
    void appendMessageV(const char* format, std::va_list args);

    const char* what() const noexcept override { return message_; }
    const char* getMessage() const { return message_; }
    const char* getFile() const { return file_; }
    const char* getFunction() const { return function_; }
    std::uint32_t getLine() const { return line_; }
    std::uint32_t getCode() const { return code_; }

private:
    char message_[MessageCapacity];
    const char* file_;
    const char* function_;
    std::uint32_t line_;
    std::uint32_t code_;
};

} // namespace Korvel

// The kernel's one way to raise its error: throws Error for the failure at the line where it
// stands, with the file name the error reports (e.g. "PointData"), the qualified function, the
// code and a printf-style message.
#define KORVEL_FAIL(file, function, code, ...)                                                     \
    throw ::Korvel::Error::make((file), (function), __LINE__, (code), __VA_ARGS__)
