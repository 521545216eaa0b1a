# cmake -DROOT=SOURCE_DIR -P CheckIncludes.cmake
#
# Fails when a source file includes a header by a path that climbs out of a
# folder ("../x.h"): headers are named by their layer's folder ("text/utf8.h"),
# which the layer's include path holds or does not, so that the compiler
# keeps the arrows between the layers. A climbing path would get past that.
set(folders text fs catalogue report scanner paths search restore run cli ui bench fuzz tests)
set(found)
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE files ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]\\.\\./")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH shown ${ROOT} ${file})
      list(APPEND found "${shown}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n" text)
  message(FATAL_ERROR "includes that climb out of a folder; name the header by its layer's folder:\n${text}")
endif()
