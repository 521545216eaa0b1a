# Installs the build into PREFIX and checks what the desktop needs of it.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

include(GNUInstallDirs)
set(share "${PREFIX}/${CMAKE_INSTALL_DATADIR}")
foreach(file
    "${PREFIX}/${CMAKE_INSTALL_BINDIR}/korvane"
    "${share}/applications/${APP_ID}.desktop"
    "${share}/mime/packages/${APP_ID}.xml"
    "${share}/icons/hicolor/16x16/apps/${APP_ID}.png"
    "${share}/icons/hicolor/32x32/apps/${APP_ID}.png"
    "${share}/korvane/translations/korvane_ja.qm"
    "${PREFIX}/${CMAKE_INSTALL_LOCALEDIR}/ja/LC_MESSAGES/korvane.mo")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

file(STRINGS "${share}/applications/${APP_ID}.desktop" entry)
file(READ "${share}/mime/packages/${APP_ID}.xml" mime)
string(REGEX MATCH "<mime-type type=\"([^\"]+)\"" _ "${mime}")
set(type "${CMAKE_MATCH_1}")
foreach(line "Exec=korvane %f" "Icon=${APP_ID}" "MimeType=${type};")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${APP_ID}.desktop lacks the line '${line}'")
  endif()
endforeach()
if(NOT mime MATCHES "<glob pattern=\"\\*\\.dvc\"/>")
  message(FATAL_ERROR "the MIME type does not claim *.dvc")
endif()

# A PNG's width and height are big-endian words at bytes 16 and 20.
foreach(size 16 32 48 64 128 256)
  file(READ "${share}/icons/hicolor/${size}x${size}/apps/${APP_ID}.png" header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 32 8 width)
  string(SUBSTRING "${header}" 40 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(NOT width EQUAL size OR NOT height EQUAL size)
    message(FATAL_ERROR "the ${size}x${size} icon is ${width}x${height}")
  endif()
endforeach()

# The installed korvane-scan finds its catalogue from bin/, as in the build tree.
execute_process(COMMAND locale -a OUTPUT_VARIABLE locales ERROR_QUIET)
if(locales MATCHES "ja_JP\\.utf-?8")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env --unset=LC_ALL --unset=LANGUAGE LANG=ja_JP.UTF-8
                          "${PREFIX}/${CMAKE_INSTALL_BINDIR}/korvane-scan" --help
    OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT help MATCHES "^使い方: korvane-scan")
    message(FATAL_ERROR "the installed korvane-scan does not find its Japanese catalogue")
  endif()
endif()
