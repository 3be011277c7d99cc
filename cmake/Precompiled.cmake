# SPDX-License-Identifier: GPL-3.0-or-later
# Precompiled Qt headers: every compiler run parsed them again, and that was most of the build.
# Three headers are built (Qt Core's, the window's, the tests'); every other target reuses the
# one that fits what it links, as all are compiled with the same flags. GCC takes a header
# only where each macro it was built with is defined alike, so each is built on its own, with
# the fewest Qt modules of its users. A target added later without a line here simply builds
# without one.
set(LUMO_PCH_CORE <QByteArray> <QDateTime> <QDir> <QFile> <QHash> <QJsonArray> <QJsonDocument>
    <QJsonObject> <QList> <QObject> <QRegularExpression> <QString> <QStringList> <QTimer> <QUrl>
    <algorithm> <chrono> <functional> <memory> <optional> <vector>)
set(LUMO_PCH_WIDGETS <QHostAddress> <QTcpServer> <QTcpSocket> <QApplication> <QLabel> <QLineEdit>
    <QListWidget> <QPushButton> <QWidget>)

function(lumo_reuse_pch from)
    foreach(target ${ARGN})
        if(TARGET ${target})
            target_precompile_headers(${target} REUSE_FROM ${from})
        endif()
    endforeach()
endfunction()

# lumo_pch_owner(NAME QT_TARGETS HEADERS): a target that builds the header alone, on an empty
# source, with no definitions but those of the Qt modules it links.
function(lumo_pch_owner name libraries headers)
    file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/pch/${name}.cpp CONTENT "// The precompiled header alone.\n")
    add_library(${name} OBJECT EXCLUDE_FROM_ALL ${PROJECT_BINARY_DIR}/pch/${name}.cpp)
    target_link_libraries(${name} PRIVATE ${libraries})
    set_target_properties(${name} PROPERTIES AUTOMOC OFF UNITY_BUILD OFF)
    target_precompile_headers(${name} PRIVATE ${headers})
endfunction()

# Qt Core alone: every library and program links at least that.
lumo_pch_owner(lumo_pch_core Qt6::Core "${LUMO_PCH_CORE}")
lumo_reuse_pch(lumo_pch_core lumo_core lumo-cli lumo_sources lumo_sites_core lumo_httpclient
               lumo_rdap lumo_zones lumo_czds lumo_sites_store lumo-sites)
if(LUMO_FUZZ)
    get_property(fuzzers DIRECTORY fuzz PROPERTY BUILDSYSTEM_TARGETS)
    list(FILTER fuzzers INCLUDE REGEX "^fuzz_")
    lumo_reuse_pch(lumo_pch_core ${fuzzers})
endif()

lumo_pch_owner(lumo_pch_window "Qt6::Widgets;Qt6::Network" "${LUMO_PCH_CORE};${LUMO_PCH_WIDGETS}")
lumo_reuse_pch(lumo_pch_window lumo_window lumo)

# QtTest defines the folder of the target it builds, so the tests' header is built by a target
# in their folder, the support library.
if(TARGET lumo_testsupport)
    target_precompile_headers(lumo_testsupport PRIVATE ${LUMO_PCH_CORE} ${LUMO_PCH_WIDGETS}
                              <QSignalSpy> <QTemporaryDir> <QTest>)
    get_property(tests DIRECTORY tests PROPERTY BUILDSYSTEM_TARGETS)
    list(FILTER tests INCLUDE REGEX "^tst_")
    lumo_reuse_pch(lumo_testsupport ${tests})
endif()
