# Writes a Windows DLL's .def file and, where the names are decorated, its
# import library (cmake/windows.cmake runs it after each link):
#   cmake -DLINKER_DEF=list.def -DDLL=bin/Tessaro.dll -DDLLTOOL=dlltool -P windows-exports.cmake
# LINKER_DEF is the linker's --output-def with --kill-at: "Name @1" for a name
# exported as compiled, "Name = Name@8 @2" for a __stdcall function exported
# undecorated. Beside the DLL go Tessaro.def with the exported names alone
# ("Name @2") and, when any name was decorated, Tessaro.lib made by dlltool
# from the decorated names, so that a caller compiled against the headers
# (which asks for _Name@8) is bound to the export Name.
file(STRINGS ${LINKER_DEF} lines)
get_filename_component(folder ${DLL} DIRECTORY)
get_filename_component(base ${DLL} NAME_WE)
get_filename_component(dll_name ${DLL} NAME)

set(exported "EXPORTS\n")
set(decorated "LIBRARY ${dll_name}\nEXPORTS\n")
set(any_decorated FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*) = ([A-Za-z_][A-Za-z0-9_]*@[0-9]+) (@[0-9]+.*)$")
    string(APPEND exported "    ${CMAKE_MATCH_1} ${CMAKE_MATCH_3}\n")
    string(APPEND decorated "    ${CMAKE_MATCH_2} ${CMAKE_MATCH_3}\n")
    set(any_decorated TRUE)
  elseif(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*) (@[0-9]+.*)$")
    string(APPEND exported "    ${CMAKE_MATCH_1} ${CMAKE_MATCH_2}\n")
    string(APPEND decorated "    ${CMAKE_MATCH_1} ${CMAKE_MATCH_2}\n")
  elseif(NOT line MATCHES "^(EXPORTS|LIBRARY.*|[ \t]*)$")
    message(FATAL_ERROR "${LINKER_DEF}: a line not understood: ${line}")
  endif()
endforeach()
file(WRITE ${folder}/${base}.def "${exported}")

if(any_decorated)
  file(WRITE ${LINKER_DEF}.decorated "${decorated}")
  execute_process(COMMAND ${DLLTOOL} --kill-at --input-def ${LINKER_DEF}.decorated
                          --dllname ${dll_name} --output-lib ${folder}/${base}.lib
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${DLLTOOL} could not make ${base}.lib")
  endif()
endif()
