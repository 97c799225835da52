# Installation and packages: `cmake --install` lays out the libraries with
# their headers, CMake packages and pkg-config files, the tool with its
# desktop entry, the helper programs, the skeleton, the udev rule and the
# docs; CPack turns the same layout into a Debian package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The installed programs on the driver find the libraries beside them,
# wherever the tree is installed; a system install (/usr) needs no search
# path at all.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  foreach(program ZEMBRAGloveConfigTool zembra-hands zembra-stream)
    if(TARGET ${program})
      set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    endif()
  endforeach()
endif()

set(ZEMBRA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake)

# The driver: libZEMBRAIMU.so.1 -> .so.1.0.0, headers under include/zembra/.
install(TARGETS ZEMBRAIMU EXPORT ZEMBRAIMUTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/driver/include/zembra/ZEMBRAIMU.h ${PROJECT_SOURCE_DIR}/driver/include/zembra/Pose.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zembra COMPONENT development)
install(EXPORT ZEMBRAIMUTargets NAMESPACE ZEMBRA:: DESTINATION ${ZEMBRA_CMAKE_DIR}/ZEMBRAIMU COMPONENT development)

# The plug-in: libZEMBRA_IMU.so with its C header beside the driver's.
install(TARGETS ZEMBRA_IMU EXPORT ZEMBRA_IMUTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/plugin/include/ZEMBRA_IMU.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zembra COMPONENT development)
install(EXPORT ZEMBRA_IMUTargets NAMESPACE ZEMBRA:: DESTINATION ${ZEMBRA_CMAKE_DIR}/ZEMBRA_IMU COMPONENT development)

foreach(package ZEMBRAIMU ZEMBRA_IMU)
  configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/package/Config.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/${package}Config.cmake INSTALL_DESTINATION ${ZEMBRA_CMAKE_DIR}/${package})
  write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/${package}ConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${package}Config.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/${package}ConfigVersion.cmake
    DESTINATION ${ZEMBRA_CMAKE_DIR}/${package} COMPONENT development)
endforeach()

# pkg-config: zembraimu.pc and zembra_imu.pc. Relocatable: the prefix is
# found from the file's own place, as many levels up as the library
# directory is deep (lib/pkgconfig or lib/<multiarch>/pkgconfig).
string(REGEX REPLACE "[^/]+" ".." PC_UP "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
function(zembra_pkg_config PC_NAME PC_LIBRARY PC_WHAT PC_INCLUDE)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/package/zembra.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${PC_NAME}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${PC_NAME}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)
endfunction()
zembra_pkg_config(zembraimu ZEMBRAIMU "the glove driver" "")
zembra_pkg_config(zembra_imu ZEMBRA_IMU "the game-engine plug-in" "/zembra")

# Programs.
install(TARGETS zembra-ports zembra-receiver-sim zembra-stream RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
if(TARGET ZEMBRAGloveConfigTool)
  install(TARGETS ZEMBRAGloveConfigTool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  set(ZEMBRA_DESKTOP_IN ${CMAKE_CURRENT_LIST_DIR}/package/zembra-glove-config-tool.desktop.in)
  install(CODE "
    set(ZEMBRA_TOOL_FOLDER \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/zembra\")
    configure_file(${ZEMBRA_DESKTOP_IN}
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/zembra-glove-config-tool.desktop\" @ONLY)
    message(STATUS \"Installing: \${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/zembra-glove-config-tool.desktop\")"
    COMPONENT runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/tool/resources/desktop/zembra-glove-config-tool.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps COMPONENT runtime)
endif()

# The hand viewer, and the tool's working folder under share/zembra: the
# skeleton of recordings in record/, and the viewer as the 3D demo at the
# relative path the tool starts it by. The desktop entry starts the tool
# there; it is written at install time, when the final prefix is known
# (a package is installed under a prefix of its own).
if(TARGET zembra-hands)
  install(TARGETS zembra-hands RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/package/zembra-hands.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT runtime)
  file(RELATIVE_PATH ZEMBRA_DEMO_TO_BIN ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/zembra/demo/ZEMBRAGloveDataStreaming
    ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/zembra-hands)
  install(CODE "
    set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/zembra/demo/ZEMBRAGloveDataStreaming\")
    file(MAKE_DIRECTORY \"\${folder}\")
    file(CREATE_LINK ${ZEMBRA_DEMO_TO_BIN} \"\${folder}/ZEMBRAGloveDataStreaming\" SYMBOLIC)
    message(STATUS \"Installing: \${folder}/ZEMBRAGloveDataStreaming\")" COMPONENT runtime)
endif()

# The Python module, where it was built: into the prefix's folder of
# Python 3 extension modules, finding the driver beside the other
# libraries. It is built for one Python version (its file name says which)
# and uses numpy at run time.
if(TARGET zembra_python)
  if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    file(RELATIVE_PATH ZEMBRA_PYTHON_TO_LIB ${CMAKE_INSTALL_PREFIX}/${ZEMBRA_PYTHON_INSTALL_DIR}
      ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
    set_target_properties(zembra_python PROPERTIES INSTALL_RPATH "$ORIGIN/${ZEMBRA_PYTHON_TO_LIB}")
  endif()
  install(TARGETS zembra_python LIBRARY DESTINATION ${ZEMBRA_PYTHON_INSTALL_DIR} COMPONENT runtime)
  list(APPEND ZEMBRA_DEBIAN_DEPENDS "python3 (>= ${ZEMBRA_PYTHON_VERSION})"
    "python3 (<< ${ZEMBRA_PYTHON_NEXT_VERSION})" python3-numpy)
endif()

# The SteamVR driver folder, as SteamVR loads it: `vrpathreg adddriver
# <prefix>/share/zembra/steamvr/zembra` registers it. The library finds the
# glove driver's through its run path outside a system install.
if(TARGET driver_zembra)
  set(ZEMBRA_STEAMVR_DESTINATION ${CMAKE_INSTALL_DATADIR}/zembra/steamvr/zembra)
  install(TARGETS driver_zembra LIBRARY DESTINATION ${ZEMBRA_STEAMVR_DESTINATION}/bin/linux64 COMPONENT runtime)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/steamvr/zembra/ DESTINATION ${ZEMBRA_STEAMVR_DESTINATION} COMPONENT runtime)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/package/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME zembra COMPONENT runtime)
  if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    file(RELATIVE_PATH ZEMBRA_STEAMVR_TO_LIB ${CMAKE_INSTALL_PREFIX}/${ZEMBRA_STEAMVR_DESTINATION}/bin/linux64
      ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
    set_target_properties(driver_zembra PROPERTIES INSTALL_RPATH "$ORIGIN/${ZEMBRA_STEAMVR_TO_LIB}")
  endif()
endif()

# Data: the skeleton of recordings, the udev rule, the docs.
install(FILES ${PROJECT_SOURCE_DIR}/tool/record/bones.txt ${PROJECT_SOURCE_DIR}/tool/record/README.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zembra/record COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/scripts/udev/99-zembra-receivers.rules
  DESTINATION lib/udev/rules.d COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/architecture.md
  ${PROJECT_SOURCE_DIR}/docs/config-tool.md ${PROJECT_SOURCE_DIR}/docs/linux-setup.md
  ${PROJECT_SOURCE_DIR}/docs/trackers.md ${PROJECT_SOURCE_DIR}/docs/performance.md
  ${PROJECT_SOURCE_DIR}/docs/hand-viewer.md ${PROJECT_SOURCE_DIR}/docs/streaming.md ${PROJECT_SOURCE_DIR}/docs/steamvr.md ${PROJECT_SOURCE_DIR}/docs/hand-viewer-open.png
  ${PROJECT_SOURCE_DIR}/docs/hand-viewer-fist.png ${PROJECT_SOURCE_DIR}/docs/hand-viewer-playback.png
  ${PROJECT_SOURCE_DIR}/docs/config-tool.png ${PROJECT_SOURCE_DIR}/docs/recorded-frame.png
  ${PROJECT_SOURCE_DIR}/docs/python.md ${PROJECT_SOURCE_DIR}/docs/python-bends.png
  ${PROJECT_SOURCE_DIR}/docs/stream-web-page.png
  ${CMAKE_CURRENT_LIST_DIR}/package/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)

# The Debian package's change log, compressed as Debian wants it (no name
# or time in the gzip header, so the package builds the same every time).
find_program(ZEMBRA_GZIP gzip)
if(ZEMBRA_GZIP)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    COMMAND ${ZEMBRA_GZIP} -9nc ${CMAKE_CURRENT_LIST_DIR}/package/changelog > ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/package/changelog)
  add_custom_target(zembra_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
endif()

# The reference documentation of the public headers (Doxygen), when Doxygen
# is there; built with everything, or alone with `--target api-docs`. Every
# public type, operation, error code and event must be documented: a gap is
# an error.
find_package(Doxygen QUIET)
if(DOXYGEN_FOUND)
  set(ZEMBRA_API_DOCS_DIR ${CMAKE_CURRENT_BINARY_DIR}/api-docs)
  configure_file(${PROJECT_SOURCE_DIR}/docs/api/Doxyfile.in ${CMAKE_CURRENT_BINARY_DIR}/Doxyfile @ONLY)
  add_custom_command(OUTPUT ${ZEMBRA_API_DOCS_DIR}/html/index.html
    COMMAND ${DOXYGEN_EXECUTABLE} ${CMAKE_CURRENT_BINARY_DIR}/Doxyfile
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/api/mainpage.md ${PROJECT_SOURCE_DIR}/driver/include/zembra/ZEMBRAIMU.h
      ${PROJECT_SOURCE_DIR}/driver/include/zembra/Pose.h ${PROJECT_SOURCE_DIR}/plugin/include/ZEMBRA_IMU.h
      ${CMAKE_CURRENT_BINARY_DIR}/Doxyfile
    COMMENT "Reference documentation of the public headers" VERBATIM)
  add_custom_target(api-docs ALL DEPENDS ${ZEMBRA_API_DOCS_DIR}/html/index.html)
  install(DIRECTORY ${ZEMBRA_API_DOCS_DIR}/html/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/api COMPONENT development
    OPTIONAL)
endif()

# The Debian package: everything in one package. The development files are two small headers per library, a CMake
# package and pkg-config files, not worth a second package to install.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zembra)
set(CPACK_PACKAGE_VENDOR "ZEMBRA")
set(CPACK_PACKAGE_CONTACT "ZEMBRA developers <developers@zembra.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "host software for the ZEMBRA data gloves")
set(CPACK_PACKAGE_DESCRIPTION "Driver library, game-engine plug-in, SteamVR driver, configuration tool
and Python module for a pair of wireless inertial data gloves: receiver
discovery, radio link supervision, hand pose computation, pairing, tracker
configuration, BVH recording and the hands with their fingers in SteamVR.")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside what the libraries link: packages the programs use at run time. The
# tool's toolbar tips are Chinese texts; without a font that has them they
# show as empty boxes.
list(APPEND ZEMBRA_DEBIAN_DEPENDS fonts-wqy-microhei)
# zembra-stream serves its page's three.js from where libjs-three installs it.
if(TARGET zembra-stream)
  list(APPEND ZEMBRA_DEBIAN_DEPENDS libjs-three)
endif()
list(JOIN ZEMBRA_DEBIAN_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_LIST_DIR}/package/postinst;${CMAKE_CURRENT_LIST_DIR}/package/triggers")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
include(CPack)
