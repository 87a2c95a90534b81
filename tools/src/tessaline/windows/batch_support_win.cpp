#include "../batch_support.h"

namespace Tessaline {

// The Windows heap keeps freed blocks for reuse by itself, and its file cache reads ahead on
// the first sequential reads: neither hint has anything to add.
void keepFreedMemory() {}
void readAhead(const std::string&) {}

} // namespace Tessaline
