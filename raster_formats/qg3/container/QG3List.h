#pragma once
// An owner of a doubly linked list, appended at the end and walked in order with its iterators.
// Out of memory throws KVUtilException of KV_OUT_OF_MEMORY. A list of pointers does not own what
// they point to.

#include "support/KVStatusGuard.h"

#include <cstddef>
#include <list>
#include <memory>

namespace Korvel {

template <typename T> class QG3List {
public:
    using Inner = std::list<T>;

    QG3List() : inner_(kvThrowOutOfMemory([] { return std::make_unique<Inner>(); })) {}
    QG3List(const QG3List&) = delete;
    QG3List& operator=(const QG3List&) = delete;
    virtual ~QG3List() = default;

    // std::list reports a count past its maximum as a length error, which passes through.
    void append(const T& value) {
        kvThrowOutOfMemory([&] { inner_->push_back(value); });
    }
    void clear() { inner_->clear(); }
    std::size_t size() const { return inner_->size(); }
    bool empty() const { return inner_->empty(); }

    Inner& items() { return *inner_; }
    const Inner& items() const { return *inner_; }

private:
    std::unique_ptr<Inner> inner_;
};

template <typename T> class QG3ListIterator {
public:
    explicit QG3ListIterator(QG3List<T>& list) : list_(&list), at_(list.items().begin()) {}

    bool atEnd() const { return at_ == list_->items().end(); }
    void next() { ++at_; }
    T& get() const { return *at_; }

private:
    template <typename> friend class QG3ListConstIterator;

    QG3List<T>* list_;
    typename std::list<T>::iterator at_;
};

// The end is taken from the list afresh at every test, so elements appended during a walk are
// visited too.
template <typename T> class QG3ListConstIterator {
public:
    explicit QG3ListConstIterator(const QG3List<T>& list)
        : list_(&list), at_(list.items().begin()) {}
    // Takes over the other iterator's position.
    explicit QG3ListConstIterator(const QG3ListIterator<T>& other)
        : list_(other.list_), at_(other.at_) {}

    bool atEnd() const { return at_ == list_->items().end(); }
    void next() { ++at_; }
    const T& get() const { return *at_; }

private:
    const QG3List<T>* list_;
    typename std::list<T>::const_iterator at_;
};

} // namespace Korvel
