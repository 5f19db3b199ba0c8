# One precompiled header of the Qt headers most files include, compiled once and reused by
# every library, program and test of the tree. A compile that reuses it must match the one
# that made it apart from definitions of its own; every target here links Qt Widgets, whose
# definitions the header is made with.
set(ostrel_pch_source ${CMAKE_BINARY_DIR}/ostrel_pch.cpp)
file(CONFIGURE OUTPUT ${ostrel_pch_source} CONTENT "// Compiles the shared precompiled header.\n")
add_library(ostrel_pch STATIC ${ostrel_pch_source})
target_link_libraries(ostrel_pch PRIVATE Qt6::Widgets)
target_precompile_headers(ostrel_pch PRIVATE
  <memory> <functional> <optional> <vector> <string>
  <QObject> <QString> <QStringList> <QByteArray> <QList> <QMap> <QHash> <QVariant>
  <QFile> <QDir> <QFileInfo> <QDateTime> <QTimer> <QPointer>
  <QImage> <QPixmap> <QPainter>
  <QWidget> <QDialog> <QLabel> <QPushButton> <QComboBox> <QLineEdit> <QCheckBox>
  <QApplication>)

function(ostrel_targets_under dir out)
  get_property(found DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    ostrel_targets_under(${sub} more)
    list(APPEND found ${more})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

ostrel_targets_under(${CMAKE_SOURCE_DIR} ostrel_all_targets)
foreach(target IN LISTS ostrel_all_targets)
  get_target_property(type ${target} TYPE)
  if(target STREQUAL "ostrel_pch" OR NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$")
    continue()
  endif()
  target_precompile_headers(${target} REUSE_FROM ostrel_pch)
endforeach()
