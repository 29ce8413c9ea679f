# Installation: the libraries, their headers, the catalogue and the templates, a CMake package
# (find_package(Dalmure) with imported targets), pkg-config files and the Qt Designer plugin.
include(CMakePackageConfigHelpers)

set(DALMURE_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Dalmure)
set(DALMURE_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/dalmure)
set(DALMURE_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/dalmure)

set(dalmure_targets dalmure)
if(TARGET dalmure-qt)
  list(APPEND dalmure_targets dalmure-qt)
endif()
# Installed anywhere, the libraries find each other and the programs find the libraries.
if(TARGET dalmure-qt)
  set_target_properties(dalmure-qt PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()
foreach(program orvane-demo dalmure-host)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endforeach()

install(TARGETS ${dalmure_targets} EXPORT DalmureTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The public headers, once each: include/dalmure/ and the generated export header (the widget's
# header and its export header are installed by src/platform/qt/CMakeLists.txt).
install(FILES
  ${PROJECT_SOURCE_DIR}/include/dalmure/dalmure.h
  ${PROJECT_SOURCE_DIR}/include/dalmure/error.h
  ${PROJECT_SOURCE_DIR}/include/dalmure/events.h
  ${PROJECT_SOURCE_DIR}/include/dalmure/session.h
  ${PROJECT_SOURCE_DIR}/include/dalmure/text.h
  ${PROJECT_BINARY_DIR}/src/include/dalmure/dalmure_export.h
  DESTINATION ${DALMURE_INSTALL_INCLUDEDIR})

# A ready application folder's shipped files: the message catalogue and the minutes templates.
install(FILES ${PROJECT_SOURCE_DIR}/share/catalogue/ORLngClient.MDB
              ${PROJECT_SOURCE_DIR}/share/templates/pvTemplateFRA.html
              ${PROJECT_SOURCE_DIR}/share/templates/pvTemplateENG.html
        DESTINATION ${DALMURE_INSTALL_DATADIR})

# CMake package.
install(EXPORT DalmureTargets NAMESPACE Dalmure:: DESTINATION ${DALMURE_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/DalmureConfig.cmake.in
  ${PROJECT_BINARY_DIR}/DalmureConfig.cmake
  INSTALL_DESTINATION ${DALMURE_INSTALL_CMAKEDIR}
  PATH_VARS DALMURE_INSTALL_DATADIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/DalmureConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/DalmureConfig.cmake
              ${PROJECT_BINARY_DIR}/DalmureConfigVersion.cmake
        DESTINATION ${DALMURE_INSTALL_CMAKEDIR})

# pkg-config files; paths follow the prefix given at install time only when they are relative.
foreach(kind LIBDIR INCLUDEDIR DATADIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(DALMURE_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(DALMURE_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
set(DALMURE_PC_DATADIR "${DALMURE_PC_DATADIR}/dalmure")
configure_file(${PROJECT_SOURCE_DIR}/cmake/dalmure.pc.in ${PROJECT_BINARY_DIR}/pc/dalmure.pc.in @ONLY)
# The prefix is the one given to cmake --install.
install(CODE "
  file(READ \"${PROJECT_BINARY_DIR}/pc/dalmure.pc.in\" pc)
  string(REPLACE \"${CMAKE_INSTALL_PREFIX}\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
  file(WRITE \"${PROJECT_BINARY_DIR}/pc/dalmure.pc\" \"\${pc}\")")
install(FILES ${PROJECT_BINARY_DIR}/pc/dalmure.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(TARGET dalmure-qt)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/dalmure-qt.pc.in
                 ${PROJECT_BINARY_DIR}/pc/dalmure-qt.pc.in @ONLY)
  install(CODE "
    file(READ \"${PROJECT_BINARY_DIR}/pc/dalmure-qt.pc.in\" pc)
    string(REPLACE \"${CMAKE_INSTALL_PREFIX}\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
    file(WRITE \"${PROJECT_BINARY_DIR}/pc/dalmure-qt.pc\" \"\${pc}\")")
  install(FILES ${PROJECT_BINARY_DIR}/pc/dalmure-qt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# The Qt Designer plugin: the widget on Designer's palette.
if(TARGET dalmure-qt AND EXISTS ${PROJECT_SOURCE_DIR}/src/designer/CMakeLists.txt)
  add_subdirectory(${PROJECT_SOURCE_DIR}/src/designer ${PROJECT_BINARY_DIR}/src/designer)
  set_target_properties(dalmure-designer PROPERTIES INSTALL_RPATH "${CMAKE_INSTALL_FULL_LIBDIR}")
endif()
