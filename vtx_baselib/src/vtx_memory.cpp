#include "vtx_memory.h"

#include <cstdlib>
#include <string>

#include "vtx_exception.h"

namespace _Vtx_Internal_NS_ {

class BuiltinMemoryAllocator final : public Vantorix::MemoryAllocator {
public:
    void* allocate(size_t size) override { return std::malloc(size ? size : 1); }
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

namespace detail {

void throwArrayError(int32_t code, const char* text, std::string_view typeName, int handling, const char* operation,
                     const char* file, int line)
{
    std::string function = "Vantorix::SimpleArray<";
    function.append(typeName);
    function += ',';
    function += std::to_string(handling);
    function += ">::";
    function += operation;
    throw Exception(code, text, file, line, function.c_str());
}

} // namespace detail
} // namespace Vantorix
