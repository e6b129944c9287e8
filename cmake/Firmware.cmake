# Assemble a Z80 source with z80asm and embed the binary as a C++ byte array.
#   vantorel_firmware(<name> <source.asm> [DEFINE <LABEL>=<value>...])
# produces ${CMAKE_BINARY_DIR}/firmware/<name>.bin and <name>_bin.cpp, which defines
#   extern const unsigned char firmware_<name>[]; extern const unsigned firmware_<name>_size;
# z80asm has no -D: the labels given with DEFINE are written as equ lines into a file that is
# assembled ahead of the source, so one source can be built in several variants.
find_program(Z80ASM z80asm REQUIRED)
set(VANTOREL_FIRMWARE_DIR ${CMAKE_BINARY_DIR}/firmware)
file(MAKE_DIRECTORY ${VANTOREL_FIRMWARE_DIR})

function(vantorel_firmware name source)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "" "DEFINE")
  set(bin ${VANTOREL_FIRMWARE_DIR}/${name}.bin)
  set(cpp ${VANTOREL_FIRMWARE_DIR}/${name}_bin.cpp)
  get_filename_component(src_abs ${source} ABSOLUTE)
  get_filename_component(src_dir ${src_abs} DIRECTORY)
  file(GLOB includes ${src_dir}/*.inc)
  set(prelude "")
  set(prelude_args "")
  if(ARG_DEFINE)
    set(prelude ${VANTOREL_FIRMWARE_DIR}/${name}_defines.asm)
    set(lines "")
    foreach(definition ${ARG_DEFINE})
      string(REPLACE "=" ": equ " line "${definition}")
      string(APPEND lines "${line}\n")
    endforeach()
    # Rewritten only when it changes, so that a new configure does not assemble again.
    set(old "")
    if(EXISTS ${prelude})
      file(READ ${prelude} old)
    endif()
    if(NOT old STREQUAL lines)
      file(WRITE ${prelude} "${lines}")
    endif()
    set(prelude_args -i ${prelude})
  endif()
  add_custom_command(OUTPUT ${bin}
    COMMAND ${Z80ASM} -I ${src_dir} -o ${bin} ${prelude_args} ${src_abs}
    DEPENDS ${src_abs} ${includes} ${prelude}
    COMMENT "Assembling ${name}")
  add_custom_command(OUTPUT ${cpp}
    COMMAND ${CMAKE_COMMAND} -DIN=${bin} -DOUT=${cpp} -DNAME=firmware_${name} -P ${PROJECT_SOURCE_DIR}/cmake/EmbedData.cmake
    DEPENDS ${bin} ${PROJECT_SOURCE_DIR}/cmake/EmbedData.cmake)
  set_property(GLOBAL APPEND PROPERTY VANTOREL_FIRMWARE_CPP ${cpp})
  set_property(GLOBAL APPEND PROPERTY VANTOREL_FIRMWARE_BIN ${bin})
endfunction()
