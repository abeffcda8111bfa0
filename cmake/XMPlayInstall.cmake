# Installs the player library as others use it: the static and (where built) shared library,
# include/brackenfold/xmplay.h, a CMake package (find_package(BrackenfoldXM) giving
# BrackenfoldXM::xmplay) and a pkg-config file (brackenfold-xmplay.pc). Everything is relative to
# the prefix given at install time (cmake --install build --prefix P), so a copy may be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(xmplay_targets xmplay)
if(BRACKENFOLD_XMPLAY_SHARED)
  list(APPEND xmplay_targets xmplay_shared)
  set_target_properties(xmplay PROPERTIES EXPORT_NAME xmplay_static)
  set_target_properties(xmplay_shared PROPERTIES EXPORT_NAME xmplay)
endif()
install(TARGETS ${xmplay_targets} EXPORT BrackenfoldXMTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT xmplay
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT xmplay NAMELINK_COMPONENT xmplay
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT xmplay)
install(FILES include/brackenfold/xmplay.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/brackenfold COMPONENT xmplay)

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/BrackenfoldXM)
install(EXPORT BrackenfoldXMTargets NAMESPACE BrackenfoldXM:: DESTINATION ${package_dir} COMPONENT xmplay)
configure_package_config_file(cmake/BrackenfoldXMConfig.cmake.in ${CMAKE_BINARY_DIR}/BrackenfoldXMConfig.cmake
                              INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/BrackenfoldXMConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/BrackenfoldXMConfig.cmake ${CMAKE_BINARY_DIR}/BrackenfoldXMConfigVersion.cmake
        DESTINATION ${package_dir} COMPONENT xmplay)

# The .pc file finds the prefix from where it lies: as many folders up as the library folder is deep.
file(RELATIVE_PATH BRACKENFOLD_PC_UP /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" BRACKENFOLD_PC_UP "${BRACKENFOLD_PC_UP}")
configure_file(cmake/brackenfold-xmplay.pc.in ${CMAKE_BINARY_DIR}/brackenfold-xmplay.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/brackenfold-xmplay.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT xmplay)
