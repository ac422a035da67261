# Effect modules: the engine (lumivex_host) linked into a shared module whose
# only exported symbol is EntryPointFunc, carrying a resource table in its
# `lumivex_rsrc` section (see platform/Resources.h).
#
#   lumivex_add_effect_module(NAME <FXNAME> PACKAGE <dir>)
#       target <FXNAME>, file <FXNAME>.so: the package in <dir> packed,
#       scrambled and embedded with the registration generated from its
#       config.xml (whose FXNAME must be <FXNAME>).
#   lumivex_add_engine_module()
#       target lumivex-engine, file lumivex-engine.so: an empty table, so the
#       module reads its package files from the current folder.
#   lumivex_add_resource_table(<target> NAME <FXNAME> PACKAGE <dir>)
#       the table of lumivex_add_effect_module added to any target (tests
#       link one into an executable).
#
# Modules are written to LUMIVEX_MODULE_DIR.

set(LUMIVEX_MODULE_DIR ${CMAKE_BINARY_DIR}/modules CACHE PATH "Where effect modules are built")
set(LUMIVEX_MODULE_MAP ${CMAKE_BINARY_DIR}/lumivex-module.map)
# Version script: only the entry point is exported. Rewritten only on change.
file(CONFIGURE OUTPUT ${LUMIVEX_MODULE_MAP} CONTENT "{\n  global: EntryPointFunc;\n  local: *;\n};\n")

# The module target `name`; its resource table source is added by the caller.
function(_lumivex_module name)
  add_library(${name} MODULE)
  target_link_libraries(${name} PRIVATE lumivex_host)
  target_link_options(${name} PRIVATE
    -Wl,--undefined=EntryPointFunc
    -Wl,--version-script=${LUMIVEX_MODULE_MAP})
  if(NOT LUMIVEX_SANITIZE)
    # Sanitizer runtimes live in the executable, so only plain builds can
    # insist on every symbol being defined.
    target_link_options(${name} PRIVATE -Wl,-z,defs)
  endif()
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
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
  # Listed for the dependency only: any change in the package re-packs it.
  file(GLOB_RECURSE package_files CONFIGURE_DEPENDS ${package}/*)
  set(table_source ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.c)
  set(table_bytes ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.bin)
  add_custom_command(
    OUTPUT ${table_source} ${table_bytes}
    COMMAND lumivex_resgen --package ${package} --name ${ARG_NAME}
            --source ${table_source} --table ${table_bytes}
    DEPENDS lumivex_resgen ${package_files}
    COMMENT "Packing effect package ${ARG_PACKAGE} for ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${table_source})
  set_target_properties(${target} PROPERTIES LUMIVEX_RESOURCE_TABLE ${table_bytes})
endfunction()

function(lumivex_add_effect_module)
  cmake_parse_arguments(ARG "" "NAME;PACKAGE" "" ${ARGN})
  if(NOT ARG_NAME OR NOT ARG_PACKAGE)
    message(FATAL_ERROR "lumivex_add_effect_module needs NAME and PACKAGE")
  endif()
  _lumivex_module(${ARG_NAME})
  lumivex_add_resource_table(${ARG_NAME} NAME ${ARG_NAME} PACKAGE ${ARG_PACKAGE})
endfunction()

function(lumivex_add_engine_module)
  set(table_source ${CMAKE_CURRENT_BINARY_DIR}/lumivex-engine_resources.c)
  add_custom_command(
    OUTPUT ${table_source}
    COMMAND lumivex_resgen --empty --source ${table_source}
    DEPENDS lumivex_resgen
    COMMENT "Writing the empty resource table of lumivex-engine.so"
    VERBATIM)
  _lumivex_module(lumivex-engine)
  target_sources(lumivex-engine PRIVATE ${table_source})
endfunction()
