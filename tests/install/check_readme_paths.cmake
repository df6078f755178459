# Fails unless the paths an installed README names are there beside it: every relative
# markdown link, and every plain path in backticks under examples/ or docs/ (the folders
# installed with it; the README calls its other paths the source tree's).
#
#   cmake -DREADME=<installed README.md> -P check_readme_paths.cmake
# or include() it and call check_readme_paths(<README.md>).
function(check_readme_paths readme)
  file(READ ${readme} text)
  # A "]" would hide the semicolons of the list of matches from CMake: "](" becomes "}(".
  string(REPLACE "]" "}" text "${text}")
  string(REGEX MATCHALL "}\\([^)#:]+[)#]" links "${text}")
  string(REGEX MATCHALL "`(examples|docs)/[A-Za-z0-9_./-]*`" quoted "${text}")
  string(REGEX REPLACE "[`}()#]" "" paths "${links};${quoted}")
  if(NOT links OR NOT quoted)
    message(SEND_ERROR "${readme}: no link or examples/ or docs/ path found; is it the README?")
  endif()
  get_filename_component(dir ${readme} DIRECTORY)
  foreach(path IN LISTS paths)
    if(path AND NOT EXISTS ${dir}/${path})
      message(SEND_ERROR "${readme} names ${path}, which is not installed beside it")
    endif()
  endforeach()
endfunction()

if(DEFINED README)
  check_readme_paths(${README})
endif()
