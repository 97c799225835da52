# Boost and JsonCpp, wherever the platform keeps them. Defines
# zembra_jsoncpp, the one name the modules link JsonCpp by.

# Boost: a header-only folder (the MinGW cross build borrows the host's),
# else the installed package (Debian, or vcpkg on Windows).
if(ZEMBRA_BOOST_HEADERS)
  # The include path gets a folder holding only boost/, so that none of the
  # host's other headers can shadow the cross compiler's.
  set(staging ${CMAKE_BINARY_DIR}/boost-headers)
  file(MAKE_DIRECTORY ${staging})
  if(NOT EXISTS ${staging}/boost)
    file(CREATE_LINK ${ZEMBRA_BOOST_HEADERS} ${staging}/boost SYMBOLIC)
  endif()
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${staging})
  add_library(Boost::system INTERFACE IMPORTED)
  set_target_properties(Boost::system PROPERTIES INTERFACE_LINK_LIBRARIES Boost::headers)
else()
  find_package(Boost 1.74 REQUIRED COMPONENTS system)
endif()
if(MINGW)
  # C99 printf (%zu, %lld) instead of the Microsoft runtime's.
  add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
endif()
if(WIN32)
  # Asio needs Windows 7's API at least; say so rather than let it guess.
  set_property(TARGET Boost::system APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS _WIN32_WINNT=0x0601)
  # windows.h must not turn std::min and std::max into macros.
  add_compile_definitions(NOMINMAX)
  # Nor pull in the old winsock.h, which clashes with Asio's winsock2.h.
  add_compile_definitions(WIN32_LEAN_AND_MEAN)
  set_property(TARGET Boost::system APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 mswsock)
endif()

add_library(zembra_jsoncpp INTERFACE)
if(WIN32)
  find_package(jsoncpp CONFIG QUIET)
  if(TARGET JsonCpp::JsonCpp)
    target_link_libraries(zembra_jsoncpp INTERFACE JsonCpp::JsonCpp)
  else()
    add_subdirectory(third_party/jsoncpp)
    target_link_libraries(zembra_jsoncpp INTERFACE zembra_jsoncpp_bundled)
  endif()
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
  target_link_libraries(zembra_jsoncpp INTERFACE PkgConfig::JSONCPP)
endif()
