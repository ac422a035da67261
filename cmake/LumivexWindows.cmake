# Dependencies of the Windows cross-build (see cmake/toolchain-mingw64.cmake).
#
# - lumivex_gl: a GL loader generated at build time with glad, behind a
#   GL/glew.h of ours so that the GL code includes the same header on every
#   platform; opengl32 provides WGL and the OpenGL 1.1 entry points. The
#   loader takes the core functions up to 4.5 and ARB_framebuffer_object,
#   so that a 2.1 driver with that extension has framebuffer objects too.
# - zlib: the static library of libz-mingw-w64-dev.
# - stb, RapidXML and frei0r.h: header-only, the same Debian headers as the
#   Linux build.
# - GoogleTest: built from Debian's sources with the cross compiler.
# - lumivex_resgen: a native build of the resource generator (LUMIVEX_RESGEN),
#   since it runs on the build machine.
# - Python 3 for the module file checks (scripts/check-pe.py).
enable_language(RC)

set(LUMIVEX_RESGEN "" CACHE FILEPATH "lumivex_resgen of a native build (runs at build time)")
if(NOT LUMIVEX_RESGEN OR NOT EXISTS "${LUMIVEX_RESGEN}")
  message(FATAL_ERROR "The Windows build needs a native lumivex_resgen: "
                      "pass -DLUMIVEX_RESGEN=<native build>/package/lumivex_resgen")
endif()
add_executable(lumivex_resgen IMPORTED)
set_target_properties(lumivex_resgen PROPERTIES IMPORTED_LOCATION ${LUMIVEX_RESGEN})

set(LUMIVEX_LINUX_BUILD "" CACHE PATH
    "A Linux build of this tree: the Windows modules' resources and frames must match its")
find_package(Python3 REQUIRED COMPONENTS Interpreter)  # scripts/check-pe.py

set(ZLIB_USE_STATIC_LIBS ON)

# Header-only libraries installed for the build machine: only their own
# folders are put on the include path, never /usr/include itself.
set(system_headers ${CMAKE_BINARY_DIR}/system-headers)
foreach(dir stb rapidxml)
  if(NOT IS_DIRECTORY /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing (see scripts/install-deps.sh)")
  endif()
  file(MAKE_DIRECTORY ${system_headers})
  file(CREATE_LINK /usr/include/${dir} ${system_headers}/${dir} SYMBOLIC)
endforeach()
# The frei0r API is one header at the top of /usr/include.
if(EXISTS /usr/include/frei0r.h)
  file(CREATE_LINK /usr/include/frei0r.h ${system_headers}/frei0r.h SYMBOLIC)
  set(FREI0R_INCLUDE_DIR ${system_headers})
endif()
include_directories(SYSTEM ${system_headers})

find_program(GLAD_EXECUTABLE glad REQUIRED)
set(glad_dir ${CMAKE_BINARY_DIR}/glad)
add_custom_command(
  OUTPUT ${glad_dir}/src/gl.c ${glad_dir}/include/glad/gl.h
  COMMAND ${GLAD_EXECUTABLE} --quiet --reproducible --api gl:compatibility=4.5 --extensions=GL_ARB_framebuffer_object --out-path ${glad_dir} c --loader
  COMMENT "Generating the OpenGL loader"
  VERBATIM)
add_library(lumivex_gl STATIC ${glad_dir}/src/gl.c)
target_include_directories(lumivex_gl SYSTEM PUBLIC ${glad_dir}/include ${PROJECT_SOURCE_DIR}/cmake/win32-include)
target_link_libraries(lumivex_gl PUBLIC opengl32)

if(LUMIVEX_TESTS)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # Listing the tests means running the program under Wine: do it when the
  # tests run, not at every build.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()
