#!/bin/sh
# Lets Doxygen read the public headers' plain comments as documentation: the opening block
# (up to #pragma once) describes the file, a comment line before a declaration documents it,
# and a comment after a member or enumerator documents that one.
exec awk '
  head && /^#pragma once/ { head = 0 }
  head && /^\/\// { if (!opened) { print "/// @file"; opened = 1 } sub(/^\/\/ ?/, "/// "); print; next }
  /^ *\/\/ / { sub(/\/\/ /, "/// "); print; next }
  /[;,{] *\/\/ / { sub(/ *\/\/ /, " ///< "); print; next }
  { print }
' head=1 "$1"
