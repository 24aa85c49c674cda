# Compiles the help project with chmcmd in a scratch copy of the sources and
# puts the result at OUTPUT. Fails on any error or warning (a missing page, a
# broken link), so a faulty help file never reaches the program's folder.
#
# cmake -DCHMCMD=<chmcmd> -DSOURCE_DIR=<dir> -DSTAGE_DIR=<dir> -DOUTPUT=<file.chm> -P compile_help.cmake

foreach(var CHMCMD SOURCE_DIR STAGE_DIR OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "compile_help: ${var} is not set")
    endif()
endforeach()

file(REMOVE ${OUTPUT})
file(REMOVE_RECURSE ${STAGE_DIR})
file(MAKE_DIRECTORY ${STAGE_DIR})
file(GLOB sources ${SOURCE_DIR}/*.html ${SOURCE_DIR}/*.hhc ${SOURCE_DIR}/*.hhp)
file(COPY ${sources} DESTINATION ${STAGE_DIR})

execute_process(COMMAND ${CHMCMD} keywarden.hhp
    WORKING_DIRECTORY ${STAGE_DIR}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE out
    ERROR_VARIABLE out)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "chmcmd failed (${result}):\n${out}")
endif()
if(out MATCHES "Warning|Error|exception")
    message(FATAL_ERROR "chmcmd reported problems:\n${out}")
endif()
if(NOT EXISTS ${STAGE_DIR}/keywarden.chm)
    message(FATAL_ERROR "chmcmd wrote no keywarden.chm:\n${out}")
endif()

get_filename_component(out_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
file(COPY_FILE ${STAGE_DIR}/keywarden.chm ${OUTPUT})
