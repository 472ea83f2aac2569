# TESMAR_VERSION_FULL: the project version, and on a git checkout of this
# source tree the number of commits and the commit itself
# (0.1+212.g1a2b3c4), which Debian orders correctly from one build to the
# next. Anything else (a source archive, git missing or refusing the
# repository) gives the project version alone.
#
# The checkout's HEAD and its reflog are configure dependencies, so a new
# commit re-runs cmake and the programs report the commit they were built from.

set(TESMAR_VERSION_FULL ${PROJECT_VERSION})
find_package(Git QUIET)
if(GIT_FOUND)
    function(tesmar_git out)
        execute_process(COMMAND ${GIT_EXECUTABLE} ${ARGN}
                        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                        RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_QUIET
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(rc EQUAL 0)
            set(${out} "${text}" PARENT_SCOPE)
        else()
            set(${out} "" PARENT_SCOPE)
        endif()
    endfunction()

    # Only this tree's own repository, not one it happens to be unpacked in.
    tesmar_git(top rev-parse --show-toplevel)
    if(top)
        get_filename_component(top "${top}" REALPATH)
        get_filename_component(src "${CMAKE_SOURCE_DIR}" REALPATH)
    endif()
    if(top AND top STREQUAL src)
        tesmar_git(hash rev-parse --short=7 HEAD)
        tesmar_git(count rev-list --count HEAD)
        if(hash AND count)
            set(TESMAR_VERSION_FULL "${PROJECT_VERSION}+${count}.g${hash}")
        endif()
        foreach(name HEAD logs/HEAD)
            tesmar_git(path rev-parse --git-path ${name})
            if(path AND NOT IS_ABSOLUTE "${path}")
                set(path "${CMAKE_SOURCE_DIR}/${path}")
            endif()
            if(path AND EXISTS "${path}")
                set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
            endif()
        endforeach()
    endif()
endif()
