#pragma once
// The module object: lock count, class object of the one class, registration of the class, its
// AppID and its type library.

#include "AtlRegistrar.h"
#include "ComBase.h"
#include "WinSync.h"

#include <atomic>

class CQuarnShellExtensionVistaModule {
public:
    CQuarnShellExtensionVistaModule();
    virtual ~CQuarnShellExtensionVistaModule();
    CQuarnShellExtensionVistaModule(const CQuarnShellExtensionVistaModule&) = delete;
    CQuarnShellExtensionVistaModule& operator=(const CQuarnShellExtensionVistaModule&) = delete;

    virtual LONG Lock();
    virtual LONG Unlock();
    virtual LONG GetLockCount();
    // The process's global interface table, created on first use; one reference for the caller.
    virtual HRESULT GetGITPtr(IGlobalInterfaceTable** table);
    virtual HRESULT AddCommonRGSReplacements(CRegObject* registrar);

    // Whether the constructor could set up the module's critical section.
    bool initialized() const { return initialized_; }
    void setInstance(HINSTANCE instance) { instance_ = instance; }
    HINSTANCE instance() const { return instance_; }
    const GUID& libid() const { return *libid_; }

    // The class object of a class of the object map (cached for the module's lifetime).
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
    // Registration with the type library, machine-wide or per user by the registrar's flag.
    HRESULT RegisterServer();
    HRESULT UnregisterServer();

private:
    HRESULT runScript(int resourceId, bool doRegister);

    std::atomic<LONG> lockCount_{0};
    CRITICAL_SECTION lock_{};
    bool initialized_ = false;
    HINSTANCE instance_ = nullptr;
    const GUID* libid_;
    IGlobalInterfaceTable* git_ = nullptr;
    IClassFactory* classFactory_ = nullptr;
};

// The one module object of the process (or of the test program that links the handler).
CQuarnShellExtensionVistaModule& quarnModule();
