# Adds every direct sub-folder of the current folder that holds a CMakeLists.txt,
# in name order, so that each part of the tree owns its own build file.
function(qel_add_subdirectories)
  file(GLOB _entries LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _entries)
  foreach(_entry IN LISTS _entries)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_entry} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_entry}/CMakeLists.txt)
      add_subdirectory(${_entry})
    endif()
  endforeach()
endfunction()
