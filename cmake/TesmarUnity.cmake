# Unity builds of the libraries: the source files of one folder of a library
# are compiled a few at a time as one file, so the Qt code they share is
# compiled once per group instead of once per file. The groups stay small
# (TESMAR_UNITY_GROUP files of one folder), so touching one file recompiles
# only its group, and the files of a group are all of one subsystem.
#
# In a group, what one file declares at file scope (an anonymous namespace,
# a static function or constant) is seen by the files after it. Two files
# of one folder that give such a helper the same name cannot share a group:
# they are listed in TESMAR_UNITY_APART and compiled on their own. A build
# with -DTESMAR_UNITY=OFF compiles every file on its own, as before.

option(TESMAR_UNITY "Compile the libraries' source files in small groups (unity build)" ON)
set(TESMAR_UNITY_GROUP 8 CACHE STRING "Most source files of one folder compiled as one")

# Each of these defines a file-scope helper under a name that another file of
# its folder uses too (the name and the other file in the comment).
set(TESMAR_UNITY_APART
    calc/fitquality.cpp             # TemperatureNames: calc/calibrationreport.cpp
    calc/lsqcalibration.cpp         # failure(): calc/calibrationsession.cpp
    devicedata/devicedatafile.cpp   # u8(): devicedata/deviceitems.cpp
    guided/guidedstate.cpp          # sensorKeys: guided/guidedplan.cpp
    history/historyqueue.cpp        # number(), numberFrom(): history/historystore.cpp
    history/historyguided.cpp       # number(): history/historystore.cpp
)

# tesmar_unity(target): groups the target's .cpp files by folder. Call it in
# the directory that defines the target, after every folder added its files.
function(tesmar_unity target)
    if(NOT TESMAR_UNITY OR CMAKE_VERSION VERSION_LESS 3.18)
        return()
    endif()
    get_target_property(sources ${target} SOURCES)
    foreach(src ${sources})
        if(NOT src MATCHES "\\.cpp$")
            continue()
        endif()
        get_filename_component(path "${src}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
        file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${path})
        if(rel MATCHES "^\\.\\./" OR rel IN_LIST TESMAR_UNITY_APART)
            continue()
        endif()
        get_filename_component(folder "${rel}" DIRECTORY)
        string(MAKE_C_IDENTIFIER "${target}_${folder}" key)
        if(NOT DEFINED count_${key})
            set(count_${key} 0)
        endif()
        math(EXPR group "${count_${key}} / ${TESMAR_UNITY_GROUP}")
        math(EXPR count_${key} "${count_${key}} + 1")
        set_source_files_properties(${src} PROPERTIES UNITY_GROUP ${key}_${group})
    endforeach()
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_MODE GROUP)
endfunction()
