include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS VORN_LumUtility EXPORT VORN_LumUtilityTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/VORN_LumUtility.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(lum_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/VORN_LumUtility)
install(EXPORT VORN_LumUtilityTargets
  NAMESPACE VORN_LumUtility::
  DESTINATION ${lum_cmake_dir})
configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/VORN_LumUtilityConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VORN_LumUtilityConfig.cmake
  INSTALL_DESTINATION ${lum_cmake_dir})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/VORN_LumUtilityConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/VORN_LumUtilityConfig.cmake
  ${PROJECT_BINARY_DIR}/VORN_LumUtilityConfigVersion.cmake
  DESTINATION ${lum_cmake_dir})

configure_file(${PROJECT_SOURCE_DIR}/cmake/VORN_LumUtility.pc.in
  ${PROJECT_BINARY_DIR}/VORN_LumUtility.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/VORN_LumUtility.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
