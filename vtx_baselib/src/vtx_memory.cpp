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
