# vtx_target_options(<target>...): the compile options of every program and library built here.
# Warnings are errors; __FILE__ is made relative to the source tree so that exception messages
# name files the way a reader of this repository sees them. Set per target, so that code built
# alongside (GoogleTest from source) and programs built against an installed copy keep their own.
function(vtx_target_options)
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=")
  endforeach()
endfunction()
