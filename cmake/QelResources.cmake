# qel_add_resources(<target>
#   RESOURCE <type> <id> [LANGUAGE <number>] FILE <path>
#   RESOURCE <type> <id> [LANGUAGE <number>] TEXT <text>
#   RESOURCE <type> <id> [LANGUAGE <number>] HEX "<byte> <byte> ..."
#   ...)
#
# Puts the resources into the target's ELF file, in a section named .qelres that
# comrt::ReadResource finds through the section headers. <type> is a name
# (TYPELIB) or a number (16); LANGUAGE defaults to 0, neutral. FILE takes the
# bytes of a file, which may be made by the build; TEXT takes the text's bytes
# without a terminating zero (it cannot hold ";", the list separator of CMake);
# HEX takes bytes written as hexadecimal pairs.
#
# The section's layout, all numbers 32-bit little-endian:
#   "QELRES01", count, then per resource: type number (0 for a named type),
#   type name length, type name bytes, id, language, data length, data bytes.
function(qel_add_resources target)
  set(lines ".pushsection .qelres, \"a\"" ".ascii \"QELRES01\"")
  set(depends "")
  set(count 0)
  set(args ${ARGN})
  list(LENGTH args remaining)
  while(remaining GREATER 0)
    list(POP_FRONT args keyword type id)
    if(NOT keyword STREQUAL "RESOURCE" OR "${id}" STREQUAL "")
      message(FATAL_ERROR "qel_add_resources: expected RESOURCE <type> <id>, got '${keyword} ${type} ${id}'")
    endif()
    set(language 0)
    list(POP_FRONT args form)
    if(form STREQUAL "LANGUAGE")
      list(POP_FRONT args language form)
    endif()
    list(POP_FRONT args payload)

    if(type MATCHES "^[0-9]+$")
      list(APPEND lines ".long ${type}, 0")
    else()
      string(LENGTH "${type}" name_length)
      _qel_resource_bytes("${type}" name_bytes)
      list(APPEND lines ".long 0, ${name_length}" ".byte ${name_bytes}")
    endif()
    math(EXPR start "${count} * 2 + 1")
    math(EXPR end "${start} + 1")
    list(APPEND lines ".long ${id}, ${language}, ${end}f - ${start}f" "${start}:")
    if(form STREQUAL "FILE")
      get_filename_component(path "${payload}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      if(path MATCHES "[\"\\]")
        message(FATAL_ERROR "qel_add_resources: the path ${path} holds a quote or backslash")
      endif()
      list(APPEND lines ".incbin \"${path}\"")
      list(APPEND depends ${path})
    elseif(form STREQUAL "TEXT")
      if(NOT "${payload}" STREQUAL "")
        _qel_resource_bytes("${payload}" bytes)
        list(APPEND lines ".byte ${bytes}")
      endif()
    elseif(form STREQUAL "HEX")
      string(REGEX MATCHALL "[0-9A-Fa-f][0-9A-Fa-f]?" pairs "${payload}")
      if(pairs)
        list(TRANSFORM pairs PREPEND "0x")
        list(JOIN pairs "," bytes)
        list(APPEND lines ".byte ${bytes}")
      endif()
    else()
      message(FATAL_ERROR "qel_add_resources: resource ${type} ${id} needs FILE, TEXT or HEX, got '${form}'")
    endif()
    list(APPEND lines "${end}:")
    math(EXPR count "${count} + 1")
    list(LENGTH args remaining)
  endwhile()
  list(INSERT lines 2 ".long ${count}")
  list(APPEND lines ".popsection")

  set(content "/* The resources of ${target}, made by qel_add_resources. */\n__asm__(\n")
  foreach(line IN LISTS lines)
    string(REPLACE "\\" "\\\\" line "${line}")
    string(REPLACE "\"" "\\\"" line "${line}")
    string(APPEND content "  \"${line}\\n\"\n")
  endforeach()
  string(APPEND content ");\n")
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.c)
  file(GENERATE OUTPUT ${source} CONTENT "${content}")
  set_source_files_properties(${source} PROPERTIES GENERATED TRUE OBJECT_DEPENDS "${depends}")
  target_sources(${target} PRIVATE ${source})
endfunction()

# The bytes of a text as an assembler .byte list: 0x41,0x42,...
function(_qel_resource_bytes text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE ",$" "" bytes "${bytes}")
  set(${out} "${bytes}" PARENT_SCOPE)
endfunction()
