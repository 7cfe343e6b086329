# Our own code only: third-party code comes in without these. Also read by
# the type-library tools' project when it is configured on its own.
add_library(varnoke_warnings INTERFACE)
target_compile_options(varnoke_warnings INTERFACE -Wall -Wextra -Werror
  # GCC 12 reports impossible overlaps inside libstdc++'s string insert when
  # optimizing (a false positive fixed in later releases).
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
