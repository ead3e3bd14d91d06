# The installed package: static libraries, the public headers and a CMake
# package, so an application writes
#   find_package(Quillborne REQUIRED)
#   target_link_libraries(app PRIVATE Quillborne::quillborne)
# The package's configuration finds the libraries the static archives need
# (cmake/QuillborneConfig.cmake.in). The folder libraries are exported too
# (Quillborne::qb_sdk ...) since quillborne links them; only quillborne is
# meant for applications.
include(CMakePackageConfigHelpers)

set(QB_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillborne)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quillborne
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
install(EXPORT QuillborneTargets
        NAMESPACE Quillborne::
        DESTINATION ${QB_PACKAGE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuillborneConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/QuillborneConfig.cmake
                              INSTALL_DESTINATION ${QB_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuillborneConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION}
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuillborneConfig.cmake ${PROJECT_BINARY_DIR}/QuillborneConfigVersion.cmake
        DESTINATION ${QB_PACKAGE_DIR})
