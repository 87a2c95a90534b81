#include "vtx_memory.h"

#include <atomic>
#include <cstdlib>
#include <string>

#include "vtx_exception.h"
#include "vtx_platform.h"

namespace _Vtx_Internal_NS_ {

// The fault-injection state of the default allocator.
struct AllocationFaults {
    std::atomic<bool> armed{false};
    std::atomic<uint64_t> count{0};
    std::atomic<uint64_t> failAt{0};

    bool refuseNext() { return armed.load(std::memory_order_relaxed) && count.fetch_add(1) + 1 == failAt.load(); }
};

static AllocationFaults faults;

class BuiltinMemoryAllocator final : public Vantorix::MemoryAllocator {
public:
    void* allocate(size_t size) override { return faults.refuseNext() ? nullptr : std::malloc(size ? size : 1); }
    void free(void* p) override { std::free(p); }
};

} // namespace _Vtx_Internal_NS_

namespace Vantorix {

MemoryAllocator* MemoryAllocator::getDefault()
{
    // A function-local static is installed exactly once, even under concurrent first calls.
    static _Vtx_Internal_NS_::BuiltinMemoryAllocator allocator;
    return &allocator;
}

void* MemoryAllocator::allocatePages(size_t size)
{
    return _Vtx_Internal_NS_::faults.refuseNext() ? nullptr : Platform::allocatePages(size ? size : 1);
}

void MemoryAllocator::freePages(void* p, size_t size)
{
    if (p) Platform::freePages(p, size ? size : 1);
}

void MemoryAllocator::injectFault(uint64_t failAt)
{
    using namespace _Vtx_Internal_NS_;
    faults.armed = false;
    faults.count = 0;
    faults.failAt = failAt;
    faults.armed = true;
}

uint64_t MemoryAllocator::endFaultInjection()
{
    _Vtx_Internal_NS_::faults.armed = false;
    return _Vtx_Internal_NS_::faults.count;
}

namespace detail {

void throwArrayError(int32_t code, const char* text, std::string_view typeName, int handling, const char* operation,
                     const char* file, int line)
{
    std::string function = "Vantorix::SimpleArray<";
    // Our own types are written with their class key ("class Vantorix::AutoPtr<class
    // Vantorix::DjVu::Page>"), the way the rest of the messages name them.
    for (size_t i = 0; i < typeName.size();) {
        bool startsName = i == 0 || typeName[i - 1] == '<' || typeName[i - 1] == ',' || typeName[i - 1] == ' ';
        std::string_view rest = typeName.substr(i);
        if (startsName && (rest.rfind("Vantorix::", 0) == 0 || rest.rfind("_Vtx_Internal_NS_::", 0) == 0))
            function += "class ";
        function += typeName[i++];
    }
    function += ',';
    function += std::to_string(handling);
    function += ">::";
    function += operation;
    throw Exception(code, text, file, line, function.c_str());
}

} // namespace detail
} // namespace Vantorix
