# The library's interface: the headers that an application includes, and
# the only ones installed (under include/kwinet). Every other header is the
# library's own business and stays in the source tree: the transfer driver
# and its handle table, the XML scanner, the picture decoders, the protocol
# readers and request builders, the temporary-copy helper, the folder walks,
# the TLS transport, the block allocator and the
# run-time loader. Their symbols are hidden in libkwinet. A public header
# includes public headers only (the consumer test checks the installed tree).
set(KWINET_PUBLIC_HEADERS
  core/Application.h core/Classes.h core/ComCtrls.h core/DateTime.h core/Exceptions.h core/Forms.h core/Jobs.h
  core/Picture.h core/PixelImage.h core/Resources.h core/Streams.h core/String.h core/StringList.h core/Variant.h
  graphics/PictureLoader.h
  storage/FormStream.h storage/FormText.h storage/TypInfo.h
  utils/CodePage.h utils/HttpHead.h utils/KwILogOn.h utils/KwInCnst.h utils/KwInProxy.h utils/PartFile.h
  utils/PrivateTemp.h utils/ProxyPolicy.h utils/RedactUrl.h utils/kwiutil.h
  ui/ConsoleBackend.h ui/ScriptedBackend.h ui/TerminalText.h
  socket/ClientSocket.h socket/KwIDNS.h socket/KwIHTTP.h socket/KwIMailAddress.h socket/KwIMime.h
  socket/KwISMTP.h socket/KwISNTP.h socket/KwITime.h socket/KwIWeath.h socket/KwInBase.h socket/KwWhoIs.h
  socket/SmtpReply.h
  xml/KwInetXML.h xml/KwXMLEntities.h xml/KwXMLItems.h xml/KwXMLText.h
  web/InetHandle.h web/KwIRSS.h web/KwInStat.h web/KwInet.h web/LinkScanner.h web/ProgressPresenter.h web/ServiceCall.h web/kwidir.h web/kwidirect.h
  web/kwiimage.h web/kwiupdate.h web/kwixtract.h
  tracking/KwIFedEx.h tracking/KwITrack.h tracking/KwIUPS.h tracking/TrackXML.h
  translate/KwICustomTranslator.h translate/KwIGoogleTranslate.h translate/KwIMSTranslator.h
  design/Designer.h design/KwInetClasses.h design/KwInetR.h design/RecordingDesigner.h)
set(KWINET_QT_PUBLIC_HEADERS ui/qt/QtBackend.h ui/qt/QtDisplay.h)

# Public headers that moved, installed at their old path too for one
# release: each old path only includes the new one. Pairs OLD=NEW.
set(KWINET_MOVED_HEADERS
  core/FormStream.h=storage/FormStream.h
  core/FormText.h=storage/FormText.h
  core/TypInfo.h=storage/TypInfo.h)

# Installs HEADERS (paths under kwinet/) keeping their folders.
function(kwinet_install_headers)
  foreach(header IN LISTS ARGN)
    get_filename_component(dir ${header} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/kwinet/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kwinet/${dir} COMPONENT Development)
  endforeach()
endfunction()

# Writes and installs the old paths of KWINET_MOVED_HEADERS.
function(kwinet_install_moved_headers)
  foreach(pair IN LISTS KWINET_MOVED_HEADERS)
    string(REPLACE "=" ";" parts ${pair})
    list(GET parts 0 old)
    list(GET parts 1 new)
    set(out ${PROJECT_BINARY_DIR}/moved-headers/kwinet/${old})
    file(WRITE ${out}
      "// kwinet/${old} has moved to kwinet/${new}; include that instead.\n"
      "// This path goes away in the next release.\n"
      "#pragma once\n\n#include \"kwinet/${new}\"\n")
    get_filename_component(dir ${old} DIRECTORY)
    install(FILES ${out} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kwinet/${dir} COMPONENT Development)
  endforeach()
endfunction()
