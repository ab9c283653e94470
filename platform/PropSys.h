#pragma once
// The property system's types and interfaces: property keys, variants, the store and its
// initialisation from a stream, and property-schema registration.

#include "ComStream.h"

struct PROPERTYKEY {
    GUID fmtid;
    DWORD pid;
};
using REFPROPERTYKEY = const PROPERTYKEY&;

using VARTYPE = std::uint16_t;
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_LPWSTR = 31;

struct PROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LPWSTR pwszVal;
        LONGLONG hVal;
        ULONG ulVal;
    };
};
using REFPROPVARIANT = const PROPVARIANT&;

// Frees what the variant owns and sets it to VT_EMPTY.
HRESULT PropVariantClear(PROPVARIANT* variant);
inline void PropVariantInit(PROPVARIANT* variant) {
    std::memset(variant, 0, sizeof(*variant));
}

struct IInitializeWithStream : IUnknown {
    virtual HRESULT Initialize(IStream* stream, DWORD mode) = 0;
};

struct IPropertyStore : IUnknown {
    virtual HRESULT GetCount(DWORD* count) = 0;
    virtual HRESULT GetAt(DWORD index, PROPERTYKEY* key) = 0;
    virtual HRESULT GetValue(REFPROPERTYKEY key, PROPVARIANT* value) = 0;
    virtual HRESULT SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) = 0;
    virtual HRESULT Commit() = 0;
};

struct IPropertyStoreCapabilities : IUnknown {
    virtual HRESULT IsPropertyWritable(REFPROPERTYKEY key) = 0;
};

extern const IID IID_IInitializeWithStream;
extern const IID IID_IPropertyStore;
extern const IID IID_IPropertyStoreCapabilities;

// Records (or forgets) the property description file at path. Registering needs the file to
// exist; the record is kept in the registry so that every process sees it.
HRESULT PSRegisterPropertySchema(LPCWSTR path);
HRESULT PSUnregisterPropertySchema(LPCWSTR path);
