// Property-system identifiers and variant clean-up.

#include "PropSys.h"

const IID IID_IInitializeWithStream = {
    0xB824B49D, 0x22AC, 0x4161, {0xAC, 0x8A, 0x99, 0x16, 0xE8, 0xFA, 0x3F, 0x7F}};
const IID IID_IPropertyStore = {
    0x886D8EEB, 0x8CF2, 0x4446, {0x8D, 0x02, 0xCD, 0xBA, 0x1D, 0xBD, 0xCF, 0x99}};
const IID IID_IPropertyStoreCapabilities = {
    0xC8E2D566, 0x186E, 0x4D49, {0xBF, 0x41, 0x69, 0x09, 0xEA, 0xD5, 0x6A, 0xCC}};

HRESULT PropVariantClear(PROPVARIANT* variant) {
    if (!variant) return S_OK;
    switch (variant->vt) {
    case VT_EMPTY:
        break;
    case VT_LPWSTR:
        CoTaskMemFree(variant->pwszVal);
        break;
    default:
        break;
    }
    PropVariantInit(variant);
    return S_OK;
}
