# korvane_layer(NAME FOLDER): a static library for one folder of the core.
#
# Code includes headers by folder ("text/utf8.h"). A layer does not get the
# repository's root as its include path, only a folder of its own in the
# build tree that holds a link to its source folder; the layers it links to
# add theirs. So a layer that includes a header of a layer it does not link
# to fails to compile, and the arrows between the folders are the ones
# target_link_libraries states.
function(korvane_layer name folder)
  set(tree ${PROJECT_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${tree})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${tree}/${folder} SYMBOLIC)
  add_library(${name} STATIC)
  target_include_directories(${name} PUBLIC ${tree})
endfunction()
