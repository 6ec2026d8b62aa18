# kivConfig.cmake -- the installed kiv framework for find_package(kiv).
#
#     find_package(kiv 3 REQUIRED COMPONENTS http)
#     target_link_libraries(server PRIVATE kiv::http kiv::core)
#
# One component per library, each the imported target of its name (the
# shared object in the prefix's bin folder, its headers in its include
# folder), and what it finds on this machine for its public headers:
#
#   component        target               finds
#   core             kiv::core            Tcl, the threads library
#   image            kiv::image           FreeType, AGG's headers (pkg-config libagg)
#   zip              kiv::zip
#   http             kiv::http
#   gis              kiv::gis
#   gis_ozm_driver   kiv::gis_ozm_driver
#   gwx_map_driver   kiv::gwx_map_driver
#   gui              kiv::gui             wxWidgets 3.2 (aui html core base xml)
#   gui_addin        kiv::gui_addin
#
# A component brings the components its library links (http: zip and
# core; gui_addin: gui, gis, gwx_map_driver, image and core) and what they
# find, nothing else: a program on kiv::http configures on a machine
# without wxWidgets, FreeType or AGG. No COMPONENTS asks for all nine. A
# required component the package does not know, or whose needs are not
# found here, leaves the package not found, with kiv_NOT_FOUND_MESSAGE
# naming the component and the cause; an OPTIONAL_COMPONENTS one is only
# left out (kiv_<component>_FOUND false, no target).
#
# The search runs inside a function: every variable of the caller stays
# as it was (a program that found wxWidgets with its gl library keeps its
# wxWidgets_LIBRARIES). What the finds give reaches a program through
# targets only: Threads::Threads, Freetype::Freetype, and kiv::Tcl,
# kiv::AGG and kiv::wxWidgets, interface targets made here from the
# variables of those find modules. The caller gets kiv_FOUND,
# kiv_<component>_FOUND and kiv_NOT_FOUND_MESSAGE.

# The policies this file is written for, whatever the caller's are (a
# function keeps those it was defined under).
cmake_policy(PUSH)
cmake_policy(VERSION 3.17...3.25)

function(_kiv_find_components)
  set(known core image zip http gis gis_ozm_driver gwx_map_driver gui gui_addin)
  # The components each library links by import; each stands after them
  # in `known`.
  set(links_core "")
  set(links_image core)
  set(links_zip core)
  set(links_http core zip)
  set(links_gis core image http)
  set(links_gis_ozm_driver core image gis)
  set(links_gwx_map_driver core image gis)
  set(links_gui core image)
  set(links_gui_addin core image gis gwx_map_driver gui)

  set(asked ${kiv_FIND_COMPONENTS})
  if(NOT asked)
    set(asked ${known})
    foreach(c IN LISTS known)
      set(kiv_FIND_REQUIRED_${c} TRUE)
    endforeach()
  endif()
  set(problems "")
  set(wanted "")
  set(found "")
  foreach(c IN LISTS asked)
    if(c IN_LIST known)
      list(APPEND wanted ${c} ${links_${c}})
    else()
      set(kiv_${c}_FOUND FALSE PARENT_SCOPE)
      if(kiv_FIND_REQUIRED_${c})
        string(REPLACE ";" ", " names "${known}")
        list(APPEND problems "kiv has no component \"${c}\" (its components: ${names})")
      endif()
    endif()
  endforeach()

  # Each wanted component, after those it links: why_<c> says what it
  # lacks, empty when it has everything.
  foreach(c IN LISTS known)
    if(NOT c IN_LIST wanted)
      continue()
    endif()
    set(why "")
    foreach(d IN LISTS links_${c})
      if(NOT "${why_${d}}" STREQUAL "")
        set(why "needs the component \"${d}\", which ${why_${d}}")
        break()
      endif()
    endforeach()
    if(why STREQUAL "" AND c STREQUAL "core")
      find_package(Threads QUIET)
      find_package(TCL QUIET)
      if(NOT Threads_FOUND)
        set(why "needs the threads library, which was not found")
      elseif(NOT TCL_FOUND)
        set(why "needs Tcl (tcl.h and its library), which was not found")
      elseif(NOT TARGET kiv::Tcl)
        add_library(kiv::Tcl INTERFACE IMPORTED)
        set_target_properties(kiv::Tcl PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${TCL_INCLUDE_PATH}"
                                                  INTERFACE_LINK_LIBRARIES "${TCL_LIBRARY}")
      endif()
    elseif(why STREQUAL "" AND c STREQUAL "image")
      find_package(Freetype QUIET)
      find_package(PkgConfig QUIET)
      if(PKG_CONFIG_FOUND)
        # AGG's headers only: its archive is inside the libraries.
        pkg_check_modules(KIV_AGG QUIET libagg)
      endif()
      if(NOT Freetype_FOUND AND NOT FREETYPE_FOUND)
        set(why "needs FreeType, which was not found")
      elseif(NOT KIV_AGG_FOUND)
        set(why "needs AGG's headers (pkg-config libagg), which were not found")
      elseif(NOT TARGET kiv::AGG)
        add_library(kiv::AGG INTERFACE IMPORTED)
        set_target_properties(kiv::AGG PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${KIV_AGG_INCLUDE_DIRS}")
      endif()
    elseif(why STREQUAL "" AND c STREQUAL "gui")
      # The module adds to these rather than setting them: start from
      # nothing here, whatever the caller found before.
      unset(wxWidgets_DEFINITIONS)
      unset(wxWidgets_CXX_FLAGS)
      find_package(wxWidgets 3.2 QUIET COMPONENTS aui html core base xml)
      if(NOT wxWidgets_FOUND)
        set(why "needs wxWidgets 3.2 with its aui, html, core, base and xml libraries, which were not found")
      elseif(NOT TARGET kiv::wxWidgets)
        add_library(kiv::wxWidgets INTERFACE IMPORTED)
        set_target_properties(kiv::wxWidgets PROPERTIES
          INTERFACE_INCLUDE_DIRECTORIES "${wxWidgets_INCLUDE_DIRS}"
          INTERFACE_COMPILE_DEFINITIONS "${wxWidgets_DEFINITIONS}"
          INTERFACE_COMPILE_OPTIONS "${wxWidgets_CXX_FLAGS}"
          INTERFACE_LINK_LIBRARIES "${wxWidgets_LIBRARIES}")
      endif()
    endif()
    set(targets ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/kiv_${c}Targets.cmake)
    if(why STREQUAL "" AND NOT EXISTS ${targets})
      set(why "is not installed (no ${targets})")
    endif()
    set(why_${c} "${why}")
    if(NOT why STREQUAL "")
      set(kiv_${c}_FOUND FALSE PARENT_SCOPE)
      if(kiv_FIND_REQUIRED_${c})
        list(APPEND problems "the kiv component \"${c}\" ${why}")
      endif()
    else()
      set(kiv_${c}_FOUND TRUE PARENT_SCOPE)
      list(APPEND found ${c})
    endif()
  endforeach()

  if(problems)
    list(JOIN problems "; " message)
    set(kiv_FOUND FALSE PARENT_SCOPE)
    set(kiv_NOT_FOUND_MESSAGE "${message}" PARENT_SCOPE)
    return()
  endif()
  foreach(c IN LISTS found)
    if(NOT TARGET kiv::${c})
      include(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/kiv_${c}Targets.cmake)
    endif()
  endforeach()
endfunction()

cmake_policy(POP)

_kiv_find_components()
