# Checks that the paths an installed README names are there beside it: the target of every
# relative markdown link, and every path in backticks that starts with examples/ or docs/
# (the folders installed with the README; the other paths it names are the source tree's,
# and it says so). Each is taken relative to the README's folder; a path with anything but
# letters, digits and _ . / - in it (a placeholder such as <target>) is not one.
#
#   cmake -DREADME=<installed README.md> -P check_readme_paths.cmake
# or include() it and call check_readme_paths(<README.md>).
cmake_minimum_required(VERSION 3.25)

function(check_readme_paths readme)
  if(NOT EXISTS ${readme})
    message(FATAL_ERROR "${readme}: not installed")
  endif()
  file(READ ${readme} text)
  get_filename_component(dir ${readme} DIRECTORY)
  set(paths)
  # A square bracket in a list element would hide the semicolons after it from CMake's list
  # splitting: a link's "](" becomes "}(" first.
  string(REPLACE "]" "}" text "${text}")
  string(REGEX MATCHALL "}\\([^)]*\\)" links "${text}")
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^}\\(([^)#]*).*" "\\1" path "${link}")
    if(NOT path STREQUAL "" AND NOT path MATCHES "^[a-z]+:")
      list(APPEND paths ${path})
    endif()
  endforeach()
  string(REGEX MATCHALL "`(examples|docs)/[A-Za-z0-9_./-]*`" quoted "${text}")
  foreach(path IN LISTS quoted)
    string(REPLACE "`" "" path "${path}")
    list(APPEND paths ${path})
  endforeach()
  list(REMOVE_DUPLICATES paths)
  set(missing)
  foreach(path IN LISTS paths)
    if(NOT EXISTS ${dir}/${path})
      string(APPEND missing "\n  ${path}")
    endif()
  endforeach()
  if(missing)
    message(FATAL_ERROR "${readme} names what is not installed beside it:${missing}")
  endif()
  list(LENGTH paths count)
  message(STATUS "${readme}: the ${count} paths it names are installed")
endfunction()

if(DEFINED README)
  check_readme_paths(${README})
endif()
