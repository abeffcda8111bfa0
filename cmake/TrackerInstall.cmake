# Installs the player library as others use it: the static and (where built) shared library,
# include/brackenfold/tracker.h, a CMake package (find_package(BrackenfoldTracker) giving
# Brackenfold::tracker) and a pkg-config file (brackenfold-tracker.pc). Everything is relative to
# the prefix given at install time (cmake --install build --prefix P), so a copy may be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(tracker_targets tracker)
if(BRACKENFOLD_TRACKER_SHARED)
  list(APPEND tracker_targets tracker_shared)
  set_target_properties(tracker PROPERTIES EXPORT_NAME tracker_static)
  set_target_properties(tracker_shared PROPERTIES EXPORT_NAME tracker)
endif()
install(TARGETS ${tracker_targets} EXPORT BrackenfoldTrackerTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT tracker
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT tracker NAMELINK_COMPONENT tracker
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tracker)
install(FILES include/brackenfold/tracker.h include/brackenfold/tracker.hpp DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/brackenfold COMPONENT tracker)

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/BrackenfoldTracker)
install(EXPORT BrackenfoldTrackerTargets NAMESPACE Brackenfold:: DESTINATION ${package_dir} COMPONENT tracker)
configure_package_config_file(cmake/BrackenfoldTrackerConfig.cmake.in ${CMAKE_BINARY_DIR}/BrackenfoldTrackerConfig.cmake
                              INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/BrackenfoldTrackerConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/BrackenfoldTrackerConfig.cmake ${CMAKE_BINARY_DIR}/BrackenfoldTrackerConfigVersion.cmake
        DESTINATION ${package_dir} COMPONENT tracker)
install(FILES LICENSE DESTINATION ${package_dir} COMPONENT tracker)

# The .pc file finds the prefix from where it lies: as many folders up as the library folder is deep.
file(RELATIVE_PATH BRACKENFOLD_PC_UP /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" BRACKENFOLD_PC_UP "${BRACKENFOLD_PC_UP}")
configure_file(cmake/brackenfold-tracker.pc.in ${CMAKE_BINARY_DIR}/brackenfold-tracker.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/brackenfold-tracker.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT tracker)
