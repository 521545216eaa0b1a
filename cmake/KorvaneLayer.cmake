# korvane_layer(NAME FOLDER): a static library for one folder of the core
# (and for korvane-scan's own code in cli/).
#
# Code includes headers by folder ("text/utf8.h"). A layer does not get the
# repository's root as its include path, only a folder of its own in the
# build tree that holds a link to its source folder; the layers it links to
# add theirs. So a layer that includes a header of a layer it does not link
# to fails to compile, and the arrows between the folders are the ones
# target_link_libraries states.
#
# Once the folder's CMakeLists.txt has been read, every header of the layer
# is compiled on its own in a file of its own (NAME_headers), against the
# layer's include path and nothing else: a header that no source of its
# layer includes, or that leans on what another header happened to include
# before it, is still held to the arrows.
function(korvane_layer name folder)
  set(tree ${PROJECT_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${tree})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${tree}/${folder} SYMBOLIC)
  add_library(${name} STATIC)
  target_include_directories(${name} PUBLIC ${tree})
  # A deferred call reads its arguments when it runs: the values go in now.
  cmake_language(EVAL CODE "cmake_language(DEFER CALL korvane_seal_headers [[${name}]] [[${folder}]])")
endfunction()

function(korvane_seal_headers name folder)
  get_target_property(sources ${name} SOURCES)
  set(checks)
  foreach(source IN LISTS sources)
    if(source MATCHES "\\.h$")
      get_filename_component(header ${source} NAME)
      set(check ${PROJECT_BINARY_DIR}/sealed/${folder}/${header}.cpp)
      set(text "#include \"${folder}/${header}\"\n")
      set(old "")
      if(EXISTS ${check})
        file(READ ${check} old)
      endif()
      # Written only when it changes, so that a configure does not rebuild them all.
      if(NOT old STREQUAL text)
        file(WRITE ${check} "${text}")
      endif()
      list(APPEND checks ${check})
    endif()
  endforeach()
  if(checks)
    add_library(${name}_headers OBJECT ${checks})
    target_link_libraries(${name}_headers PRIVATE ${name})
  endif()
endfunction()
