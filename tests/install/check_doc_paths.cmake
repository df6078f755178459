# Fails unless the paths the installed documents name are installed: every relative markdown
# link (from the document's folder) and every plain path in backticks under examples/ or docs/
# (from the folder of the documents, the layout of the source tree). A package's documents may
# name the other package's: a path is found in ROOT or in the same place under one of ALSO
# (the documents' folder of a package it depends on). Paths under one of ABSENT may be missing
# (what the build did not make, such as the host interface reference without Doxygen).
#
#   cmake -DROOT=<share/doc/NAME> [-DALSO=<dir>[;<dir>...]] [-DABSENT=<path>[;...]]
#         -P check_doc_paths.cmake
# or include() it and call check_doc_paths(<root> ALSO <dir>... ABSENT <path>...).
function(check_doc_paths root)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "ALSO;ABSENT")
  file(GLOB_RECURSE docs RELATIVE ${root} ${root}/*.md)
  list(FILTER docs EXCLUDE REGEX "^(examples|docs/host-reference)/")
  if(NOT docs)
    message(SEND_ERROR "${root}: no documents installed")
  endif()
  set(named 0)
  foreach(doc IN LISTS docs)
    file(READ ${root}/${doc} text)
    get_filename_component(dir ${doc} DIRECTORY)
    # A "]" would hide the semicolons of the list of matches from CMake: "](" becomes "}(".
    string(REPLACE "]" "}" text "${text}")
    string(REGEX MATCHALL "}\\([^)#:]+[)#]" links "${text}")
    string(REGEX MATCHALL "`(examples|docs)/[A-Za-z0-9_./-]*`" quoted "${text}")
    string(REGEX REPLACE "[}()#]" "" links "${links}")
    string(REGEX REPLACE "[`]" "" quoted "${quoted}")
    set(paths)
    foreach(link IN LISTS links)
      if(link)
        cmake_path(APPEND dir ${link} OUTPUT_VARIABLE path)
        cmake_path(NORMAL_PATH path)
        list(APPEND paths ${path})
      endif()
    endforeach()
    list(APPEND paths ${quoted})
    foreach(path IN LISTS paths)
      math(EXPR named "${named} + 1")
      set(found FALSE)
      foreach(base IN ITEMS ${root} ${arg_ALSO})
        if(EXISTS ${base}/${path})
          set(found TRUE)
        endif()
      endforeach()
      foreach(absent IN LISTS arg_ABSENT)
        string(FIND "${path}" "${absent}" at)
        if(at EQUAL 0)
          set(found TRUE)
        endif()
      endforeach()
      if(NOT found)
        message(SEND_ERROR "${root}/${doc} names ${path}, which is not installed")
      endif()
    endforeach()
  endforeach()
  if(named EQUAL 0)
    message(SEND_ERROR "${root}: its documents name no path; are they the documents?")
  endif()
endfunction()

if(DEFINED ROOT)
  check_doc_paths(${ROOT} ALSO ${ALSO} ABSENT ${ABSENT})
endif()
