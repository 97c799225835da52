# zembra_module_sources(<target> <out-var>): the absolute paths of a module's
# own sources, for builds that compile them again with other settings (the
# portable-lanes tests, the fuzzers), so that every source list is written
# once, at its module.
function(zembra_module_sources target out)
  get_target_property(sources ${target} SOURCES)
  get_target_property(dir ${target} SOURCE_DIR)
  set(result)
  foreach(source ${sources})
    if(IS_ABSOLUTE "${source}")
      list(APPEND result "${source}")
    else()
      list(APPEND result "${dir}/${source}")
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
