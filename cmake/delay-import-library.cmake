# Writes a delay-load import library for DLL from its ordinary import library:
# every function IMPORT_LIBRARY imports is listed in a module definition, and
# dlltool makes the library whose calls load DLL at the first call
# (base/delay_load_hook.h decides from where).
#
#   cmake -DNM=... -DDLLTOOL=... -DIMPORT_LIBRARY=libx.a -DDLL=x.dll -DOUTPUT=libx_delayed.a
#         -P delay-import-library.cmake
execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIBRARY}
                OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "__imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
list(TRANSFORM imports REPLACE "^__imp_" "")
list(REMOVE_DUPLICATES imports)
list(SORT imports)
if(NOT imports)
  message(FATAL_ERROR "${IMPORT_LIBRARY} imports no function")
endif()
list(JOIN imports "\n  " exports)
set(definition ${OUTPUT}.def)
file(WRITE ${definition} "LIBRARY \"${DLL}\"\nEXPORTS\n  ${exports}\n")
execute_process(COMMAND ${DLLTOOL} --input-def ${definition} --dllname ${DLL}
                        --output-delaylib ${OUTPUT}
                COMMAND_ERROR_IS_FATAL ANY)
