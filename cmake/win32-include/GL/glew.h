// The GL header of the Windows build: the loader glad generates at build
// time, under the names of the GLEW calls that the engine makes.
#pragma once

#include <glad/gl.h>

inline GLboolean glewExperimental = GL_FALSE;  // no meaning here; kept for the engine's call

// Loads every entry point of the current context: 0 when the loader found
// OpenGL, like glewInit's GLEW_OK.
inline GLenum glewInit() { return gladLoaderLoadGL() != 0 ? 0 : 1; }
