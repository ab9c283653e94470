#pragma once
// The IUnknown of a plain COM object: answers IUnknown and the listed interfaces with itself,
// counts references atomically and deletes itself when the last one goes. The count starts at
// 1, the creator's reference.

#include "ComBase.h"

#include <atomic>

template <typename Interface, const IID*... interfaces> class ComObject : public Interface {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || ((riid == *interfaces) || ...)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

private:
    std::atomic<ULONG> refs_{1};
};
