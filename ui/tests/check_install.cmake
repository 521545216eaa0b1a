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
    "${share}/icons/hicolor/32x32/apps/${APP_ID}.png")
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
