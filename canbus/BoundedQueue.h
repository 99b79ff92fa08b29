#pragma once
// A first-in first-out ring of fixed capacity: storage is taken once, at construction, so that
// pushing and popping never allocate. Not synchronised; its owner locks.

#include <cstddef>
#include <vector>

namespace canbus {

template <typename T>
class BoundedQueue {
public:
    explicit BoundedQueue(std::size_t capacity) : slots_(capacity == 0 ? 1 : capacity) {}

    // False (and nothing stored) when full.
    bool Push(const T& item)
    {
        if (count_ == slots_.size()) {
            return false;
        }
        std::size_t tail = head_ + count_;
        if (tail >= slots_.size()) {
            tail -= slots_.size();
        }
        slots_[tail] = item;
        ++count_;
        return true;
    }

    bool Pop(T& item)
    {
        if (count_ == 0) {
            return false;
        }
        item = slots_[head_];
        if (++head_ == slots_.size()) {
            head_ = 0;
        }
        --count_;
        return true;
    }

    const T& Front() const { return slots_[head_]; }
    bool Empty() const { return count_ == 0; }
    std::size_t Size() const { return count_; }
    std::size_t Capacity() const { return slots_.size(); }
    void Clear() { head_ = count_ = 0; }

private:
    std::vector<T> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

} // namespace canbus
