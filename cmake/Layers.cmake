# The program's libraries are layered: a library links only libraries of lower layers, so the
# widget-free libraries never reach a widget and no page reaches another page.
#
#   0  engine                                 QtCore only
#   1  settings, canvas
#   2  loading, art (glyphs measured as drawn, the ink and shape modes, the workshop)
#   3  widgets, metafile (the helper process's decoders), history (undo of the Canvas), export
#   4  the pages: settings/ui, canvas/ui, loading/ui
#   5  app, cli
#
# tessivo_library() makes a static library of a layer and refuses, at configure time, a link to
# a library of the same or a higher layer. tessivo_write_layer_rules() writes, for the layering
# test, which folders each library's files may include from: its own and those of every library
# it links, directly or not.

function(tessivo_library name layer)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "SOURCES;LINKS")
  add_library(${name} STATIC ${arg_SOURCES})
  set_target_properties(${name} PROPERTIES TESSIVO_LAYER ${layer})
  foreach(dep IN LISTS arg_LINKS)
    if(NOT dep MATCHES "^tessivo_")
      continue()
    endif()
    if(NOT TARGET ${dep})
      message(FATAL_ERROR "${name} links ${dep}, which is not made yet: a library comes after "
                          "every library it links")
    endif()
    get_target_property(dep_layer ${dep} TESSIVO_LAYER)
    if(NOT dep_layer LESS layer)
      message(FATAL_ERROR "${name} (layer ${layer}) may not link ${dep} (layer ${dep_layer}): "
                          "links point to lower layers only (cmake/Layers.cmake)")
    endif()
  endforeach()
  target_link_libraries(${name} PUBLIC ${arg_LINKS})
  set_property(GLOBAL APPEND PROPERTY TESSIVO_LIBRARIES ${name})
endfunction()

function(_tessivo_folders_of name out)
  get_target_property(dir ${name} SOURCE_DIR)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${dir})
  set(folders ${folder})
  get_target_property(links ${name} LINK_LIBRARIES)
  foreach(dep IN LISTS links)
    if(dep MATCHES "^tessivo_")
      _tessivo_folders_of(${dep} dep_folders)
      list(APPEND folders ${dep_folders})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES folders)
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

function(tessivo_write_layer_rules file)
  get_property(libraries GLOBAL PROPERTY TESSIVO_LIBRARIES)
  set(text "# Written by cmake/Layers.cmake: each library's folder, sources and allowed folders.\n")
  set(all_folders)
  foreach(name IN LISTS libraries)
    get_target_property(dir ${name} SOURCE_DIR)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${dir})
    # The test tells libraries by their folders: two libraries in one folder could include each
    # other's headers unseen.
    if(folder IN_LIST all_folders)
      message(FATAL_ERROR "${name} shares the folder ${folder}/ with another library: each "
                          "library has a folder of its own (cmake/Layers.cmake)")
    endif()
    list(APPEND all_folders ${folder})
    _tessivo_folders_of(${name} allowed)
    get_target_property(sources ${name} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.(cpp|h)$")
    list(TRANSFORM sources PREPEND "${dir}/")
    string(APPEND text "list(APPEND libraries ${name})\n"
                       "set(${name}_sources \"${sources}\")\n"
                       "set(${name}_allowed \"${allowed}\")\n")
  endforeach()
  string(APPEND text "set(library_folders \"${all_folders}\")\n")
  file(GENERATE OUTPUT ${file} CONTENT "${text}")
endfunction()
