ostrel_add_test(tst_mainwindow LABEL gui
  SOURCES tst_mainwindow.cpp TestDrivers.h
  LIBS ostrel_app)
ostrel_add_test(tst_settings LABEL unit
  SOURCES tst_settings.cpp
  LIBS ostrel_app)
