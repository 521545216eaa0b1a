# What a Debian system expects around the two programs, and the package:
# the man pages, bash completion, AppStream metadata, the copyright and
# changelog files, and CPack's DEB generator (`cpack -G DEB` in the build
# folder makes korvane_VERSION_ARCH.deb from the install tree).
#
# The project's home lives here alone: the metadata, the man pages and the
# package's Homepage are made from KORVANE_HOME_URL, and the application id
# (the name of the desktop entry, the icon, the MIME package and the
# metadata) is derived from it.
include(GNUInstallDirs)

set(KORVANE_HOME_URL "https://github.com/korvane/korvane" CACHE STRING
  "The project's home page: its repository, whose README is the manual")
set(KORVANE_MAINTAINER "The korvane developers <korvane@users.noreply.github.com>" CACHE STRING
  "The package's maintainer, name and address")
set(KORVANE_RELEASE_DATE "2026-12-08" CACHE STRING "The date of release ${PROJECT_VERSION} (YYYY-MM-DD)")

# https://github.com/OWNER/NAME gives io.github.OWNER.NAME, as AppStream
# names applications hosted there.
if(KORVANE_HOME_URL MATCHES "^https?://github\\.com/([A-Za-z0-9_.]+)/([A-Za-z0-9_.]+)/?$")
  string(TOLOWER "io.github.${CMAKE_MATCH_1}.${CMAKE_MATCH_2}" korvane_default_app_id)
else()
  set(korvane_default_app_id "")
endif()
set(KORVANE_APP_ID "${korvane_default_app_id}" CACHE STRING
  "The reverse-DNS application id; derived from KORVANE_HOME_URL when it is a GitHub repository")
if(NOT KORVANE_APP_ID MATCHES "^[a-z][a-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)+$")
  message(FATAL_ERROR "KORVANE_APP_ID '${KORVANE_APP_ID}' is not a reverse-DNS id: set it for "
    "KORVANE_HOME_URL ${KORVANE_HOME_URL}")
endif()
if(NOT KORVANE_RELEASE_DATE MATCHES "^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
  message(FATAL_ERROR "KORVANE_RELEASE_DATE '${KORVANE_RELEASE_DATE}' is not YYYY-MM-DD")
endif()

# The hardening Debian builds its packages with (dpkg-buildflags): fortified
# libc calls where the code is optimised, and a read-only GOT. Not under the
# sanitizers, which replace those calls themselves.
option(KORVANE_HARDENING "Build with _FORTIFY_SOURCE=2 and -z relro -z now" ON)
if(KORVANE_HARDENING AND NOT KORVANE_SANITIZE AND NOT KORVANE_TSAN AND NOT KORVANE_BUILD_FUZZER)
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

set(korvane_pkg_dir ${PROJECT_BINARY_DIR}/packaging)
set(korvane_docdir ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})

# The man pages, with the home filled in, compressed as Debian wants them
# (-n: no name or time stamp, so the package is the same from build to build).
find_program(KORVANE_GZIP gzip REQUIRED)
set(korvane_gzipped)
function(korvane_gzip source target)
  add_custom_command(OUTPUT ${target}
    COMMAND sh -c "\"$0\" -9n -c \"$1\" > \"$2\"" ${KORVANE_GZIP} ${source} ${target}
    DEPENDS ${source}
    VERBATIM)
  set(korvane_gzipped ${korvane_gzipped} ${target} PARENT_SCOPE)
endfunction()

set(korvane_man_pages korvane-scan)
if(KORVANE_BUILD_GUI)
  list(APPEND korvane_man_pages korvane)
endif()
foreach(page ${korvane_man_pages})
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${korvane_pkg_dir}/man/${page}.1 @ONLY)
  korvane_gzip(${korvane_pkg_dir}/man/${page}.1 ${korvane_pkg_dir}/man/${page}.1.gz)
  install(FILES ${korvane_pkg_dir}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The changelog of the package, in Debian's format, dated at the release.
execute_process(COMMAND date -u -R -d "${KORVANE_RELEASE_DATE} 12:00:00"
  OUTPUT_VARIABLE korvane_changelog_date OUTPUT_STRIP_TRAILING_WHITESPACE)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${korvane_pkg_dir}/changelog @ONLY)
korvane_gzip(${korvane_pkg_dir}/changelog ${korvane_pkg_dir}/changelog.gz)
install(FILES ${korvane_pkg_dir}/changelog.gz DESTINATION ${korvane_docdir})

add_custom_target(korvane_packaging_files ALL DEPENDS ${korvane_gzipped})

configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${korvane_pkg_dir}/copyright @ONLY)
install(FILES ${korvane_pkg_dir}/copyright DESTINATION ${korvane_docdir})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/korvane-scan.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME korvane-scan)

if(KORVANE_BUILD_GUI)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/metainfo.xml.in
    ${korvane_pkg_dir}/${KORVANE_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${korvane_pkg_dir}/${KORVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The korvane developers")
set(CPACK_PACKAGE_CONTACT "${KORVANE_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${KORVANE_HOME_URL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find the media files a RexEdit project refers to but misses")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The dialog needs a platform plugin to open a window at all (libqt6gui6 only
# recommends them); it draws its texts in a Japanese Gothic font, and takes the
# standard buttons' Japanese from Qt's own catalogues.
if(KORVANE_BUILD_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, qt6-translations-l10n")
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KORVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KORVANE_HOME_URL}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
A RexEdit video project (*.dvc) refers to movies, stills, audio clips,
title files and bin entries by the paths they had when it was saved,
mostly Windows paths. korvane opens the project read-only, tests every
reference for existence and lists the missing ones under the names of the
project's sections. It never writes the project.

Drives and shares are mapped to local folders (on the command line, in a
configuration file, from a Wine prefix or under WSL), names are decoded
from the project's code page (CP932 or Windows-1252, decided from the
names), and the missing files can be searched for below other folders,
with the mappings that would find them suggested, and put back in place.

The package holds the command-line scanner korvane-scan, with text and
JSON output for scripts, and the dialog korvane (Qt 6).]=])
include(CPack)

# korvane_strip_notes(PROGRAM...): when the install strips (CPack does), the
# installed PROGRAMs also lose the compilers' notes (.comment, .note), as
# Debian's own packages do. Called after the programs' own install rules.
function(korvane_strip_notes)
  foreach(program ${ARGN})
    install(CODE "
      set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
      if(CMAKE_INSTALL_DO_STRIP AND EXISTS \"\${file}\")
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note \"\${file}\"
          RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
          message(FATAL_ERROR \"cannot remove the notes of \${file}\")
        endif()
      endif()")
  endforeach()
endfunction()
