# What `cmake --install` puts under the prefix, by component:
#   runtime  the shared library and its SONAME link
#   dev      the headers, the unversioned link, the CMake package and the
#            pkg-config file, the documentation and the examples
#   tools    vexa-sim, vexa-demo and vexa with their manual pages (installed
#            from sim/, demo/ and cli/), vexa's bash completion, and the
#            Wireshark dissector vexa.lua in Wireshark's global Lua plugin
#            folder, which Debian's Wireshark reads at start
#            (lib/<multiarch>/wireshark/plugins under /usr)
#   gateway  vexa-gateway with its manual page, systemd unit and the hall
#            file /etc/vexa/hall.toml (installed from gateway/)
include(CMakePackageConfigHelpers)

set(VEXA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vexa-x86)
set(VEXA_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vexa-x86)

install(TARGETS vexa-x86 EXPORT vexa-x86Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT runtime
    NAMELINK_COMPONENT dev)
install(FILES ${VEXA_HEADER_DIR}/SKYREL.h ${VEXA_HEADER_DIR}/version.h
  ${VEXA_HEADER_DIR}/vexa.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexa-x86
  COMPONENT dev)

# CMake package: find_package(vexa-x86 1.0 CONFIG) gives vexa::vexa-x86.
install(EXPORT vexa-x86Targets
  NAMESPACE vexa::
  DESTINATION ${VEXA_CMAKE_DIR}
  COMPONENT dev)
configure_package_config_file(cmake/vexa-x86Config.cmake.in
  ${PROJECT_BINARY_DIR}/vexa-x86Config.cmake
  INSTALL_DESTINATION ${VEXA_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vexa-x86ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/vexa-x86Config.cmake
  ${PROJECT_BINARY_DIR}/vexa-x86ConfigVersion.cmake
  DESTINATION ${VEXA_CMAKE_DIR}
  COMPONENT dev)

# pkg-config file, written when installing so that it names the prefix the
# files actually go to (cmake --install --prefix, or /usr in a package).
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(VEXA_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(VEXA_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(VEXA_PC_DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
else()
  set(VEXA_PC_DESTINATION "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig")
endif()
install(CODE "
  set(VEXA_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(VEXA_PC_LIBDIR [=[${VEXA_PC_LIBDIR}]=])
  set(VEXA_PC_INCLUDEDIR [=[${VEXA_PC_INCLUDEDIR}]=])
  set(VEXA_DESCRIPTION \"${VEXA_DESCRIPTION}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(pcfile \"\$ENV{DESTDIR}${VEXA_PC_DESTINATION}/vexa-x86.pc\")
  message(STATUS \"Installing: \${pcfile}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/vexa-x86.pc.in\" \"\${pcfile}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${pcfile}\")
" COMPONENT dev)

# Documentation, and the examples with a CMakeLists.txt that builds them
# against the installed package.
install(FILES README.md LICENSE CHANGELOG.md
  DESTINATION ${VEXA_DOC_DIR}
  COMPONENT dev)
install(DIRECTORY examples/
  DESTINATION ${VEXA_DOC_DIR}/examples
  COMPONENT dev
  FILES_MATCHING PATTERN "*.cpp" PATTERN "*.c" PATTERN "CMakeLists.txt")

# Manual pages (version filled in), compressed as the systems that read
# them expect. The page's source is docs/man/PAGE.in, or PAGE.in in the
# directory given after the component.
find_program(VEXA_GZIP gzip)
function(vexa_install_man page component)
  set(dir ${PROJECT_SOURCE_DIR}/docs/man)
  if(ARGC GREATER 2)
    set(dir ${ARGV2})
  endif()
  set(source ${PROJECT_BINARY_DIR}/man/${page})
  configure_file(${dir}/${page}.in ${source} @ONLY)
  if(VEXA_GZIP)
    add_custom_command(OUTPUT ${source}.gz
      COMMAND ${VEXA_GZIP} -9nc ${source} > ${source}.gz
      DEPENDS ${source}
      COMMENT "Compressing manual page ${page}")
    string(REPLACE "." "_" target vexa_man_${page})
    add_custom_target(${target} ALL DEPENDS ${source}.gz)
    set(source ${source}.gz)
  endif()
  install(FILES ${source} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

# The Wireshark dissector: Wireshark and tshark load it from here.
install(FILES wireshark/vexa.lua
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/wireshark/plugins
  COMPONENT tools)
