# The C interface's files written from its one list of forwarding functions,
# api/vexa_functions.h:
#
#  - the header vexa.h that the package installs: api/vexa.h.in with a plain
#    prototype for each entry of the list, documented with the entry's
#    sentence and with the parameters, result and notes of its C++ function
#    in SKYREL.h, the parameter names in lower snake case;
#  - the Python package's table python/vexa/_signatures.py: the result and
#    parameters of every C function, those of the list and those that
#    vexa.h.in declares itself. It is kept in the source tree (the Python
#    package is built from python/ alone) and checked against the list.
#
# At configure time: include() this file, then
#     vexa_write_c_header(<source dir> <header to write>)
# As a script, from the source tree:
#     cmake -DVEXA_ACTION=python -P cmake/VexaInterface.cmake
#         rewrites python/vexa/_signatures.py from the list
#     cmake -DVEXA_ACTION=check -P cmake/VexaInterface.cmake
#         fails, naming each difference, when _signatures.py is not what the
#         list gives or a parameter name of the list is not the SKYREL.h
#         parameter's name in lower snake case (the test c_interface_list)
#
# The files are read line by line as CMake lists, so the characters CMake
# lists treat specially (backslash, semicolon, square brackets) are replaced
# by place-holders while reading and put back when writing.

# Reads a file into a list of its lines, special characters replaced.
function(_vexa_read_lines file out)
  file(READ "${file}" text)
  string(REPLACE "\\" "@BS@" text "${text}")
  string(REPLACE ";" "@SC@" text "${text}")
  string(REPLACE "[" "@LB@" text "${text}")
  string(REPLACE "]" "@RB@" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# Puts the special characters back into the text in the variable `var`.
function(_vexa_restore var)
  set(text "${${var}}")
  string(REPLACE "@BS@" "\\" text "${text}")
  string(REPLACE "@SC@" ";" text "${text}")
  string(REPLACE "@LB@" "[" text "${text}")
  string(REPLACE "@RB@" "]" text "${text}")
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

# `name` in lower snake case: networkMode is network_mode.
function(_vexa_snake name out)
  string(REGEX REPLACE "([A-Z])" "_\\1" name "${name}")
  string(TOLOWER "${name}" name)
  set(${out} "${name}" PARENT_SCOPE)
endfunction()

# Reads the list into VEXA_N (the number of entries) and, for entry i,
# VEXA_<i>_RET, _NAME, _CXX, _KINDS, _PARAMS (lists), _BRIEF (its sentence,
# a list of lines) and _SECTION (the heading of a section it opens).
macro(_vexa_parse_list root)
  _vexa_read_lines("${root}/api/vexa_functions.h" _vl_lines)
  set(VEXA_N 0)
  set(_vl_brief "")
  set(_vl_section "")
  set(_vl_rule FALSE)
  set(_vl_entry "")
  foreach(_vl_line IN LISTS _vl_lines)
    if(NOT _vl_entry STREQUAL "")
      string(APPEND _vl_entry " ${_vl_line}")
    elseif(_vl_line MATCHES "^VEXA_FUNCTION\\(")
      set(_vl_entry "${_vl_line}")
    elseif(_vl_line MATCHES "^/// ?(.*)$")
      list(APPEND _vl_brief "${CMAKE_MATCH_1}")
    elseif(_vl_line MATCHES "^// -+$")
      set(_vl_rule TRUE)
      set(_vl_brief "")
    elseif(_vl_rule AND _vl_line MATCHES "^// (.+)$")
      set(_vl_section "${CMAKE_MATCH_1}")
      set(_vl_rule FALSE)
    else()
      set(_vl_brief "")
      set(_vl_rule FALSE)
    endif()
    # An entry ends with the parenthesis that closes VEXA_FUNCTION(.
    if(NOT _vl_entry STREQUAL "")
      string(REGEX MATCHALL "\\(" _vl_open "${_vl_entry}")
      string(REGEX MATCHALL "\\)" _vl_close "${_vl_entry}")
      list(LENGTH _vl_open _vl_nopen)
      list(LENGTH _vl_close _vl_nclose)
      if(_vl_nopen EQUAL _vl_nclose)
        string(REGEX REPLACE "[ \t]+" " " _vl_entry "${_vl_entry}")
        if(NOT _vl_entry MATCHES
           "^VEXA_FUNCTION\\(([a-z]+), *(vexa_[a-z0-9_]+), *([A-Za-z0-9_]+), *(.*)\\) *$")
          message(FATAL_ERROR "vexa_functions.h: an entry that does not read "
                              "VEXA_FUNCTION(ret, name, cxx, (KIND, name)...): ${_vl_entry}")
        endif()
        set(_vl_i ${VEXA_N})
        set(VEXA_${_vl_i}_RET "${CMAKE_MATCH_1}")
        set(VEXA_${_vl_i}_NAME "${CMAKE_MATCH_2}")
        set(VEXA_${_vl_i}_CXX "${CMAKE_MATCH_3}")
        set(_vl_pairs_text "${CMAKE_MATCH_4}")
        set(VEXA_${_vl_i}_KINDS "")
        set(VEXA_${_vl_i}_PARAMS "")
        string(REGEX MATCHALL "\\(([A-Z]+), *([a-z0-9_]*)\\)" _vl_pairs "${_vl_pairs_text}")
        foreach(_vl_pair IN LISTS _vl_pairs)
          string(REGEX MATCH "\\(([A-Z]+), *([a-z0-9_]*)\\)" _vl_unused "${_vl_pair}")
          if(NOT CMAKE_MATCH_1 STREQUAL "VOID")
            list(APPEND VEXA_${_vl_i}_KINDS "${CMAKE_MATCH_1}")
            list(APPEND VEXA_${_vl_i}_PARAMS "${CMAKE_MATCH_2}")
          endif()
        endforeach()
        if(_vl_brief STREQUAL "")
          message(FATAL_ERROR "vexa_functions.h: ${VEXA_${_vl_i}_NAME} has no sentence (/// ...) "
                              "saying what it does")
        endif()
        set(VEXA_${_vl_i}_BRIEF "${_vl_brief}")
        set(VEXA_${_vl_i}_SECTION "${_vl_section}")
        set(_vl_section "")
        set(_vl_brief "")
        set(_vl_entry "")
        math(EXPR VEXA_N "${VEXA_N} + 1")
      endif()
    endif()
  endforeach()
endmacro()

# Reads the declarations of SKYREL.h: for each function F, SKY_<F>_PARAMS
# (its parameter names in order) and SKY_<F>_DOC (the lines of the comment
# above it, without their "/// ").
macro(_vexa_parse_skyrel root)
  _vexa_read_lines("${root}/api/SKYREL.h" _vs_lines)
  set(_vs_doc "")
  set(_vs_decl "")
  foreach(_vs_line IN LISTS _vs_lines)
    if(NOT _vs_decl STREQUAL "")
      string(APPEND _vs_decl " ${_vs_line}")
    elseif(_vs_line MATCHES "^VEXA_API ")
      set(_vs_decl "${_vs_line}")
    elseif(_vs_line MATCHES "^///(.*)$")
      set(_vs_text "${CMAKE_MATCH_1}")
      if(_vs_text MATCHES "^ (.*)$")
        set(_vs_text "${CMAKE_MATCH_1}")
      endif()
      if(NOT _vs_text MATCHES "^@[{}]$")
        list(APPEND _vs_doc "${_vs_text}")
      endif()
    else()
      set(_vs_doc "")
    endif()
    if(NOT _vs_decl STREQUAL "" AND _vs_decl MATCHES "\\) *@SC@")
      if(_vs_decl MATCHES "([A-Za-z_][A-Za-z0-9_]*)\\(([^)]*)\\)")
        set(_vs_name "${CMAKE_MATCH_1}")
        string(REPLACE "," ";" _vs_pieces "${CMAKE_MATCH_2}")
        set(SKY_${_vs_name}_PARAMS "")
        foreach(_vs_piece IN LISTS _vs_pieces)
          if(_vs_piece MATCHES "([A-Za-z_][A-Za-z0-9_]*) *$")
            list(APPEND SKY_${_vs_name}_PARAMS "${CMAKE_MATCH_1}")
          endif()
        endforeach()
        set(SKY_${_vs_name}_DOC "${_vs_doc}")
      endif()
      set(_vs_decl "")
      set(_vs_doc "")
    endif()
  endforeach()
endmacro()

# The C type of each kind of the list.
set(_VEXA_C_TEXT "const char*")
set(_VEXA_C_INT "int")
set(_VEXA_C_BOOL "bool")
set(_VEXA_C_SHORT "short")

# Appends to `out` the documented prototype of entry `i` (after
# _vexa_parse_list and _vexa_parse_skyrel).
macro(_vexa_c_entry i out)
  set(_ve_cxx "${VEXA_${i}_CXX}")
  set(_ve_names "${VEXA_${i}_PARAMS}")
  if(NOT DEFINED SKY_${_ve_cxx}_PARAMS)
    message(FATAL_ERROR "vexa_functions.h: ${VEXA_${i}_NAME} forwards to ${_ve_cxx}, "
                        "which SKYREL.h does not declare")
  endif()
  set(_ve_sky "${SKY_${_ve_cxx}_PARAMS}")
  list(LENGTH _ve_names _ve_n)
  list(LENGTH _ve_sky _ve_nsky)
  if(NOT _ve_n EQUAL _ve_nsky)
    message(FATAL_ERROR "vexa_functions.h: ${VEXA_${i}_NAME} has ${_ve_n} parameters, "
                        "${_ve_cxx} in SKYREL.h ${_ve_nsky}")
  endif()
  # The comment of the C++ function: its description is left to SKYREL.h;
  # each \param becomes one entry under the C name of the parameter at the
  # same place; \return, and any line at the margin after the parameters,
  # are kept as they are.
  set(_ve_pnames "")
  set(_ve_tail "")
  set(_ve_mode "description")
  set(_ve_k -1)
  foreach(_ve_line IN LISTS SKY_${_ve_cxx}_DOC)
    if(_ve_line MATCHES "^@BS@param +([A-Za-z0-9_]+) +(.*)$")
      math(EXPR _ve_k "${_ve_k} + 1")
      list(FIND _ve_sky "${CMAKE_MATCH_1}" _ve_at)
      if(_ve_at EQUAL -1)
        set(_ve_cname "${CMAKE_MATCH_1}")
      else()
        list(GET _ve_names ${_ve_at} _ve_cname)
      endif()
      list(APPEND _ve_pnames "${_ve_cname}")
      set(_ve_ptext_${_ve_k} "${CMAKE_MATCH_2}")
      set(_ve_mode "param")
    elseif(_ve_line MATCHES "^@BS@returns? ")
      set(_ve_mode "tail")
      list(APPEND _ve_tail "${_ve_line}")
    elseif(_ve_mode STREQUAL "param" AND _ve_line MATCHES "^ ")
      # An indented line goes on with the parameter above it.
      string(STRIP "${_ve_line}" _ve_line)
      list(APPEND _ve_ptext_${_ve_k} "${_ve_line}")
    elseif(_ve_mode STREQUAL "param")
      # A line at the margin is a note of its own (how long the call blocks).
      set(_ve_mode "tail")
      list(APPEND _ve_tail "${_ve_line}")
    elseif(_ve_mode STREQUAL "tail")
      list(APPEND _ve_tail "${_ve_line}")
    endif()
  endforeach()
  set(_ve_width 0)
  foreach(_ve_cname IN LISTS _ve_pnames)
    string(LENGTH "${_ve_cname}" _ve_len)
    if(_ve_len GREATER _ve_width)
      set(_ve_width ${_ve_len})
    endif()
  endforeach()
  math(EXPR _ve_indent "${_ve_width} + 8")
  string(REPEAT " " ${_ve_indent} _ve_continue)
  set(_ve_doc "")
  foreach(_ve_line IN LISTS VEXA_${i}_BRIEF)
    list(APPEND _ve_doc "${_ve_line}")
  endforeach()
  list(APPEND _ve_doc "The C form of ${_ve_cxx}().")
  set(_ve_k 0)
  foreach(_ve_cname IN LISTS _ve_pnames)
    string(LENGTH "${_ve_cname}" _ve_len)
    math(EXPR _ve_pad "${_ve_width} - ${_ve_len} + 1")
    string(REPEAT " " ${_ve_pad} _ve_space)
    set(_ve_first TRUE)
    foreach(_ve_line IN LISTS _ve_ptext_${_ve_k})
      if(_ve_first)
        list(APPEND _ve_doc "@BS@param ${_ve_cname}${_ve_space}${_ve_line}")
        set(_ve_first FALSE)
      else()
        list(APPEND _ve_doc "${_ve_continue}${_ve_line}")
      endif()
    endforeach()
    unset(_ve_ptext_${_ve_k})
    math(EXPR _ve_k "${_ve_k} + 1")
  endforeach()
  list(APPEND _ve_doc ${_ve_tail})
  # Text that names a parameter with \p names it as C does.
  set(_ve_j 0)
  foreach(_ve_camel IN LISTS _ve_sky)
    list(GET _ve_names ${_ve_j} _ve_cname)
    list(TRANSFORM _ve_doc REPLACE "@BS@p ${_ve_camel}([^A-Za-z0-9_]|$)" "@BS@p ${_ve_cname}\\1")
    math(EXPR _ve_j "${_ve_j} + 1")
  endforeach()
  if(NOT VEXA_${i}_SECTION STREQUAL "")
    string(APPEND ${out}
      "// ---------------------------------------------------------------------------\n"
      "// ${VEXA_${i}_SECTION}\n\n")
  endif()
  foreach(_ve_line IN LISTS _ve_doc)
    if(_ve_line STREQUAL "")
      string(APPEND ${out} "///\n")
    else()
      string(APPEND ${out} "/// ${_ve_line}\n")
    endif()
  endforeach()
  set(_ve_args "")
  set(_ve_j 0)
  foreach(_ve_kind IN LISTS VEXA_${i}_KINDS)
    list(GET _ve_names ${_ve_j} _ve_cname)
    list(APPEND _ve_args "${_VEXA_C_${_ve_kind}} ${_ve_cname}")
    math(EXPR _ve_j "${_ve_j} + 1")
  endforeach()
  if(_ve_args STREQUAL "")
    set(_ve_args "void")
  endif()
  list(JOIN _ve_args ", " _ve_args)
  string(APPEND ${out} "VEXA_C_API ${VEXA_${i}_RET} ${VEXA_${i}_NAME}(${_ve_args})@SC@\n\n")
endmacro()

# Writes vexa.h: api/vexa.h.in with the prototypes in the place of the line
# @VEXA_C_FUNCTIONS@. The file is rewritten only when its text changes.
function(vexa_write_c_header root header)
  _vexa_parse_list("${root}")
  _vexa_parse_skyrel("${root}")
  set(prototypes "")
  math(EXPR last "${VEXA_N} - 1")
  foreach(i RANGE ${last})
    _vexa_c_entry(${i} prototypes)
  endforeach()
  string(REGEX REPLACE "\n\n$" "\n" prototypes "${prototypes}")
  _vexa_restore(prototypes)
  file(READ "${root}/api/vexa.h.in" text)
  string(FIND "${text}" "@VEXA_C_FUNCTIONS@\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "api/vexa.h.in has no line @VEXA_C_FUNCTIONS@ for the prototypes")
  endif()
  string(REPLACE "@VEXA_C_FUNCTIONS@\n" "${prototypes}" text "${text}")
  set(old "")
  if(EXISTS "${header}")
    file(READ "${header}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${header}" "${text}")
  endif()
endfunction()

# The Python kind of a C type written in vexa.h.in, its spaces removed and
# each * written P.
set(_VEXA_PY_constcharP TEXT)
set(_VEXA_PY_int INT)
set(_VEXA_PY_bool BOOL)
set(_VEXA_PY_short SHORT)
set(_VEXA_PY_void VOID)
set(_VEXA_PY_constunsignedcharPP BITMAP_OUT)
set(_VEXA_PY_intP INT_OUT)
set(_VEXA_PY_charP BUFFER)

# The C type `ctype` in the form of the names above, in `out`.
function(_vexa_type_key ctype out)
  string(REPLACE " " "" ctype "${ctype}")
  string(REPLACE "*" "P" ctype "${ctype}")
  set(${out} "${ctype}" PARENT_SCOPE)
endfunction()

# Appends the Python line(s) of one function to `out`: its name, result
# kind and parameters ("KIND:name ..."), wrapped to 99 columns.
function(_vexa_python_entry out name ret params)
  set(text "${${out}}")
  set(line "    \"${name}\": (\"${ret}\", \"${params}\"),")
  string(LENGTH "${line}" length)
  if(length LESS_EQUAL 99)
    string(APPEND text "${line}\n")
  else()
    string(APPEND text "    \"${name}\": (\n        \"${ret}\",\n")
    string(REPLACE " " ";" words "${params}")
    set(chunk "")
    foreach(word IN LISTS words)
      if(chunk STREQUAL "")
        set(candidate "${word}")
      else()
        set(candidate "${chunk} ${word}")
      endif()
      string(LENGTH "        \"${candidate} \"" length)
      if(length GREATER 99)
        string(APPEND text "        \"${chunk} \"\n")
        set(chunk "${word}")
      else()
        set(chunk "${candidate}")
      endif()
    endforeach()
    string(APPEND text "        \"${chunk}\",\n    ),\n")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The text of python/vexa/_signatures.py, in `out`.
function(_vexa_python_text root out)
  _vexa_parse_list("${root}")
  set(text [=[
"""The C functions of libvexa-x86 as the package calls them.

For each function its result and its parameters as ``KIND:name`` in order;
the names are those of vexa.h. Kinds: TEXT (``const char*``), INT, BOOL,
SHORT, BITMAP_OUT and INT_OUT for the pointers that
vexa_image_content_buffer fills, and BUFFER (``char*``) for a buffer the
library writes into; results INT, BOOL, TEXT or VOID.

Written by cmake/VexaInterface.cmake from the library's list of the functions
that forward to SKYREL.h (api/vexa_functions.h: SIGNATURES) and from the C
interface's own functions (api/vexa.h.in: EXTRA_SIGNATURES); the library's
test c_interface_list fails when this file differs from them. Do not edit it:
change the list and run ``cmake -DVEXA_ACTION=python -P cmake/VexaInterface.cmake``
in the source tree.
"""

from __future__ import annotations

SIGNATURES: dict[str, tuple[str, str]] = {
]=])
  math(EXPR last "${VEXA_N} - 1")
  foreach(i RANGE ${last})
    set(params "")
    set(j 0)
    foreach(kind IN LISTS VEXA_${i}_KINDS)
      list(GET VEXA_${i}_PARAMS ${j} name)
      list(APPEND params "${kind}:${name}")
      math(EXPR j "${j} + 1")
    endforeach()
    list(JOIN params " " params)
    string(TOUPPER "${VEXA_${i}_RET}" ret)
    _vexa_python_entry(text "${VEXA_${i}_NAME}" "${ret}" "${params}")
  endforeach()
  string(APPEND text "}\n\nEXTRA_SIGNATURES: dict[str, tuple[str, str]] = {\n")
  # The functions vexa.h.in declares itself, each on one line.
  _vexa_read_lines("${root}/api/vexa.h.in" lines)
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^VEXA_C_API ")
      continue()
    endif()
    if(NOT line MATCHES "^VEXA_C_API ([^(]*[ *])(vexa_[a-z0-9_]+)\\(([^)]*)\\)@SC@$")
      message(FATAL_ERROR "api/vexa.h.in: a declaration not on one line: ${line}")
    endif()
    set(name "${CMAKE_MATCH_2}")
    set(pieces "${CMAKE_MATCH_3}")
    _vexa_type_key("${CMAKE_MATCH_1}" ctype)
    set(ret "${_VEXA_PY_${ctype}}")
    string(REPLACE "," ";" pieces "${pieces}")
    set(params "")
    foreach(piece IN LISTS pieces)
      string(STRIP "${piece}" piece)
      if(piece STREQUAL "void")
        continue()
      endif()
      if(NOT piece MATCHES "^(.*[ *])([a-z_][a-z0-9_]*)$")
        message(FATAL_ERROR "api/vexa.h.in: ${name}: a parameter without a name: ${piece}")
      endif()
      set(pname "${CMAKE_MATCH_2}")
      _vexa_type_key("${CMAKE_MATCH_1}" ctype)
      if(NOT DEFINED _VEXA_PY_${ctype} OR ctype STREQUAL "void")
        message(FATAL_ERROR "api/vexa.h.in: ${name}: no Python kind for the type of ${pname}")
      endif()
      list(APPEND params "${_VEXA_PY_${ctype}}:${pname}")
    endforeach()
    if(ret STREQUAL "")
      message(FATAL_ERROR "api/vexa.h.in: ${name}: no Python kind for its result")
    endif()
    list(JOIN params " " params)
    _vexa_python_entry(text "${name}" "${ret}" "${params}")
  endforeach()
  string(APPEND text "}\n")
  _vexa_restore(text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Each parameter name of the list against SKYREL.h, and the Python table
# against the list; fails naming every difference.
function(_vexa_check root)
  set(problems "")
  _vexa_parse_list("${root}")
  _vexa_parse_skyrel("${root}")
  math(EXPR last "${VEXA_N} - 1")
  foreach(i RANGE ${last})
    set(cxx "${VEXA_${i}_CXX}")
    set(name "${VEXA_${i}_NAME}")
    if(NOT DEFINED SKY_${cxx}_PARAMS)
      list(APPEND problems "${name}: SKYREL.h declares no ${cxx}")
      continue()
    endif()
    list(LENGTH VEXA_${i}_PARAMS n)
    list(LENGTH SKY_${cxx}_PARAMS nsky)
    if(NOT n EQUAL nsky)
      list(APPEND problems "${name}: ${n} parameters, ${cxx} has ${nsky}")
      continue()
    endif()
    set(j 0)
    foreach(camel IN LISTS SKY_${cxx}_PARAMS)
      list(GET VEXA_${i}_PARAMS ${j} given)
      _vexa_snake("${camel}" wanted)
      math(EXPR j "${j} + 1")
      if(NOT given STREQUAL wanted)
        list(APPEND problems
             "${name}: parameter ${j} is `${given}`, ${cxx} calls it `${camel}`: name it `${wanted}`")
      endif()
    endforeach()
  endforeach()
  _vexa_python_text("${root}" wanted)
  file(READ "${root}/python/vexa/_signatures.py" have)
  if(NOT have STREQUAL wanted)
    list(APPEND problems
         "python/vexa/_signatures.py is not what the list gives: run "
         "cmake -DVEXA_ACTION=python -P cmake/VexaInterface.cmake")
  endif()
  if(NOT problems STREQUAL "")
    list(JOIN problems "\n  " problems)
    message(FATAL_ERROR "The C interface's list disagrees:\n  ${problems}")
  endif()
  message(STATUS "vexa_functions.h: ${VEXA_N} functions, named as in SKYREL.h; "
                 "python/vexa/_signatures.py follows them")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  get_filename_component(_vexa_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
  if(VEXA_ACTION STREQUAL "python")
    _vexa_python_text("${_vexa_root}" _vexa_text)
    file(WRITE "${_vexa_root}/python/vexa/_signatures.py" "${_vexa_text}")
  elseif(VEXA_ACTION STREQUAL "check")
    _vexa_check("${_vexa_root}")
  elseif(VEXA_ACTION STREQUAL "header" AND DEFINED VEXA_OUTPUT)
    vexa_write_c_header("${_vexa_root}" "${VEXA_OUTPUT}")
  else()
    message(FATAL_ERROR "usage: cmake -DVEXA_ACTION=python|check -P cmake/VexaInterface.cmake\n"
                        "       cmake -DVEXA_ACTION=header -DVEXA_OUTPUT=FILE -P cmake/VexaInterface.cmake")
  endif()
endif()
