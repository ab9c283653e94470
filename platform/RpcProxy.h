#pragma once
// The proxy/stub support a module with merged proxy/stub code needs: its class object, its
// unload check, and the registry entries of its interfaces and of its proxy/stub class.

#include "ComBase.h"

#include <cstddef>

// The interfaces a module's proxy/stub serves.
struct ProxyFileInfo {
    const IID* const* interfaces;
    const LPCWSTR* names;
    const ULONG* methodCounts; // IUnknown's and IDispatch's methods included
    std::size_t count;
};

// The proxy/stub factory for psClsid (CLASS_E_CLASSNOTAVAILABLE and a null object for any other
// class). It answers IUnknown, and counts as live for NdrDllCanUnloadNow until released.
HRESULT NdrDllGetClassObject(REFCLSID clsid, REFIID riid, void** object, const ProxyFileInfo* info,
                             const CLSID* psClsid);
// S_FALSE while an object of this proxy/stub lives, else S_OK.
HRESULT NdrDllCanUnloadNow(const ProxyFileInfo* info);
// Writes Interface\{IID} (name, ProxyStubClsid32, NumMethods) for each interface and
// CLSID\{psClsid} with its InprocServer32 (the module's path, ThreadingModel "Both"), under the
// classes of the machine or, with per-user registration on, of the user.
HRESULT NdrDllRegisterProxy(HMODULE module, const ProxyFileInfo* info, const CLSID* psClsid);
// Deletes those keys with their subtrees.
HRESULT NdrDllUnregisterProxy(HMODULE module, const ProxyFileInfo* info, const CLSID* psClsid);
