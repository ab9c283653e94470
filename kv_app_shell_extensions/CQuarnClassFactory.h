#pragma once
// The class object of CQuarnPropertyStore: creates objects, aggregated or not, and locks the
// module on request.

#include "ComBase.h"

#include <atomic>

class CQuarnClassFactory final : public IClassFactory {
public:
    CQuarnClassFactory() = default;
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT LockServer(BOOL lock) override;

private:
    ~CQuarnClassFactory() = default;
    std::atomic<ULONG> refs_{1};
};
