# Effect modules: the engine (lumivex_host) linked into a shared module whose
# only exported symbol is EntryPointFunc, carrying a resource table in its
# `lumivex_rsrc` section (see platform/Resources.h). On Windows the module is
# a DLL named <FXNAME>.aex exporting EntryPointFunc through a .def file, and
# the resources are Windows resources compiled from a generated script.
#
#   lumivex_add_effect_module(NAME <FXNAME> PACKAGE <dir> [TARGET <target>])
#       file <FXNAME>.so (.aex), spaces and all: the package in <dir> packed,
#       scrambled and embedded with the registration generated from its
#       config.xml (whose FXNAME must be <FXNAME>). The target is <target>,
#       by default <FXNAME> keeping only letters, digits, `_`, `-` and `.`
#       (Pixel Sort: PixelSort), as CMake's target names allow.
#       Beside it, where the frei0r glue is built (lumivex_frei0r), target
#       <target>_frei0r, file <fxname>.so (.dll) in LUMIVEX_FREI0R_DIR, where
#       <fxname> is <FXNAME> in lower case keeping only letters, digits, `_`
#       and `-` (pixelsort), a name hosts' command lines take as it stands:
#       the same package and engine behind the frei0r API, exporting only
#       the f0r_ functions.
#   lumivex_add_engine_module()
#       target lumivex-engine, file lumivex-engine.so: an empty table, so the
#       module reads its package files from the current folder.
#   lumivex_add_resource_table(<target> NAME <FXNAME> PACKAGE <dir>)
#       the table of lumivex_add_effect_module added to any target (tests
#       link one into an executable).
#
# Modules are written to LUMIVEX_MODULE_DIR, frei0r plug-ins to
# LUMIVEX_FREI0R_DIR.

set(LUMIVEX_MODULE_DIR ${CMAKE_BINARY_DIR}/modules CACHE PATH "Where effect modules are built")
set(LUMIVEX_FREI0R_DIR ${CMAKE_BINARY_DIR}/frei0r CACHE PATH "Where frei0r plug-ins are built")
# The frei0r API a plug-in exports, and nothing else.
set(LUMIVEX_FREI0R_SYMBOLS f0r_init f0r_deinit f0r_get_plugin_info f0r_get_param_info f0r_construct f0r_destruct
    f0r_set_param_value f0r_get_param_value f0r_update)
if(WIN32)
  set(LUMIVEX_FREI0R_MAP ${CMAKE_BINARY_DIR}/lumivex-frei0r.def)
  list(JOIN LUMIVEX_FREI0R_SYMBOLS "\n  " _lumivex_frei0r_exports)
  file(CONFIGURE OUTPUT ${LUMIVEX_FREI0R_MAP} CONTENT "EXPORTS\n  ${_lumivex_frei0r_exports}\n")
else()
  set(LUMIVEX_FREI0R_MAP ${CMAKE_BINARY_DIR}/lumivex-frei0r.map)
  list(JOIN LUMIVEX_FREI0R_SYMBOLS "; " _lumivex_frei0r_globals)
  file(CONFIGURE OUTPUT ${LUMIVEX_FREI0R_MAP} CONTENT "{\n  global: ${_lumivex_frei0r_globals};\n  local: *;\n};\n")
endif()
if(WIN32)
  # Module definition: only the entry point is exported.
  set(LUMIVEX_MODULE_MAP ${CMAKE_BINARY_DIR}/lumivex-module.def)
  file(CONFIGURE OUTPUT ${LUMIVEX_MODULE_MAP} CONTENT "EXPORTS\n  EntryPointFunc\n")
else()
  set(LUMIVEX_MODULE_MAP ${CMAKE_BINARY_DIR}/lumivex-module.map)
  # Version script: only the entry point is exported. Rewritten only on change.
  file(CONFIGURE OUTPUT ${LUMIVEX_MODULE_MAP} CONTENT "{\n  global: EntryPointFunc;\n  local: *;\n};\n")
endif()

# The module target `name`, written as `file` (.so, .aex); its resource
# table source is added by the caller.
function(_lumivex_module name file)
  add_library(${name} MODULE)
  target_link_libraries(${name} PRIVATE lumivex_host)
  if(WIN32)
    target_sources(${name} PRIVATE ${LUMIVEX_MODULE_MAP})
    set_target_properties(${name} PROPERTIES SUFFIX .aex)
  else()
    target_link_options(${name} PRIVATE
      -Wl,--undefined=EntryPointFunc
      -Wl,--version-script=${LUMIVEX_MODULE_MAP})
  endif()
  if(NOT LUMIVEX_SANITIZE AND NOT WIN32)
    # Sanitizer runtimes live in the executable, so only plain builds can
    # insist on every symbol being defined.
    target_link_options(${name} PRIVATE -Wl,-z,defs)
  endif()
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME "${file}"
    LIBRARY_OUTPUT_DIRECTORY ${LUMIVEX_MODULE_DIR}
    LINKER_LANGUAGE CXX
    LINK_DEPENDS ${LUMIVEX_MODULE_MAP})
endfunction()

# Adds to `target` the resource table generated from the package `PACKAGE`
# (its config.xml must name the effect NAME). Sets <target>'s property
# LUMIVEX_RESOURCE_TABLE to the table's bytes as a file, for tests.
function(lumivex_add_resource_table target)
  cmake_parse_arguments(ARG "" "NAME;PACKAGE" "" ${ARGN})
  if(NOT ARG_NAME OR NOT ARG_PACKAGE)
    message(FATAL_ERROR "lumivex_add_resource_table(${target}) needs NAME and PACKAGE")
  endif()
  get_filename_component(package ${ARG_PACKAGE} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT EXISTS ${package}/config.xml)
    message(FATAL_ERROR "lumivex_add_resource_table(${target}): ${package} has no config.xml")
  endif()
  set(table_bytes ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.bin)
  _lumivex_resources(${target} ${table_bytes} ${package} "${ARG_NAME}")
  set_target_properties(${target} PROPERTIES LUMIVEX_RESOURCE_TABLE ${table_bytes})
endfunction()

# Adds to `target` the resources lumivex_resgen writes for `package` (the
# effect `name`), or an empty set when `package` is empty: the table's C
# source, or on Windows the resource script (its byte files are named by
# position: .0.bin the package, .1.bin the registration). `table_bytes`, when
# not empty, receives the table as a file.
function(_lumivex_resources target table_bytes package name)
  if(WIN32 AND NOT package AND NOT table_bytes)
    return()  # a Windows module without resources needs no resource script
  endif()
  if(package)
    set(args --package ${package} --name ${name})
    # Listed for the dependency only: any change in the package re-packs it.
    file(GLOB_RECURSE package_files CONFIGURE_DEPENDS ${package}/*)
  else()
    set(args --empty)
    set(package_files)
  endif()
  if(WIN32)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc)
    set(outputs ${script})
    if(package)
      list(APPEND outputs ${script}.0.bin ${script}.1.bin)
    endif()
    list(APPEND args --rc ${script})
  else()
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.c)
    set(outputs ${script})
    list(APPEND args --source ${script})
  endif()
  if(table_bytes)
    list(APPEND outputs ${table_bytes})
    list(APPEND args --table ${table_bytes})
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND lumivex_resgen ${args}
    DEPENDS lumivex_resgen ${package_files}
    COMMENT "Writing the resources of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${script})
  if(WIN32)
    set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS "${outputs}")
  endif()
endfunction()

# On Windows, a test that checks the module file as a host sees it
# (scripts/check-pe.py): its exports, imports and resources, and with
# LUMIVEX_LINUX_BUILD its resources against those of the Linux module `file`.
function(_lumivex_check_module name file)
  if(NOT WIN32 OR NOT LUMIVEX_TESTS)
    return()
  endif()
  set(args --module $<TARGET_FILE:${name}> ${ARGN})
  if(LUMIVEX_LINUX_BUILD AND NOT "--no-resources" IN_LIST ARGN)
    list(APPEND args --linux-module "${LUMIVEX_LINUX_BUILD}/modules/${file}.so")
  endif()
  add_test(NAME WindowsModuleFile.${name} COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/check-pe.py ${args})
endfunction()

# The frei0r plug-in of the effect module target `name` (the effect `fxname`):
# its resources (the table source, or on Windows the resource script, written
# for the module) linked with the frei0r glue. The plug-in stays loaded once loaded (-z nodelete; on
# Windows it pins itself at f0r_init): the engine and its GL context live
# until the process ends, also when a host closes the library after each
# filter. On Windows the file is <fxname>.dll, exporting the f0r_ functions
# through a .def file, and is checked like the module (scripts/check-pe.py).
function(_lumivex_frei0r_module name fxname)
  if(NOT TARGET lumivex_frei0r)
    return()
  endif()
  set(target ${name}_frei0r)
  string(TOLOWER "${fxname}" file)
  string(REGEX REPLACE "[^a-z0-9_-]" "" file "${file}")
  if(NOT file)
    message(FATAL_ERROR "The effect \"${fxname}\" has no letters or digits to name its frei0r plug-in")
  endif()
  if(WIN32)
    add_library(${target} MODULE ${CMAKE_CURRENT_BINARY_DIR}/${name}_resources.rc ${LUMIVEX_FREI0R_MAP})
  else()
    add_library(${target} MODULE ${CMAKE_CURRENT_BINARY_DIR}/${name}_resources.c)
    list(TRANSFORM LUMIVEX_FREI0R_SYMBOLS PREPEND "-Wl,--undefined=" OUTPUT_VARIABLE undefined)
    target_link_options(${target} PRIVATE ${undefined} -Wl,--version-script=${LUMIVEX_FREI0R_MAP} -Wl,-z,nodelete)
    if(NOT LUMIVEX_SANITIZE)
      target_link_options(${target} PRIVATE -Wl,-z,defs)
    endif()
  endif()
  target_link_libraries(${target} PRIVATE lumivex_frei0r)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${file}
    LIBRARY_OUTPUT_DIRECTORY ${LUMIVEX_FREI0R_DIR}
    LINKER_LANGUAGE CXX
    LINK_DEPENDS ${LUMIVEX_FREI0R_MAP})
  if(WIN32 AND LUMIVEX_TESTS)
    set(args --module $<TARGET_FILE:${target}> --exports ${LUMIVEX_FREI0R_SYMBOLS})
    if(LUMIVEX_LINUX_BUILD)
      list(APPEND args --linux-module ${LUMIVEX_LINUX_BUILD}/frei0r/${file}.so)
    endif()
    add_test(NAME WindowsFrei0rFile.${name}
             COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/check-pe.py ${args})
  endif()
endfunction()

function(lumivex_add_effect_module)
  cmake_parse_arguments(ARG "" "NAME;PACKAGE;TARGET" "" ${ARGN})
  if(NOT ARG_NAME OR NOT ARG_PACKAGE)
    message(FATAL_ERROR "lumivex_add_effect_module needs NAME and PACKAGE")
  endif()
  set(target ${ARG_TARGET})
  if(NOT target)
    string(REGEX REPLACE "[^A-Za-z0-9_.-]" "" target "${ARG_NAME}")
  endif()
  if(NOT target MATCHES "^[A-Za-z0-9_.+-]+$")
    message(FATAL_ERROR "lumivex_add_effect_module(NAME \"${ARG_NAME}\"): no target name; give one as TARGET")
  endif()
  _lumivex_module(${target} "${ARG_NAME}")
  lumivex_add_resource_table(${target} NAME "${ARG_NAME}" PACKAGE ${ARG_PACKAGE})
  _lumivex_check_module(${target} "${ARG_NAME}")
  _lumivex_frei0r_module(${target} "${ARG_NAME}")
endfunction()

function(lumivex_add_engine_module)
  _lumivex_module(lumivex-engine lumivex-engine)
  _lumivex_resources(lumivex-engine "" "" "")
  _lumivex_check_module(lumivex-engine lumivex-engine --no-resources)
endfunction()
