#pragma once
// The decoding library's byte stream over the shell's IStream. The stream is borrowed: no
// reference is added or released. IStream results are not examined; the adapter reports what
// the stream delivered.

#include "ComStream.h"
#include "streams/KVIOStreamInf.h"

class KVIO_IStreamStream final : public Korvel::KVIOStreamInf {
public:
    explicit KVIO_IStreamStream(IStream* stream) : stream_(stream) {}

    bool isEOF() override { return isEOFFlag_; }
    bool isOpen() override { return isOpenFlag_; }
    Korvel::KVStatus open() override;
    Korvel::KVStatus close() override;
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override;
    std::uint32_t write(const std::uint8_t*, std::uint32_t) override { return 0; }
    Korvel::KVStatus seek(std::int64_t offset, std::uint32_t direction) override;
    std::int64_t tell() override { return position_; }
    KVIOStreamInf* duplicate() override { return nullptr; }
    Korvel::KVStatus getLastError() override { return Korvel::KV_FAILURE; }
    const char* getID() override { return "IStream StreamWrapper"; }

private:
    IStream* stream_;
    std::int64_t position_ = 0;
    bool isOpenFlag_ = false;
    bool isEOFFlag_ = false;
};
