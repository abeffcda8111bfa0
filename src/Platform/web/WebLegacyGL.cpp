// The GL 1.1 calls the browser's legacy GL emulation lacks or takes only in part, completed for
// the web backend; every other call goes to the emulation unchanged.
// - glPolygonMode: the emulation ignores it and WebGL has no such mode. Recorded here; line mode
//   draws the edges of the triangles as lines (one pixel wide, as GL's default line width).
// - glDrawElements with client-side vertices and 32-bit client-side indices: the emulation takes
//   only 16-bit ones. Drawn here through its immediate mode, vertex by vertex, from the vertex
//   pointer recorded on the way to the emulation.
// - glTexImage2D with GL 1.1's component counts (1, 3, 4) as the internal format: WebGL wants the
//   format itself there.
// - A colour given inside glBegin before the first vertex: the emulation interleaves whatever
//   each vertex gets, so one colour for four vertices garbles the primitive. glBegin is passed on
//   only with the first vertex, so such a colour becomes the current one for the whole primitive,
//   as in GL.
// - glShadeModel: WebGL shades smoothly, the only model the intro asks for; the emulation would
//   only warn.
// - glHint for GL_PERSPECTIVE_CORRECTION_HINT: WebGL always interpolates perspective-correctly
//   and refuses the target; other hints go through.

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>

extern "C" {
void emscripten_glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
void emscripten_glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices);
void emscripten_glHint(GLenum target, GLenum mode);
void emscripten_glBegin(GLenum mode);
void emscripten_glEnd();
void emscripten_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void emscripten_glTexCoord2f(GLfloat s, GLfloat t);
void emscripten_glVertex2f(GLfloat x, GLfloat y);
void emscripten_glVertex3f(GLfloat x, GLfloat y, GLfloat z);
void emscripten_glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const void* pixels);
}

namespace {
constexpr GLenum kNoPrimitive = ~0u;
GLenum pendingBegin = kNoPrimitive;  // glBegin seen, not yet passed on
bool inBegin = false;

void beginVertex() {
  if (pendingBegin == kNoPrimitive) return;
  emscripten_glBegin(pendingBegin);
  pendingBegin = kNoPrimitive;
}

GLenum polygonMode = GL_FILL;
GLint vertexSize = 0;
GLsizei vertexStride = 0;
const float* vertexPointer = nullptr;  // float vertices only; others go to the emulation

uint32_t indexAt(GLenum type, const void* indices, GLsizei i) {
  switch (type) {
    case GL_UNSIGNED_BYTE: return static_cast<const uint8_t*>(indices)[i];
    case GL_UNSIGNED_SHORT: return static_cast<const uint16_t*>(indices)[i];
    default: return static_cast<const uint32_t*>(indices)[i];
  }
}

void vertex(uint32_t index) {
  const float* v = reinterpret_cast<const float*>(reinterpret_cast<const char*>(vertexPointer) +
                                                  static_cast<size_t>(index) * static_cast<size_t>(vertexStride));
  if (vertexSize == 2)
    glVertex2f(v[0], v[1]);
  else
    glVertex3fv(v);
}

// The edges of a strip's or a list's triangles, each once.
void drawTriangleEdges(GLenum mode, GLsizei count, GLenum type, const void* indices) {
  glBegin(GL_LINES);
  for (GLsizei k = 0; k < count; ++k) {
    const bool strip = mode == GL_TRIANGLE_STRIP;
    const GLsizei corner = strip ? k : k % 3;
    if (corner >= 1) {
      vertex(indexAt(type, indices, k - 1));
      vertex(indexAt(type, indices, k));
    }
    if (corner >= 2) {
      vertex(indexAt(type, indices, k - 2));
      vertex(indexAt(type, indices, k));
    }
  }
  glEnd();
}
}  // namespace

extern "C" {
void glBegin(GLenum mode) {
  inBegin = true;
  pendingBegin = mode;
}

void glEnd() {
  // A primitive without vertices draws nothing.
  if (inBegin && pendingBegin == kNoPrimitive) emscripten_glEnd();
  inBegin = false;
  pendingBegin = kNoPrimitive;
}

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { emscripten_glColor4f(r, g, b, a); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { emscripten_glColor4f(r, g, b, 1); }

void glTexCoord2f(GLfloat s, GLfloat t) {
  beginVertex();
  emscripten_glTexCoord2f(s, t);
}
void glTexCoord2fv(const GLfloat* v) { glTexCoord2f(v[0], v[1]); }

void glVertex2f(GLfloat x, GLfloat y) {
  beginVertex();
  emscripten_glVertex2f(x, y);
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  beginVertex();
  emscripten_glVertex3f(x, y, z);
}
void glVertex3fv(const GLfloat* v) { glVertex3f(v[0], v[1], v[2]); }

void glPolygonMode(GLenum, GLenum mode) { polygonMode = mode; }

void glShadeModel(GLenum) {}

void glHint(GLenum target, GLenum mode) {
  if (target != GL_PERSPECTIVE_CORRECTION_HINT) emscripten_glHint(target, mode);
}

void glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
  const bool floats = type == GL_FLOAT && (size == 2 || size == 3);
  vertexSize = floats ? size : 0;
  vertexStride = stride ? stride : size * static_cast<GLsizei>(sizeof(float));
  vertexPointer = floats ? static_cast<const float*>(pointer) : nullptr;
  emscripten_glVertexPointer(size, type, stride, pointer);
}

void glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
  if (!vertexPointer || !indices || count <= 0) {
    emscripten_glDrawElements(mode, count, type, indices);
    return;
  }
  if (polygonMode == GL_LINE && (mode == GL_TRIANGLE_STRIP || mode == GL_TRIANGLES)) {
    drawTriangleEdges(mode, count, type, indices);
    return;
  }
  glBegin(mode);
  for (GLsizei k = 0; k < count; ++k) vertex(indexAt(type, indices, k));
  glEnd();
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const void* pixels) {
  if (internalFormat >= 1 && internalFormat <= 4) internalFormat = static_cast<GLint>(format);
  emscripten_glTexImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
}
}
