# Debian packages with `cpack -G DEB` in a build directory:
#   libvexa-x86-1     the shared library (component runtime)
#   libvexa-x86-dev   headers, unversioned link, CMake and pkg-config files,
#                     documentation and examples (component dev); depends on
#                     exactly this version of libvexa-x86-1
#   vexa-tools        vexa-sim, vexa-demo and vexa with their manual pages,
#                     vexa's bash completion (component tools)
#   vexa-gateway      vexa-gateway, the hall as a service, with its manual
#                     page, systemd unit and the hall file /etc/vexa/hall.toml
#                     as a conffile (component gateway)
# Shared-library dependencies are computed by dpkg-shlibdeps.
set(VEXA_PACKAGE_MAINTAINER "The libvexa-x86 authors <libvexa-x86@example.org>"
  CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_PACKAGE_NAME libvexa-x86)
set(CPACK_PACKAGE_VENDOR "The libvexa-x86 authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev tools gateway)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VEXA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# vexa-demo needs libvexa-x86.so.1, which dpkg-shlibdeps finds in the build
# tree but cannot map to a package: vexa-tools states that dependency itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvexa-x86-${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The linker cache is refreshed by dpkg's ldconfig trigger (CPack also adds
# maintainer scripts that run ldconfig).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
"Library for the LED sign controllers of queue-calling halls
libvexa-x86 encodes commands for LED sign controllers (texts, collected
data, queue line-up calls, voice announcements, relays, clock, image
groups, bar screens and scheduled show pages) into binary frames and sends
them over UDP, TCP, controller login connections or an RS-485 serial line,
returning the controller's verdict as a result code.

This package holds the shared library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvexa-x86-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION
"Development files of libvexa-x86 (LED sign controllers)
libvexa-x86 encodes commands for LED sign controllers and sends them over
the network or an RS-485 serial line.

This package holds the C++ header SKYREL.h, the C header vexa.h, the
version header, the CMake package (find_package(vexa-x86)), the pkg-config
file vexa-x86.pc, the documentation and the examples.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME vexa-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS
  "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${PROJECT_VERSION})")
# vexa-sim draws the signs' texts in Unifont when it is installed, and
# vexa check-text tells from it what a sign cannot show.
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS unifont)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
"LED sign controller command line, emulator and demonstration program
vexa sends one command to a sign controller, or to every sign of a hall
file, from the command line or a script: play, brightness, relays, clock,
texts, collected data, voice, line-up, image groups, bar screens, page-set
upload and ticket calls; it prints each controller's verdict as a line or
as JSON and exits with its result code. vexa ping measures a controller's
round trip without changing what it shows.

vexa-sim plays an LED sign controller: it decodes every frame that
libvexa-x86 sends over UDP, TCP, a login connection or a serial line,
prints it as text or JSON and answers like a controller (or refuses,
stays silent, garbles or delays on request); it shows what each sign would
display as a picture or on a live page in the browser, and decodes captures
and traces.

vexa-demo uploads a show page with a running date-time display to a
controller.")

set(CPACK_DEBIAN_GATEWAY_PACKAGE_NAME vexa-gateway)
set(CPACK_DEBIAN_GATEWAY_PACKAGE_SECTION net)
set(CPACK_DEBIAN_GATEWAY_PACKAGE_DEPENDS
  "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${PROJECT_VERSION})")
# libmosquitto1 comes from dpkg-shlibdeps; the broker may run on another
# machine, so it is only suggested, with the clients that talk to it.
set(CPACK_DEBIAN_GATEWAY_PACKAGE_SUGGESTS "mosquitto, mosquitto-clients")
# The hall file under /etc/vexa is the administrator's: an upgrade keeps it.
set(CPACK_DEBIAN_GATEWAY_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/gateway/conffiles)
set(CPACK_DEBIAN_GATEWAY_DESCRIPTION
"LED signs of a queue-calling hall as a service over HTTP and MQTT
vexa-gateway reads a hall file and takes calls (a ticket to a counter) and
commands for single signs over HTTP with JSON, behind a bearer token, and
from an MQTT broker's topics, where it keeps each sign's availability and
what it shows as retained messages. Each
sign has a worker with a bounded queue; a sign's availability follows its
answers, its clock is kept, and a sign that comes back gets what it should
show. Every accepted command is kept in SQLite until delivered. Metrics in
Prometheus' format, an OpenAPI description, and a systemd unit.")

# Each package carries the license as its copyright file and a changelog
# entry for its version, dated as the release in CHANGELOG.md (today while
# the version is unreleased).
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md VEXA_RELEASE_LINE
  REGEX "^## \\[${PROJECT_VERSION}\\] - [0-9-]+")
set(VEXA_RELEASE_STAMP "")
if(VEXA_RELEASE_LINE)
  string(REGEX REPLACE ".* - ([0-9-]+).*" "\\1" VEXA_RELEASE_DATE "${VEXA_RELEASE_LINE}")
  execute_process(COMMAND date -u -R -d "${VEXA_RELEASE_DATE}"
    OUTPUT_VARIABLE VEXA_RELEASE_STAMP OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT VEXA_RELEASE_STAMP)
  string(TIMESTAMP VEXA_RELEASE_STAMP "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
set(VEXA_DEBIAN_CHANGELOG ${PROJECT_BINARY_DIR}/debian/changelog)
if(VEXA_GZIP)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
    COMMAND ${VEXA_GZIP} -9nc ${PROJECT_BINARY_DIR}/debian/changelog > ${PROJECT_BINARY_DIR}/debian/changelog.gz
    DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog)
  add_custom_target(vexa_debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
  set(VEXA_DEBIAN_CHANGELOG ${PROJECT_BINARY_DIR}/debian/changelog.gz)
endif()
foreach(component runtime dev tools gateway)
  string(TOUPPER ${component} upper)
  set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${docdir} RENAME copyright
    COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${VEXA_DEBIAN_CHANGELOG} DESTINATION ${docdir}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
