// What batch mode asks of the platform, each a hint that may do nothing. Private to the
// thumbnail command.
#pragma once

#include <string>

namespace Tessaline {

// Lets the memory a finished thumbnail frees stay with the process for the next one, instead of
// going back to the system and coming back as fresh zeroed pages (a page fault each).
void keepFreedMemory();

// Starts reading the file at path into the system's cache, so that opening it later does not
// wait for the disk. Returns at once; a file that cannot be opened is ignored.
void readAhead(const std::string& path);

} // namespace Tessaline
