# Writes OUTPUT, the header that names the commit the program is built from:
# COMMIT when given, else git's HEAD in SOURCE_DIR, marked when tracked files
# differ from it. The file is rewritten only when its text changes, so an
# unchanged commit rebuilds nothing.
if(COMMIT)
    set(text "Commit ${COMMIT}")
else()
    set(text "Commit unknown")
    if(GIT)
        execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse HEAD
            OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
        if(NOT failed)
            execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} status --porcelain --untracked-files=no
                OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
            set(text "Commit ${head}")
            if(changes)
                string(APPEND text " with local changes")
            endif()
        endif()
    endif()
endif()
set(content "#define UPDATER_BUILD_COMMIT \"${text}\"\n")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
endif()
if(NOT "${old}" STREQUAL "${content}")
    file(WRITE ${OUTPUT} "${content}")
endif()
