# kwinet_soname(<var> <imported target> <fallback>): the SONAME of the shared
# library behind an imported target, read from the file itself, so that code
# which loads that library at run time asks for the very version it was
# compiled against. The fallback serves when the file or its SONAME cannot be
# read (a static library, no objdump).
function(kwinet_soname var target fallback)
  set(soname ${fallback})
  get_target_property(file ${target} IMPORTED_LOCATION)
  if(NOT file)
    get_target_property(configs ${target} IMPORTED_CONFIGURATIONS)
    foreach(config IN LISTS configs)
      get_target_property(file ${target} IMPORTED_LOCATION_${config})
      if(file)
        break()
      endif()
    endforeach()
  endif()
  if(file AND EXISTS "${file}" AND CMAKE_OBJDUMP)
    execute_process(COMMAND ${CMAKE_OBJDUMP} -p "${file}" OUTPUT_VARIABLE dump ERROR_QUIET RESULT_VARIABLE rc)
    if(rc EQUAL 0 AND dump MATCHES "SONAME +([^ \t\r\n]+)")
      set(soname ${CMAKE_MATCH_1})
    endif()
  endif()
  message(STATUS "${target} is loaded at run time as ${soname}")
  set(${var} ${soname} PARENT_SCOPE)
endfunction()
