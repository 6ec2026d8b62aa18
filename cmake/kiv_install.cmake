# What `cmake --install build --prefix DIR` puts where.
#
#   DIR/bin             the nine libraries (NAME.so, SONAME NAME.so), ozm_view,
#                       and what the viewer reads there: config/config.xml and
#                       the demo data (demo/ozm, demo/gwx) as the build's bin
#                       folder has them
#   DIR/include/kiv/... every library's public headers (its include/ tree)
#   DIR/lib/cmake/kiv   the CMake package: find_package(kiv) gives kiv::core,
#                       kiv::image, kiv::zip, kiv::http, kiv::gis,
#                       kiv::gis_ozm_driver, kiv::gwx_map_driver, kiv::gui and
#                       kiv::gui_addin
#
# Libraries and program share one folder with RPATH $ORIGIN, as in the build:
# a library a program links and the same library the core's loader loads by
# name from the programs' folder are one file, so one instance. A program
# built on the package finds them through the RPATH its build gives it.

include(CMakePackageConfigHelpers)

set(KIV_INSTALLED_LIBRARIES kiv_core kiv_image kiv_zip kiv_http kiv_gis
    gis_ozm_driver gwx_map_driver kiv_gui kiv_gui_addin)
foreach(lib ${KIV_INSTALLED_LIBRARIES})
  # kiv_gui is kiv::gui; the drivers keep their names.
  string(REGEX REPLACE "^kiv_" "" export_name ${lib})
  set_target_properties(${lib} PROPERTIES EXPORT_NAME ${export_name})
endforeach()

install(TARGETS ${KIV_INSTALLED_LIBRARIES} EXPORT kiv_targets
        LIBRARY DESTINATION bin
        INCLUDES DESTINATION include)
install(TARGETS ozm_view RUNTIME DESTINATION bin)

foreach(folder core image zip http gis drivers/gwx gui gui_addin)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${folder}/include/ DESTINATION include)
endforeach()

# The viewer's configuration and demo data, from the build's bin folder,
# where the build writes them.
install(FILES ${KIV_OUTPUT_DIR}/config/config.xml DESTINATION bin/config)
install(DIRECTORY ${KIV_OUTPUT_DIR}/demo DESTINATION bin)

set(kiv_package_dir lib/cmake/kiv)
install(EXPORT kiv_targets NAMESPACE kiv:: FILE kivTargets.cmake DESTINATION ${kiv_package_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kivConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/kivConfig.cmake INSTALL_DESTINATION ${kiv_package_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kivConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kivConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/kivConfigVersion.cmake
        DESTINATION ${kiv_package_dir})
