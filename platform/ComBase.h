#pragma once
// The COM core the handler needs: IUnknown, class factories, the task allocator, apartment
// initialisation and class creation for the few system classes the stand-in provides.

#include "WinTypes.h"

#include <cstddef>

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;
};

struct IGlobalInterfaceTable : IUnknown {
    virtual HRESULT RegisterInterfaceInGlobal(IUnknown* object, REFIID riid, DWORD* cookie) = 0;
    virtual HRESULT RevokeInterfaceFromGlobal(DWORD cookie) = 0;
    virtual HRESULT GetInterfaceFromGlobal(DWORD cookie, REFIID riid, void** object) = 0;
};

extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_IGlobalInterfaceTable;
extern const CLSID CLSID_StdGlobalInterfaceTable;

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* block);

// Apartment initialisation is counted per thread; the first call returns S_OK, later ones S_FALSE.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// Creates the system classes the stand-in knows (the standard global interface table).
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);
