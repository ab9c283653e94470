#pragma once
// The least of OLE automation the handler needs: IDispatch, and type libraries described by a
// module resource that can be loaded, registered machine-wide or per user, and unregistered.

#include "ComBase.h"

#include <cstddef>

using DISPID = LONG;
using BSTR = WCHAR*;

// Automation strings: allocated with their length; null is the empty string.
BSTR SysAllocString(LPCWSTR text);
void SysFreeString(BSTR text);

struct DISPPARAMS;
struct VARIANT;
struct EXCEPINFO;

enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };

// The content of a TYPELIB resource.
struct TypeLibInterfaceDesc {
    IID iid;
    LPCWSTR name;
    LPCWSTR docString;
    bool dual;
    IID baseIid; // IID of IDispatch for a dual interface
};
struct TypeLibCoclassDesc {
    CLSID clsid;
    LPCWSTR name;
    LPCWSTR docString;
    IID defaultInterface;
};
struct TypeLibDesc {
    GUID libid;
    WORD majorVersion;
    WORD minorVersion;
    LCID lcid;
    LPCWSTR name;
    LPCWSTR docString;
    const TypeLibInterfaceDesc* interfaces;
    std::size_t interfaceCount;
    const TypeLibCoclassDesc* coclasses;
    std::size_t coclassCount;
};

struct ITypeInfo : IUnknown {
    // index -1 documents the type itself.
    virtual HRESULT GetDocumentation(LONG index, BSTR* name, BSTR* docString) = 0;
    virtual HRESULT GetIDsOfNames(LPCWSTR* names, UINT count, DISPID* ids) = 0;
    virtual HRESULT Invoke(void* instance, DISPID id, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* argError) = 0;
    virtual HRESULT GetGuid(GUID* guid) = 0;
};

struct ITypeLib : IUnknown {
    virtual UINT GetTypeInfoCount() = 0;
    virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
    // index -1 documents the library itself.
    virtual HRESULT GetDocumentation(LONG index, BSTR* name, BSTR* docString) = 0;
    virtual HRESULT GetLibAttr(GUID* libid, WORD* major, WORD* minor, LCID* lcid) = 0;
};

struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPCWSTR* names, UINT count, LCID lcid,
                                  DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* argError) = 0;
};

extern const IID IID_IDispatch;
extern const IID IID_ITypeLib;
extern const IID IID_ITypeInfo;

// Loads TYPELIB 1 of the module whose file is at path.
HRESULT LoadTypeLib(LPCWSTR path, ITypeLib** library);
// Loads a registered type library by LIBID and version, machine-wide or per user.
HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** library);
// Writes the library's TypeLib entries and the Interface entries of its dual interfaces.
HRESULT RegisterTypeLib(ITypeLib* library, LPCWSTR path, LPCWSTR helpDir);
HRESULT RegisterTypeLibForUser(ITypeLib* library, LPCWSTR path, LPCWSTR helpDir);
HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
HRESULT UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
