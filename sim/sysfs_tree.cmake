# A stand-in sysfs tree for tests and the receiver simulator.
add_library(zembra_sysfs_tree STATIC sysfs_tree.cpp)
target_include_directories(zembra_sysfs_tree PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
zembra_warnings(zembra_sysfs_tree)

add_executable(zembra-sysfs-register sysfs_register_main.cpp)
target_link_libraries(zembra-sysfs-register PRIVATE zembra_sysfs_tree)
zembra_warnings(zembra-sysfs-register)
