# Copies header-only libraries of the build machine into a staging folder of the build tree,
# so a Windows target can include them without seeing the rest of the Linux /usr/include.
set(LUMIPOD_STAGED_INCLUDE_DIR ${CMAKE_BINARY_DIR}/_deps/include)

# lumipod_stage_headers(<var> <entry> <host include dir>...): finds <entry> (a header or a
# header folder) in the given folders of the build machine, copies it into the staging
# folder and sets <var> to TRUE, or to FALSE when it is not there.
function(lumipod_stage_headers var entry)
  find_path(_lumipod_stage_dir NAMES ${entry} PATHS ${ARGN} NO_DEFAULT_PATH
            NO_CMAKE_FIND_ROOT_PATH)
  if(_lumipod_stage_dir)
    file(COPY ${_lumipod_stage_dir}/${entry} DESTINATION ${LUMIPOD_STAGED_INCLUDE_DIR})
    set(${var} TRUE PARENT_SCOPE)
  else()
    set(${var} FALSE PARENT_SCOPE)
  endif()
  unset(_lumipod_stage_dir CACHE)
endfunction()
