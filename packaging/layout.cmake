# Reads packaging/layout.txt into LT_LAYOUT_TREE_<place> and LT_LAYOUT_INSTALLED_<place>
# (place in upper case: PROGRAMS, DATA, CONFIG, STATE, RUNTIME) and writes the same table into
# a header for common/installation.cpp.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/layout.txt lt_layout_lines REGEX "^[a-z]")
set(LT_LAYOUT_ROWS "")
foreach(line IN LISTS lt_layout_lines)
  string(REGEX MATCH "^([a-z]+)[ \t]+([^ \t]+)[ \t]+([^ \t]+)" _ "${line}")
  string(TOUPPER "${CMAKE_MATCH_1}" place)
  set(LT_LAYOUT_TREE_${place} "${CMAKE_MATCH_2}")
  set(LT_LAYOUT_INSTALLED_${place} "${CMAKE_MATCH_3}")
  string(APPEND LT_LAYOUT_ROWS
         "    {\"${CMAKE_MATCH_1}\", \"${CMAKE_MATCH_2}\", \"${CMAKE_MATCH_3}\"},\n")
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/layout.txt)
configure_file(${CMAKE_CURRENT_LIST_DIR}/layouttable.h.in
               ${CMAKE_BINARY_DIR}/generated/common/layouttable.h @ONLY)
