#pragma once
// Mix-in: the stage holds its own selective flag (true unless set): whether it can deliver any
// scene rather than only the whole image.

namespace Korvel {

class KVIOverrideIsSelectiveData {
protected:
    bool selective_ = true;
};

template <class Base>
class KVIOverrideIsSelective : public Base, protected KVIOverrideIsSelectiveData {
public:
    using Base::Base;

    bool isSelective() const override { return selective_; }
    void setSelective(bool selective) { selective_ = selective; }

protected:
    ~KVIOverrideIsSelective() override = default;
};

} // namespace Korvel
