// The output buffer of the printf engine: 200 bytes on the stack first, then the heap. When an
// appended piece does not fit (length + piece + terminator > capacity) the capacity becomes
// length + 2 * piece + 1. The finished text is handed out as a malloc block the caller frees.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vtx_exception.h"

namespace Vantorix::Format {

template <class C>
class OutBuffer {
public:
    static constexpr size_t kStackUnits = 200 / sizeof(C);

    OutBuffer() = default;
    OutBuffer(const OutBuffer&) = delete;
    OutBuffer& operator=(const OutBuffer&) = delete;
    ~OutBuffer()
    {
        if (data_ != stack_) std::free(data_);
    }

    size_t length() const { return length_; }
    size_t capacity() const { return capacity_; }
    bool onStack() const { return data_ == stack_; }

    // Makes room for a piece of n units and returns where it goes; commit(n) then takes it.
    C* room(size_t n)
    {
        if (n > kMaxUnits - length_) VTX_THROW(errOperationFailed, "The formatted text is too long!", "Vantorix::Format::OutBuffer::room");
        if (length_ + n + 1 > capacity_) grow(length_ + 2 * n + 1 < kMaxUnits ? length_ + 2 * n + 1 : kMaxUnits + 1);
        return data_ + length_;
    }
    void commit(size_t n) { length_ += n; }

    void append(const C* s, size_t n)
    {
        if (n == 0) return;
        std::memcpy(room(n), s, n * sizeof(C));
        length_ += n;
    }

    // Hands the zero-terminated text out as a block of its exact size (or at most 10 spare units).
    C* release(size_t* length)
    {
        C* out;
        if (data_ == stack_) {
            out = static_cast<C*>(std::malloc((length_ + 1) * sizeof(C)));
            if (!out) VTX_THROW(errOutOfMemory, "Out of memory!", "Vantorix::Format::OutBuffer::release");
            std::memcpy(out, stack_, length_ * sizeof(C));
        } else {
            out = data_;
            if (capacity_ > length_ + 10) {
                C* shrunk = static_cast<C*>(std::realloc(data_, (length_ + 1) * sizeof(C)));
                if (shrunk) out = shrunk;
            }
        }
        out[length_] = 0;
        if (length) *length = length_;
        data_ = stack_;
        capacity_ = kStackUnits;
        length_ = 0;
        return out;
    }

private:
    static constexpr size_t kMaxUnits = 0x7FFFFFF0u / sizeof(C);

    void grow(size_t capacity)
    {
        C* block;
        if (data_ == stack_) {
            block = static_cast<C*>(std::malloc(capacity * sizeof(C)));
            if (block) std::memcpy(block, stack_, length_ * sizeof(C));
        } else {
            block = static_cast<C*>(std::realloc(data_, capacity * sizeof(C)));
        }
        if (!block) VTX_THROW(errOutOfMemory, "Out of memory!", "Vantorix::Format::OutBuffer::grow");
        data_ = block;
        capacity_ = capacity;
    }

    C stack_[kStackUnits];
    C* data_ = stack_;
    size_t length_ = 0;
    size_t capacity_ = kStackUnits;
};

} // namespace Vantorix::Format
