# Warnings are errors in our own code; third-party headers come in as
# system includes and are not held to it.
function(zembra_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
