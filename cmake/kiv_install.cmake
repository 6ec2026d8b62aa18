# What `cmake --install build [--prefix DIR]` puts where.
#
# The framework installs as one self-contained root, DIR (by default
# /opt/kiv, the usual home of an add-on package that keeps its libraries,
# configuration and data together; a prefix given with
# -DCMAKE_INSTALL_PREFIX or --prefix stands):
#
#   DIR/bin             the nine libraries (NAME.so, SONAME NAME.so), ozm_view,
#                       and what the viewer reads there: config/config.xml and
#                       the demo data (demo/ozm, demo/gwx) as the build's bin
#                       folder has them
#   DIR/include/kiv/... every library's public headers (its include/ tree)
#   DIR/lib/cmake/kiv   the CMake package: find_package(kiv [COMPONENTS ...])
#                       gives kiv::core, kiv::image, kiv::zip, kiv::http,
#                       kiv::gis, kiv::gis_ozm_driver, kiv::gwx_map_driver,
#                       kiv::gui and kiv::gui_addin, one file of targets per
#                       component
#
# Libraries and program share one folder with RPATH $ORIGIN, as in the build:
# a library a program links and the same library the core's loader loads by
# name from the programs' folder (the root, KIV_ROOT_PATH) are one file, so
# one instance. That folder is nobody's PATH entry and no folder of the
# system's dynamic loader: the libraries' plain names clash with nothing
# there. A program built on the package finds them through the RPATH its
# build gives it.

include(CMakePackageConfigHelpers)

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/kiv CACHE PATH "Where the framework and the viewer install (one root)" FORCE)
endif()

set(kiv_package_dir lib/cmake/kiv)
set(KIV_INSTALLED_LIBRARIES kiv_core kiv_image kiv_zip kiv_http kiv_gis
    gis_ozm_driver gwx_map_driver kiv_gui kiv_gui_addin)
foreach(lib ${KIV_INSTALLED_LIBRARIES})
  # kiv_gui is kiv::gui, the component "gui"; the drivers keep their names.
  string(REGEX REPLACE "^kiv_" "" component ${lib})
  set_target_properties(${lib} PROPERTIES EXPORT_NAME ${component})
  # Each component's target in a file of its own: the package reads only
  # those of the components a program asks for (kivConfig.cmake).
  install(TARGETS ${lib} EXPORT kiv_${component}_targets
          LIBRARY DESTINATION bin
          INCLUDES DESTINATION include)
  install(EXPORT kiv_${component}_targets NAMESPACE kiv:: FILE kiv_${component}Targets.cmake
          DESTINATION ${kiv_package_dir})
endforeach()
install(TARGETS ozm_view RUNTIME DESTINATION bin)

foreach(folder core image zip http gis drivers/gwx gui gui_addin)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${folder}/include/ DESTINATION include)
endforeach()

# The viewer's configuration and demo data, from the build's bin folder,
# where the build writes them.
install(FILES ${KIV_OUTPUT_DIR}/config/config.xml DESTINATION bin/config)
install(DIRECTORY ${KIV_OUTPUT_DIR}/demo DESTINATION bin)

write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kivConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kivConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/kivConfigVersion.cmake
        DESTINATION ${kiv_package_dir})
