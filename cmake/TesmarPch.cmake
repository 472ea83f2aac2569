# Precompiled headers: most of a first build went into parsing the same Qt
# headers again for every source file. Each library precompiles the Qt
# headers its files include most; the tests share two precompiled headers
# (core and GUI tests), each made once by a small target with the tests'
# own flags and reused by every test of its kind.
#
# The programs are the same with or without them; configure with
# -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON to build without (a source file that
# forgot an include then shows it).

set(TESMAR_PCH_CORE
    <algorithm> <cmath> <functional> <memory> <vector>
    <QByteArray> <QDateTime> <QDir> <QElapsedTimer> <QFile> <QFileInfo> <QHash>
    <QJsonArray> <QJsonDocument> <QJsonObject> <QList> <QMap> <QObject> <QPointer>
    <QSet> <QSettings> <QString> <QStringList> <QTextStream> <QTimer> <QVariant>
    <QVector>)

set(TESMAR_PCH_GUI
    <QAction> <QApplication> <QCheckBox> <QComboBox> <QDialog> <QDockWidget>
    <QDoubleSpinBox> <QFileDialog> <QFormLayout> <QGridLayout> <QGroupBox>
    <QHBoxLayout> <QHeaderView> <QLabel> <QLineEdit> <QMainWindow> <QMenu>
    <QMenuBar> <QMessageBox> <QPainter> <QPushButton> <QScrollBar> <QSpinBox>
    <QStandardItemModel> <QStatusBar> <QTabWidget> <QTableView> <QTableWidget>
    <QTextEdit> <QToolButton> <QVBoxLayout> <QWidget>)

# ccache takes a file compiled with a precompiled header only when told
# that the header's macros and time stamps may be trusted.
if(NOT CMAKE_DISABLE_PRECOMPILE_HEADERS AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
        CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
        ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

# tesmar_pch_libraries(): the core and GUI libraries' own headers. The
# virtual line's few files would spend as long making a header as they save.
function(tesmar_pch_libraries)
    target_precompile_headers(tesmar_core PRIVATE ${TESMAR_PCH_CORE})
    if(TARGET tesmar_gui)
        target_precompile_headers(tesmar_gui PRIVATE ${TESMAR_PCH_CORE} ${TESMAR_PCH_GUI})
    endif()
endfunction()

# tesmar_pch_reuse(target group headers...): the tests and benches of one
# group (core tests, GUI tests, ...) all link the same libraries, so they
# share one precompiled header, made once by the target tesmar_pch_<group>
# with the flags of the group's first target (a header made with other flags
# would be refused by the compiler).
function(tesmar_pch_reuse target group)
    if(CMAKE_DISABLE_PRECOMPILE_HEADERS)
        return()
    endif()
    set(donor tesmar_pch_${group})
    if(NOT TARGET ${donor})
        set(anchor ${CMAKE_CURRENT_BINARY_DIR}/${donor}.cpp)
        if(NOT EXISTS ${anchor})
            file(WRITE ${anchor} "// Makes the precompiled header of ${group}; holds no code.\n")
        endif()
        add_library(${donor} OBJECT EXCLUDE_FROM_ALL ${anchor})
        set_target_properties(${donor} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
        get_target_property(libraries ${target} LINK_LIBRARIES)
        target_link_libraries(${donor} PRIVATE ${libraries})
        get_target_property(includes ${target} INCLUDE_DIRECTORIES)
        if(includes)
            target_include_directories(${donor} PRIVATE ${includes})
        endif()
        target_precompile_headers(${donor} PRIVATE ${ARGN})
    endif()
    target_precompile_headers(${target} REUSE_FROM ${donor})
    # A test's own moc output is included by its source file; the file moc
    # leaves for the target holds nothing, and loading the header into it
    # would cost more than compiling it.
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/mocs_compilation.cpp
                                PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endfunction()
