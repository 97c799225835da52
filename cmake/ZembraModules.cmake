# zembra_exported_library(<target>): the settings both deliverable shared
# libraries share. VERSION and SOVERSION 1; on Windows the DLL carries the
# target's own name (ZEMBRAIMU.dll, not libZEMBRAIMU.dll: the engine and the
# tool look for it so), and its exports are the functions marked with the
# library's _API macro; elsewhere <target>.map beside the CMakeLists names
# the exports and every symbol must resolve at link time.
function(zembra_exported_library target)
  set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 1)
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "")
  else()
    set(map ${CMAKE_CURRENT_SOURCE_DIR}/${target}.map)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${map})
    target_link_options(${target} PRIVATE -Wl,--version-script=${map} -Wl,--no-undefined)
  endif()
  zembra_warnings(${target})
endfunction()

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
