#pragma once
// Mix-in: the stage holds its own progress and interrupt delegates (not owned).

namespace Korvel {

class KVIProgressDelegate;
class KVIInterruptDelegate;

class KVIOverrideDelegatesData {
protected:
    KVIProgressDelegate* progressDelegate_ = nullptr;
    KVIInterruptDelegate* interruptDelegate_ = nullptr;
};

template <class Base> class KVIOverrideDelegates : public Base, protected KVIOverrideDelegatesData {
public:
    using Base::Base;

    void setProgressDelegate(KVIProgressDelegate* delegate) override {
        progressDelegate_ = delegate;
    }
    KVIProgressDelegate* getProgressDelegate() const override { return progressDelegate_; }
    void setInterruptDelegate(KVIInterruptDelegate* delegate) override {
        interruptDelegate_ = delegate;
    }
    KVIInterruptDelegate* getInterruptDelegate() const override { return interruptDelegate_; }

protected:
    ~KVIOverrideDelegates() override = default;
};

} // namespace Korvel
