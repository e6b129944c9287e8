# Data the desktop program carries inside itself: the About dialog's logo.
set(VANTOREL_LOGO_CPP ${CMAKE_CURRENT_BINARY_DIR}/generated/vantorel_logo_png.cpp)
add_custom_command(
  OUTPUT ${VANTOREL_LOGO_CPP}
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_CURRENT_SOURCE_DIR}/data/logo.png -DOUT=${VANTOREL_LOGO_CPP}
          -DNAME=vantorel_logo_png -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/EmbedData.cmake
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/data/logo.png ${CMAKE_CURRENT_SOURCE_DIR}/cmake/EmbedData.cmake
  COMMENT "Embedding the logo")
target_sources(vantorel_desktop PRIVATE ${VANTOREL_LOGO_CPP})
