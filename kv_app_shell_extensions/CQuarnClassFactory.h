#pragma once
// The class object of CQuarnPropertyStore: creates objects, aggregated or not, and locks the
// module on request.

#include "ComObject.h"

class CQuarnClassFactory final : public ComObject<IClassFactory, &IID_IClassFactory> {
public:
    CQuarnClassFactory() = default;
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT LockServer(BOOL lock) override;

private:
    ~CQuarnClassFactory() override = default;
};
