// What a storage over a chunk's payload knows beyond its size: how many of its bytes the file
// held (the rest of a chunk cut short by the end of its file reads as zeros).
#pragma once

#include <cstdint>

namespace _Vtx_Internal_NS_ {

class PayloadExtent {
public:
    virtual uint64_t getPresentSize() = 0;

protected:
    ~PayloadExtent() = default;
};

} // namespace _Vtx_Internal_NS_
