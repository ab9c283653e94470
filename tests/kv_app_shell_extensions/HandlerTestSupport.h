#pragma once
// Runs the handler on bytes as the property system would: a class object from the module, an
// object from it, Initialize with a stream, and the two texts.

#include "CQuarnPropertyStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" HRESULT DllGetClassObject(REFCLSID, REFIID, void**);

namespace quarn_test {

struct HandlerResult {
    HRESULT initialize = E_UNEXPECTED;
    std::u16string generation;
    std::u16string compression;
};

inline std::u16string propertyText(IPropertyStore* store, const PROPERTYKEY& key) {
    PROPVARIANT value;
    PropVariantInit(&value);
    EXPECT_EQ(S_OK, store->GetValue(key, &value));
    std::u16string text = value.vt == VT_LPWSTR && value.pwszVal ? value.pwszVal : u"<none>";
    PropVariantClear(&value);
    return text;
}

// Initialises a new handler object on the stream and reads both texts.
inline HandlerResult runHandler(IStream* stream) {
    HandlerResult result;
    IClassFactory* factory = nullptr;
    if (FAILED(DllGetClassObject(CLSID_QuarnPropertyStore, IID_IClassFactory,
                                 reinterpret_cast<void**>(&factory))))
        return result;
    IInitializeWithStream* init = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IInitializeWithStream,
                                         reinterpret_cast<void**>(&init));
    factory->Release();
    if (FAILED(hr)) return result;
    result.initialize = init->Initialize(stream, STGM_READ);
    IPropertyStore* store = nullptr;
    if (SUCCEEDED(init->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store)))) {
        result.generation = propertyText(store, GenerationKey);
        result.compression = propertyText(store, CompressionKey);
        store->Release();
    }
    init->Release();
    return result;
}

inline HandlerResult runHandler(const std::vector<std::uint8_t>& bytes) {
    IStream* stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    HandlerResult result = runHandler(stream);
    stream->Release();
    return result;
}

// A read-only stream of a given length whose bytes are zero except for stored pieces, so that
// files with large data sections need no memory; it counts what is read and its references,
// and can fail, throw or wait (in beforeRead) in its reads.
class SparseStream final : public IStream {
public:
    struct Piece {
        std::uint64_t offset;
        std::vector<std::uint8_t> bytes;
    };
    SparseStream(std::vector<Piece> pieces, std::uint64_t length)
        : pieces_(std::move(pieces)), length_(length) {}

    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        if (beforeRead) beforeRead();
        if (throwOnRead) throw std::runtime_error("device gone");
        if (FAILED(readResult)) return readResult;
        const std::uint64_t n =
            position_ < length_ ? std::min<std::uint64_t>(count, length_ - position_) : 0;
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::fill(out, out + n, 0);
        for (const Piece& piece : pieces_) {
            const std::uint64_t begin = std::max(piece.offset, position_);
            const std::uint64_t end = std::min(piece.offset + piece.bytes.size(), position_ + n);
            for (std::uint64_t at = begin; at < end; ++at)
                out[at - position_] = piece.bytes[at - piece.offset];
        }
        position_ += n;
        bytesRead += n;
        if (read) *read = static_cast<ULONG>(n);
        return S_OK;
    }
    HRESULT Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        const std::int64_t base = origin == STREAM_SEEK_SET   ? 0
                                  : origin == STREAM_SEEK_CUR ? static_cast<std::int64_t>(position_)
                                                              : static_cast<std::int64_t>(length_);
        if (base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<std::uint64_t>(base + move.QuadPart);
        if (position) position->QuadPart = position_;
        return S_OK;
    }
    HRESULT SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT Revert() override { return E_NOTIMPL; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT Clone(IStream**) override { return E_NOTIMPL; }

    std::uint64_t bytesRead = 0;
    bool throwOnRead = false;
    std::function<void()> beforeRead;
    HRESULT readResult = S_OK; // a failure here fails every read
    ULONG refs = 1;            // the creator's; the stream is never freed through it

private:
    std::vector<Piece> pieces_;
    std::uint64_t length_;
    std::uint64_t position_ = 0;
};

} // namespace quarn_test
