// The object and memory model of the library: intrusive reference counting, the owning
// pointer every factory returns, the pluggable allocator and the growable array.
//
// Ownership rule: a new Referable has count 0 and is handed out at once inside an AutoPtr,
// which raises it to 1. The object dies on the release that brings the count back to 0.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "vtx_errorcodes.h"

namespace Vantorix {

// Thread-safe intrusive reference count (interlocked increments and decrements).
class Referable {
public:
    Referable() noexcept : refCount_(0) {}
    Referable(const Referable&) noexcept : refCount_(0) {}
    Referable& operator=(const Referable&) noexcept { return *this; }
    virtual ~Referable() = default;

    void addRef() const noexcept { refCount_.fetch_add(1, std::memory_order_relaxed); }
    void release() const noexcept
    {
        if (refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }
    int32_t getRefCount() const noexcept { return refCount_.load(std::memory_order_relaxed); }

private:
    mutable std::atomic<int32_t> refCount_;
};

// The same protocol with plain counts, for objects made in great numbers that never cross
// threads (bilevel shapes, annotation elements).
class ReferableNoTS {
public:
    ReferableNoTS() noexcept : refCount_(0) {}
    ReferableNoTS(const ReferableNoTS&) noexcept : refCount_(0) {}
    ReferableNoTS& operator=(const ReferableNoTS&) noexcept { return *this; }
    virtual ~ReferableNoTS() = default;

    void addRef() const noexcept { ++refCount_; }
    void release() const noexcept
    {
        if (--refCount_ == 0)
            delete this;
    }
    int32_t getRefCount() const noexcept { return refCount_; }

private:
    mutable int32_t refCount_;
};

// Owning pointer over a Referable or ReferableNoTS. Null is allowed; dereferencing null is a
// programming error.
template <class T>
class AutoPtr {
public:
    AutoPtr() noexcept : p_(nullptr) {}
    AutoPtr(std::nullptr_t) noexcept : p_(nullptr) {}
    AutoPtr(T* p) noexcept : p_(p) { if (p_) p_->addRef(); }
    AutoPtr(const AutoPtr& o) noexcept : p_(o.p_) { if (p_) p_->addRef(); }
    AutoPtr(AutoPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    AutoPtr(const AutoPtr<U>& o) noexcept : p_(o.get()) { if (p_) p_->addRef(); }
    ~AutoPtr() { if (p_) p_->release(); }

    AutoPtr& operator=(const AutoPtr& o) noexcept { reset(o.p_); return *this; }
    AutoPtr& operator=(AutoPtr&& o) noexcept
    {
        if (this != &o) {
            T* old = p_;
            p_ = o.p_;
            o.p_ = nullptr;
            if (old) old->release();
        }
        return *this;
    }
    AutoPtr& operator=(T* p) noexcept { reset(p); return *this; }
    AutoPtr& operator=(std::nullptr_t) noexcept { reset(nullptr); return *this; }

    void reset(T* p = nullptr) noexcept
    {
        if (p == p_) return;
        T* old = p_;
        p_ = p;
        if (p_) p_->addRef();
        if (old) old->release();
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator!() const noexcept { return p_ == nullptr; }

    template <class U> bool operator==(const AutoPtr<U>& o) const noexcept { return p_ == o.get(); }
    bool operator==(const T* p) const noexcept { return p_ == p; }
    bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }

private:
    T* p_;
};

// Makes a Referable and hands it out owned: AutoPtr<Iface> x = makeAuto<Impl>(args...).
template <class T, class... Args>
AutoPtr<T> makeAuto(Args&&... args)
{
    return AutoPtr<T>(new T(std::forward<Args>(args)...));
}

// Lock interface; Stream, Storage, Chunk and Data are all Lockable.
class Lockable {
public:
    virtual void lock() = 0;
    virtual void unlock() = 0;
    virtual ~Lockable() = default;
};

// Scoped hold of a Lockable.
class AutoLock {
public:
    explicit AutoLock(Lockable& l) : l_(l) { l_.lock(); }
    ~AutoLock() { l_.unlock(); }
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;

private:
    Lockable& l_;
};

// The allocation interface behind arrays and zlib. allocate returns null when it cannot.
class MemoryAllocator {
public:
    virtual void* allocate(size_t size) = 0;
    virtual void free(void* p) = 0;
    virtual ~MemoryAllocator() = default;

    // The process-wide heap-backed allocator, installed once on first request.
    static MemoryAllocator* getDefault();

    // Zero-filled, page-aligned memory from the system for large buffers written sparsely or
    // in order: no clearing pass, and pages never written cost nothing. Where the system allows,
    // sizes from 2 MiB up sit on 2 MiB and may take large pages. Null when it cannot; the fault hook
    // counts it like any allocation of the default allocator. Give back with freePages, same size.
    static void* allocatePages(size_t size);
    static void freePages(void* p, size_t size);

    // Test hook for out-of-memory paths: from this call on the default allocator counts its
    // allocations and refuses the failAt-th one (counting from 1; 0 refuses none, which only
    // counts). Off, it costs one relaxed atomic load per allocation. Safe from any thread.
    static void injectFault(uint64_t failAt);
    // Turns the hook off and gives the number of allocations asked for since injectFault.
    static uint64_t endFaultInjection();
};

namespace detail {
// Cold path of SimpleArray: builds the qualified function name and throws Exception.
[[noreturn]] void throwArrayError(int32_t code, const char* text, std::string_view typeName, int handling,
                                  const char* operation, const char* file, int line);

template <class T>
constexpr std::string_view typeName()
{
    std::string_view f = __PRETTY_FUNCTION__;
    size_t b = f.find("T = ") + 4;
    size_t e = f.find_first_of(";]", b);
    return f.substr(b, e - b);
}
} // namespace detail

// Growable array. N = 2: plain data copied bytewise; N = 1: elements constructed, copied and
// destroyed one by one. Capacity grows to n + max(n, growth unit) and never shrinks.
template <class T, int N = (std::is_trivially_copyable_v<T> ? 2 : 1)>
class SimpleArray {
    static_assert(N == 1 || N == 2, "handling selector is 1 or 2");
    static_assert(N == 1 || std::is_trivially_copyable_v<T>, "N = 2 needs plain data");

public:
    static constexpr uint32_t kDefaultGrowth = 128;

    // capacity -1: automatic (count + max(count, growth unit)); allocator null: the default.
    explicit SimpleArray(uint32_t count = 0, int64_t capacity = 0, MemoryAllocator* allocator = nullptr,
                         uint32_t growthUnit = 0)
        : alloc_(allocator ? allocator : MemoryAllocator::getDefault()),
          growth_(growthUnit ? growthUnit : kDefaultGrowth)
    {
        uint64_t cap = capacity < 0 ? uint64_t(count) + (count > growth_ ? count : growth_) : uint64_t(capacity);
        if (cap < count) cap = count;
        if (cap) {
            data_ = _malloc(checkedCount(cap));
            capacity_ = uint32_t(cap);
        }
        constructRange(0, count);
        count_ = count;
    }
    SimpleArray(const SimpleArray& o) : alloc_(o.alloc_), growth_(o.growth_), wipe_(o.wipe_) { assignFrom(o); }
    SimpleArray(SimpleArray&& o) noexcept
        : data_(o.data_), count_(o.count_), capacity_(o.capacity_), alloc_(o.alloc_), growth_(o.growth_), wipe_(o.wipe_)
    {
        o.data_ = nullptr;
        o.count_ = o.capacity_ = 0;
    }
    SimpleArray& operator=(const SimpleArray& o)
    {
        if (this != &o) {
            resize(0);
            assignFrom(o);
        }
        return *this;
    }
    SimpleArray& operator=(SimpleArray&& o) noexcept
    {
        if (this != &o) {
            freeAll();
            data_ = o.data_; count_ = o.count_; capacity_ = o.capacity_;
            alloc_ = o.alloc_; growth_ = o.growth_; wipe_ = o.wipe_;
            o.data_ = nullptr;
            o.count_ = o.capacity_ = 0;
        }
        return *this;
    }
    ~SimpleArray() { freeAll(); }

    T& operator[](size_t i) noexcept { return data_[i]; }
    const T& operator[](size_t i) const noexcept { return data_[i]; }
    uint32_t getSize() const noexcept { return count_; }
    uint32_t size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }
    uint32_t getCapacity() const noexcept { return capacity_; }
    uint32_t getGrowthUnit() const noexcept { return growth_; }
    void setGrowthUnit(uint32_t unit) noexcept { growth_ = unit ? unit : kDefaultGrowth; }
    void setWipe(bool on) noexcept { wipe_ = on; }
    MemoryAllocator* getAllocator() const noexcept { return alloc_; }
    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    T* begin() noexcept { return data_; }
    T* end() noexcept { return data_ + count_; }
    const T* begin() const noexcept { return data_; }
    const T* end() const noexcept { return data_ + count_; }
    T& back() noexcept { return data_[count_ - 1]; }

    // Sets the count to n, growing by the growth rule when n exceeds the capacity. New plain
    // elements are not cleared; new class elements are default-constructed.
    void resize(uint32_t n)
    {
        if (n > capacity_) {
            uint64_t cap = uint64_t(n) + (n > growth_ ? n : growth_);
            reallocate(checkedCount(cap));
        } else if (n < count_) {
            destroyRange(n, count_);
            if (wipe_) std::memset(static_cast<void*>(data_ + n), 0, sizeof(T) * (count_ - n));
        }
        if (n > count_) constructRange(count_, n);
        count_ = n;
    }
    void clear() { resize(0); }

    // Makes the capacity at least n without changing the count.
    void reserve(uint32_t n)
    {
        if (n > capacity_) reallocate(n);
    }

    // Frees spare capacity (reallocates to exactly the count).
    void compact()
    {
        if (capacity_ > count_) {
            if (count_ == 0) { freeAll(); return; }
            reallocate(count_);
        }
    }

    void append(const T& v)
    {
        if (count_ == capacity_) {
            T copy(v); // v may live inside this array
            grow1();
            new (data_ + count_) T(std::move(copy));
        } else {
            new (data_ + count_) T(v);
        }
        ++count_;
    }
    void append(T&& v)
    {
        if (count_ == capacity_) {
            T moved(std::move(v));
            grow1();
            new (data_ + count_) T(std::move(moved));
        } else {
            new (data_ + count_) T(std::move(v));
        }
        ++count_;
    }
    void push_back(const T& v) { append(v); }

    void insert(uint32_t index, const T& v)
    {
        if (index > count_)
            detail::throwArrayError(errInvalidParam, "errInvalidParam", detail::typeName<T>(), N, "insert", __FILE__, __LINE__);
        T copy(v);
        if (count_ == capacity_) grow1();
        if (index == count_) {
            new (data_ + count_) T(std::move(copy));
        } else {
            new (data_ + count_) T(std::move(data_[count_ - 1]));
            for (uint32_t i = count_ - 1; i > index; --i) data_[i] = std::move(data_[i - 1]);
            data_[index] = std::move(copy);
        }
        ++count_;
    }

    void remove(uint32_t index, uint32_t n = 1)
    {
        if (index > count_ || n > count_ - index)
            detail::throwArrayError(errInvalidParam, "errInvalidParam", detail::typeName<T>(), N, "remove", __FILE__, __LINE__);
        for (uint32_t i = index; i + n < count_; ++i) data_[i] = std::move(data_[i + n]);
        resize(count_ - n);
    }

    // Allocates a block for count elements through the allocator.
    T* _malloc(uint32_t count)
    {
        uint64_t bytes = uint64_t(count) * sizeof(T);
        if (bytes >= (uint64_t(1) << 31))
            detail::throwArrayError(errOperationFailed,
                "SimpleArray: The size of the memory block exceeds 2GB, we could not deal with the request!",
                detail::typeName<T>(), N, "_malloc", __FILE__, __LINE__);
        void* p = alloc_->allocate(size_t(bytes));
        if (!p)
            detail::throwArrayError(errOutOfMemory, "SimpleArray: Out of memory!", detail::typeName<T>(), N, "_malloc", __FILE__,
                                    __LINE__);
        return static_cast<T*>(p);
    }

private:
    uint32_t checkedCount(uint64_t n)
    {
        if (n * sizeof(T) >= (uint64_t(1) << 31))
            detail::throwArrayError(errOperationFailed,
                "SimpleArray: The size of the memory block exceeds 2GB, we could not deal with the request!",
                detail::typeName<T>(), N, "_malloc", __FILE__, __LINE__);
        return uint32_t(n);
    }
    void grow1() { resize_capacity_for(count_ + 1); }
    void resize_capacity_for(uint32_t n)
    {
        uint64_t cap = uint64_t(n) + (n > growth_ ? n : growth_);
        reallocate(checkedCount(cap));
    }
    void reallocate(uint32_t cap)
    {
        T* block = _malloc(cap);
        if constexpr (N == 2) {
            if (count_) std::memcpy(static_cast<void*>(block), data_, sizeof(T) * count_);
        } else {
            for (uint32_t i = 0; i < count_; ++i) {
                new (block + i) T(std::move(data_[i]));
                data_[i].~T();
            }
        }
        releaseBlock();
        data_ = block;
        capacity_ = cap;
    }
    void constructRange(uint32_t from, uint32_t to)
    {
        if constexpr (N == 1)
            for (uint32_t i = from; i < to; ++i) new (data_ + i) T();
    }
    void destroyRange(uint32_t from, uint32_t to)
    {
        if constexpr (N == 1)
            for (uint32_t i = from; i < to; ++i) data_[i].~T();
    }
    void releaseBlock()
    {
        if (!data_) return;
        if (wipe_) std::memset(static_cast<void*>(data_), 0, sizeof(T) * capacity_);
        alloc_->free(data_);
        data_ = nullptr;
    }
    void freeAll()
    {
        destroyRange(0, count_);
        releaseBlock();
        count_ = capacity_ = 0;
    }
    void assignFrom(const SimpleArray& o)
    {
        if (o.count_ > capacity_) reallocate(checkedCount(uint64_t(o.count_) + (o.count_ > growth_ ? o.count_ : growth_)));
        if constexpr (N == 2) {
            if (o.count_) std::memcpy(static_cast<void*>(data_), o.data_, sizeof(T) * o.count_);
        } else {
            for (uint32_t i = 0; i < o.count_; ++i) new (data_ + i) T(o.data_[i]);
        }
        count_ = o.count_;
    }

    T* data_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    MemoryAllocator* alloc_;
    uint32_t growth_;
    bool wipe_ = false;
};

using ByteArray = SimpleArray<uint8_t, 2>;

} // namespace Vantorix
