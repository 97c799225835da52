# The engine plug-in's pose variant: double-precision pose computation over
# the shared packet codec. Included from the plug-in's CMakeLists.txt.
add_library(zembra_plugin_pose STATIC ${CMAKE_CURRENT_LIST_DIR}/pose_variant.cpp)
# The hand model's shared joint-order table comes from the public header
# folder; the plug-in links nothing of the driver library itself.
target_include_directories(zembra_plugin_pose PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/driver/include)
target_link_libraries(zembra_plugin_pose PUBLIC zembra_protocol)
zembra_warnings(zembra_plugin_pose)
# The square roots need no errno: with this they compile to the instruction
# alone. No result changes (square root is exact-rounded either way).
target_compile_options(zembra_plugin_pose PRIVATE -fno-math-errno)
