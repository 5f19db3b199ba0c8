ostrel_add_test(tst_mainwindow LABEL gui
  SOURCES tst_mainwindow.cpp MainFixture.h ../net/Peer.cpp ../net/Peer.h
  LIBS ostrel_app)
ostrel_add_test(tst_settings LABEL unit
  SOURCES tst_settings.cpp
  LIBS ostrel_app)
ostrel_add_test(tst_controlstates LABEL unit
  SOURCES tst_controlstates.cpp
  LIBS ostrel_app)
# Detection sessions: the window and the camera here, the servers in the _net build.
ostrel_add_test(tst_motionsession LABEL gui
  SOURCES tst_motionsession.cpp MainFixture.h ../net/Peer.cpp ../net/Peer.h
  LIBS ostrel_app)
ostrel_add_test(tst_motionsession_net LABEL net
  SOURCES tst_motionsession.cpp MainFixture.h ../net/Peer.cpp ../net/Peer.h
  LIBS ostrel_app)
target_compile_definitions(tst_motionsession_net PRIVATE OSTREL_MOTION_NET)
# The website update against the real FTP and SMTP servers of tests/peers.
ostrel_add_test(tst_websiteupdate LABEL net
  SOURCES tst_websiteupdate.cpp MainFixture.h ../net/Peer.cpp ../net/Peer.h
  LIBS ostrel_app PkgConfig::TURBOJPEG)
target_include_directories(tst_websiteupdate PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../web)
