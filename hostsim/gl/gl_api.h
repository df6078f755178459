// The OpenGL functions the renderer and the window call. On Linux libepoxy resolves them. On
// Windows the system's OpenGL library exports OpenGL 1.1 alone; the later functions are asked
// of the driver once a context is current (LoadGlFunctions) and kept in a table of pointers
// that carry the functions' own names, so the drawing code reads the same on both systems.
#pragma once

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <GL/gl.h>
#include <GL/glext.h>
// clang-format on

#include <string>

// The functions beyond OpenGL 1.1 the renderer uses: X(pointer type, name).
#define HOSTSIM_GL_FUNCTIONS(X)                                                \
  X(PFNGLACTIVETEXTUREPROC, glActiveTexture)                                   \
  X(PFNGLATTACHSHADERPROC, glAttachShader)                                     \
  X(PFNGLBINDBUFFERPROC, glBindBuffer)                                         \
  X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                               \
  X(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer)                             \
  X(PFNGLBINDVERTEXARRAYPROC, glBindVertexArray)                               \
  X(PFNGLBLITFRAMEBUFFERPROC, glBlitFramebuffer)                               \
  X(PFNGLBUFFERDATAPROC, glBufferData)                                         \
  X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)                 \
  X(PFNGLCOMPILESHADERPROC, glCompileShader)                                   \
  X(PFNGLCREATEPROGRAMPROC, glCreateProgram)                                   \
  X(PFNGLCREATESHADERPROC, glCreateShader)                                     \
  X(PFNGLDELETEBUFFERSPROC, glDeleteBuffers)                                   \
  X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers)                         \
  X(PFNGLDELETEPROGRAMPROC, glDeleteProgram)                                   \
  X(PFNGLDELETERENDERBUFFERSPROC, glDeleteRenderbuffers)                       \
  X(PFNGLDELETESHADERPROC, glDeleteShader)                                     \
  X(PFNGLDELETEVERTEXARRAYSPROC, glDeleteVertexArrays)                         \
  X(PFNGLENABLEVERTEXATTRIBARRAYPROC, glEnableVertexAttribArray)               \
  X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer)               \
  X(PFNGLFRAMEBUFFERTEXTURELAYERPROC, glFramebufferTextureLayer)               \
  X(PFNGLGENBUFFERSPROC, glGenBuffers)                                         \
  X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                               \
  X(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers)                             \
  X(PFNGLGENVERTEXARRAYSPROC, glGenVertexArrays)                               \
  X(PFNGLGETPROGRAMINFOLOGPROC, glGetProgramInfoLog)                           \
  X(PFNGLGETPROGRAMIVPROC, glGetProgramiv)                                     \
  X(PFNGLGETSHADERINFOLOGPROC, glGetShaderInfoLog)                             \
  X(PFNGLGETSHADERIVPROC, glGetShaderiv)                                       \
  X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation)                         \
  X(PFNGLLINKPROGRAMPROC, glLinkProgram)                                       \
  X(PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC, glRenderbufferStorageMultisample) \
  X(PFNGLSHADERSOURCEPROC, glShaderSource)                                     \
  X(PFNGLTEXBUFFERPROC, glTexBuffer)                                           \
  X(PFNGLTEXIMAGE3DPROC, glTexImage3D)                                         \
  X(PFNGLUNIFORM1FPROC, glUniform1f)                                           \
  X(PFNGLUNIFORM1IPROC, glUniform1i)                                           \
  X(PFNGLUNIFORM2FPROC, glUniform2f)                                           \
  X(PFNGLUNIFORM3FPROC, glUniform3f)                                           \
  X(PFNGLUNIFORM3FVPROC, glUniform3fv)                                         \
  X(PFNGLUNIFORM3IPROC, glUniform3i)                                           \
  X(PFNGLUNIFORM4FPROC, glUniform4f)                                           \
  X(PFNGLUNIFORM4FVPROC, glUniform4fv)                                         \
  X(PFNGLUNIFORMMATRIX3FVPROC, glUniformMatrix3fv)                             \
  X(PFNGLUNIFORMMATRIX4FVPROC, glUniformMatrix4fv)                             \
  X(PFNGLUSEPROGRAMPROC, glUseProgram)                                         \
  X(PFNGLVERTEXATTRIBPOINTERPROC, glVertexAttribPointer)

namespace hostsim::render {

// Declared in the renderer's namespace, where they hide any declaration of the same name the
// system's header makes for the whole program.
#define HOSTSIM_GL_DECLARE(type, name) extern type name;
HOSTSIM_GL_FUNCTIONS(HOSTSIM_GL_DECLARE)
#undef HOSTSIM_GL_DECLARE

// Fills the table from the context current on this thread (once in the process: every
// context the renderer makes is of the same kind). Returns "" when every function is there,
// else the name of one that is missing.
std::string LoadGlFunctions();

// The version of the current context, major * 10 + minor (33 for 3.3); 0 when unknown.
inline int GlVersion() {
  const auto* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  if (text == nullptr || text[0] < '0' || text[0] > '9' || text[1] != '.' || text[2] < '0' ||
      text[2] > '9')
    return 0;
  return (text[0] - '0') * 10 + (text[2] - '0');
}

}  // namespace hostsim::render

#else
#include <epoxy/gl.h>

namespace hostsim::render {
inline int GlVersion() { return epoxy_gl_version(); }
}  // namespace hostsim::render
#endif
