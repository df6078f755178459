#include "hostsim/render/gl_renderer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <string>

#include "hostsim/render/camera.h"

namespace hostsim::render {
namespace {

constexpr double kGroundHalfSize = 1500.0;  // metres around the camera's target

// The night sky, in linear light; the ground fades into it with distance.
constexpr float kSky[3] = {0.0045f, 0.0060f, 0.0120f};

const char* const kMeshVs = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
uniform mat4 uModel;
uniform mat3 uNormalMat;
uniform mat4 uView;
uniform mat4 uViewProj;
out vec3 vPos;
out vec3 vNormal;
out float vDepth;
void main() {
  vec4 w = uModel * vec4(aPos, 1.0);
  vPos = w.xyz;
  vNormal = uNormalMat * aNormal;
  vDepth = -(uView * w).z;
  gl_Position = uViewProj * w;
}
)";

// Per-pixel lighting: the material's emissive colour, the ambient and a faint moonlight,
// then every light of the pixel's cluster (lighting.h) with its attenuation
// 1 / (a0 + a1 d + a2 d^2), its range and, for spots, a smooth fall from the umbra's edge to
// the penumbra's, darkened by its shadow map when it has one. Output is gamma-encoded.
//
// A light is six texels of uLights: position and range; direction and 1 for a spot; colour
// and cos(umbra / 2); specular colour and cos(penumbra / 2); a0, a1, a2 and its first shadow
// layer (-1: none); the number of its shadow maps (1 or 6) and a map pixel's size one metre
// from it.
const char* const kMeshFs = R"(#version 330 core
in vec3 vPos;
in vec3 vNormal;
in float vDepth;
uniform vec4 uDiffuse;
uniform vec4 uAmbient;
uniform vec4 uSpecular;
uniform vec4 uEmissive;
uniform float uPower;
uniform vec3 uEye;
uniform float uAmbientLevel;
uniform vec3 uMoonDir;
uniform float uMoonLevel;
uniform float uExposure;
uniform int uGround;
uniform vec3 uSky;
uniform float uFogDistance;
uniform samplerBuffer uLights;
uniform usamplerBuffer uClusters;  // per cluster: first index, count
uniform usamplerBuffer uIndices;   // the clusters' lists of lights
uniform sampler2DArrayShadow uShadows;
uniform mat4 uShadowMat[SHADOW_LAYERS];
uniform vec2 uPixelOrigin;  // the picture's pixel at the framebuffer's (0, 0)
uniform float uTilePx;
uniform ivec3 uGrid;  // tiles across, tiles down, depth slices
uniform vec2 uSlice;  // slice = log(depth) * x + y
out vec4 fragColour;

// How much of a light reaches P (1 lit, 0 in shadow), from 3 x 3 filtered lookups of its
// map: the distance to the nearest surface the light sees, over its range. The point looked
// up is moved a map pixel and a half along the surface's normal towards the light, so that
// a surface does not shadow itself, and is compared a map pixel nearer.
float Shadow(vec3 P, vec3 Ng, vec3 lightPos, float range, int layer, float faces, float texel1) {
  vec3 fromLight = P - lightPos;
  float texel = texel1 * length(fromLight);
  vec3 Q = P + (dot(Ng, fromLight) > 0.0 ? -Ng : Ng) * (1.5 * texel);
  vec3 q = Q - lightPos;
  if (faces > 1.5) {
    vec3 a = abs(q);
    if (a.x >= a.y && a.x >= a.z) layer += q.x > 0.0 ? 0 : 1;
    else if (a.y >= a.z) layer += q.y > 0.0 ? 2 : 3;
    else layer += q.z > 0.0 ? 4 : 5;
  }
  vec4 clip = uShadowMat[layer] * vec4(Q, 1.0);
  if (clip.w <= 0.0) return 1.0;
  vec2 uv = clip.xy / clip.w * 0.5 + 0.5;
  float ref = (length(q) - texel) / range;
  float px = 1.0 / float(SHADOW_SIZE);
  float sum = 0.0;
  for (int y = -1; y <= 1; ++y)
    for (int x = -1; x <= 1; ++x)
      sum += texture(uShadows, vec4(uv + vec2(x, y) * px, float(layer), ref));
  return sum / 9.0;
}

void main() {
  vec3 V = normalize(uEye - vPos);
  // Lit from the side we see, whichever way the faces wind.
  vec3 Ng = normalize(vNormal);
  vec3 N = dot(Ng, V) < 0.0 ? -Ng : Ng;
  vec3 kd = uDiffuse.rgb;
  vec3 ka = uAmbient.rgb;
  vec3 ks = uSpecular.rgb;
  float power = max(uPower, 1.0);
  if (uGround == 1) {
    // One-metre grid lines, anti-aliased, fading out where they would shimmer.
    vec2 w = fwidth(vPos.xz);
    vec2 g = abs(fract(vPos.xz - 0.5) - 0.5) / max(w, vec2(1e-4));
    float line = (1.0 - min(min(g.x, g.y), 1.0)) * (1.0 - smoothstep(0.08, 0.5, max(w.x, w.y)));
    kd *= 1.0 + 0.6 * line;
    ka = kd;
  }
  vec3 c = uEmissive.rgb + uAmbientLevel * ka +
           uMoonLevel * kd * vec3(0.75, 0.85, 1.0) * max(dot(N, uMoonDir), 0.0);

  ivec2 tile = clamp(ivec2((gl_FragCoord.xy + uPixelOrigin) / uTilePx), ivec2(0), uGrid.xy - 1);
  int slice = clamp(int(floor(log(max(vDepth, 1e-6)) * uSlice.x + uSlice.y)), 0, uGrid.z - 1);
  uvec2 list = texelFetch(uClusters, (slice * uGrid.y + tile.y) * uGrid.x + tile.x).xy;
  for (uint k = 0u; k < list.y; ++k) {
    int i = int(texelFetch(uIndices, int(list.x + k)).r) * 6;
    vec4 posRange = texelFetch(uLights, i);
    vec3 toLight = posRange.xyz - vPos;
    float d = length(toLight);
    float range = posRange.w;
    if (d >= range) continue;
    vec4 dirSpot = texelFetch(uLights, i + 1);
    vec4 colour = texelFetch(uLights, i + 2);
    vec4 specular = texelFetch(uLights, i + 3);
    vec4 att = texelFetch(uLights, i + 4);
    vec3 L = toLight / max(d, 1e-6);
    float denom = att.x + att.y * d + att.z * d * d;
    float amount = denom > 1e-6 ? 1.0 / denom : 0.0;
    if (dirSpot.w > 0.5) {
      float cosA = dot(-L, dirSpot.xyz);
      float inner = colour.w, outer = specular.w;
      amount *= inner - outer > 1e-5 ? smoothstep(outer, inner, cosA) : step(outer, cosA);
    }
    // The last few percent of the range fade rather than end in a ring.
    amount *= (1.0 - smoothstep(0.95 * range, range, d)) * uExposure;
    if (amount <= 0.0) continue;
    float ndl = max(dot(N, L), 0.0);
    vec3 H = normalize(L + V);
    float sp = ndl > 0.0 ? pow(max(dot(N, H), 0.0), power) : 0.0;
    vec3 lit = kd * ndl * colour.rgb + ks * sp * specular.rgb;
    if (att.w >= 0.0 && (ndl > 0.0 || sp > 0.0)) {
      vec4 shadow = texelFetch(uLights, i + 5);
      amount *= Shadow(vPos, Ng, posRange.xyz, range, int(att.w), shadow.x, shadow.y);
    }
    c += amount * lit;
  }
  float fog = exp(-length(uEye - vPos) / uFogDistance);
  c = mix(uSky, c, fog);
  fragColour = vec4(pow(clamp(c, 0.0, 1.0), vec3(1.0 / 2.2)), 1.0);
}
)";

// The shadow maps: each holds the distance from its light to the nearest surface, over the
// light's range.
const char* const kShadowVs = R"(#version 330 core
layout(location = 0) in vec3 aPos;
uniform mat4 uModel;
uniform mat4 uLightViewProj;
out vec3 vPos;
void main() {
  vec4 w = uModel * vec4(aPos, 1.0);
  vPos = w.xyz;
  gl_Position = uLightViewProj * w;
}
)";

const char* const kShadowFs = R"(#version 330 core
in vec3 vPos;
uniform vec3 uLightPos;
uniform float uRange;
void main() { gl_FragDepth = clamp(length(vPos - uLightPos) / uRange, 0.0, 1.0); }
)";

const char* const kSpriteVs = R"(#version 330 core
layout(location = 0) in vec2 aCorner;
uniform vec3 uCentre;
uniform float uSize;
uniform vec3 uRight;
uniform vec3 uUp;
uniform mat4 uViewProj;
out vec2 vUv;
void main() {
  vUv = aCorner;
  vec3 p = uCentre + (uRight * aCorner.x + uUp * aCorner.y) * uSize;
  gl_Position = uViewProj * vec4(p, 1.0);
}
)";

// A soft glow with a hot core, added to what is behind it.
const char* const kSpriteFs = R"(#version 330 core
in vec2 vUv;
uniform vec3 uColour;
out vec4 fragColour;
void main() {
  float r2 = dot(vUv, vUv);
  if (r2 >= 1.0) discard;
  float glow = exp(-r2 * 6.0) * (1.0 - r2);
  float core = exp(-r2 * 60.0);
  fragColour = vec4(uColour * glow * 0.9 + mix(uColour, vec3(1.0), 0.6) * core * 0.8, 1.0);
}
)";

const char* const kOverlayVs = R"(#version 330 core
layout(location = 0) in vec2 aPos;
layout(location = 1) in vec2 aUv;
uniform mat4 uProj;
out vec2 vUv;
void main() {
  vUv = aUv;
  gl_Position = uProj * vec4(aPos, 0.0, 1.0);
}
)";

const char* const kOverlayFs = R"(#version 330 core
in vec2 vUv;
uniform sampler2D uAtlas;
uniform vec4 uColour;
uniform int uSolid;
out vec4 fragColour;
void main() {
  float a = uSolid == 1 ? 1.0 : texture(uAtlas, vUv).r;
  fragColour = vec4(uColour.rgb, uColour.a * a);
}
)";

GLuint Compile(GLenum kind, const char* source, const char* name) {
  const GLuint s = glCreateShader(kind);
  glShaderSource(s, 1, &source, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetShaderInfoLog(s, sizeof log, nullptr, log);
    glDeleteShader(s);
    throw Error(std::string("render: the ") + name + " shader does not compile: " + log);
  }
  return s;
}

GLuint Link(const char* vs, const char* fs, const char* name) {
  const GLuint v = Compile(GL_VERTEX_SHADER, vs, name);
  const GLuint f = Compile(GL_FRAGMENT_SHADER, fs, name);
  const GLuint p = glCreateProgram();
  glAttachShader(p, v);
  glAttachShader(p, f);
  glLinkProgram(p);
  glDeleteShader(v);
  glDeleteShader(f);
  GLint ok = 0;
  glGetProgramiv(p, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetProgramInfoLog(p, sizeof log, nullptr, log);
    glDeleteProgram(p);
    throw Error(std::string("render: the ") + name + " shaders do not link: " + log);
  }
  return p;
}

GLint Loc(GLuint program, const char* name) { return glGetUniformLocation(program, name); }

void SetMat4(GLuint program, const char* name, const Mat4& m) {
  glUniformMatrix4fv(Loc(program, name), 1, GL_FALSE, m.m.data());
}

void SetVec3(GLuint program, const char* name, const VECTOR3& v) {
  glUniform3f(Loc(program, name), static_cast<float>(v.x), static_cast<float>(v.y),
              static_cast<float>(v.z));
}

void SetColour(GLuint program, const char* name, const COLOUR4& c) {
  glUniform4f(Loc(program, name), c.r, c.g, c.b, c.a);
}

void SetMaterial(GLuint program, const MATERIAL& m) {
  SetColour(program, "uDiffuse", m.diffuse);
  SetColour(program, "uAmbient", m.ambient);
  SetColour(program, "uSpecular", m.specular);
  SetColour(program, "uEmissive", m.emissive);
  glUniform1f(Loc(program, "uPower"), m.power);
}

// Normals per vertex as the mesh gives them; computed from the faces when it gives none.
std::vector<float> NormalsOf(const MeshGroup& g) {
  if (g.normals.size() == g.positions.size()) return g.normals;
  std::vector<float> n(g.positions.size(), 0.0f);
  const auto P = [&](std::size_t i) {
    return VECTOR3{g.positions[i * 3], g.positions[i * 3 + 1], g.positions[i * 3 + 2]};
  };
  const std::size_t nv = g.positions.size() / 3;
  for (std::size_t t = 0; t + 2 < g.indices.size(); t += 3) {
    const std::uint32_t a = g.indices[t], b = g.indices[t + 1], c = g.indices[t + 2];
    if (a >= nv || b >= nv || c >= nv) continue;
    const VECTOR3 fn = Cross(Sub(P(b), P(a)), Sub(P(c), P(a)));
    for (const std::size_t i : {std::size_t{a}, std::size_t{b}, std::size_t{c}}) {
      n[i * 3] += static_cast<float>(fn.x);
      n[i * 3 + 1] += static_cast<float>(fn.y);
      n[i * 3 + 2] += static_cast<float>(fn.z);
    }
  }
  return n;
}

std::array<float, 4> Rgba(std::uint32_t packed) {
  // Packed 0x00BBGGRR.
  return {static_cast<float>(packed & 0xFF) / 255.0f,
          static_cast<float>((packed >> 8) & 0xFF) / 255.0f,
          static_cast<float>((packed >> 16) & 0xFF) / 255.0f, 1.0f};
}

// The mesh shader with the shadow maps' size and number written in.
std::string MeshFs() {
  std::string fs = kMeshFs;
  const std::string version = "#version 330 core\n";
  fs.insert(version.size(), "#define SHADOW_LAYERS " + std::to_string(kShadowLayers) +
                                "\n#define SHADOW_SIZE " + std::to_string(kShadowMapSize) + "\n");
  return fs;
}

// A texture buffer: the buffer its data goes to, and the texture the shader reads it through.
void MakeTextureBuffer(GLuint& buffer, GLuint& texture, GLenum format) {
  glGenBuffers(1, &buffer);
  glBindBuffer(GL_TEXTURE_BUFFER, buffer);
  glBufferData(GL_TEXTURE_BUFFER, 16, nullptr, GL_STREAM_DRAW);
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_BUFFER, texture);
  glTexBuffer(GL_TEXTURE_BUFFER, format, buffer);
  glBindTexture(GL_TEXTURE_BUFFER, 0);
  glBindBuffer(GL_TEXTURE_BUFFER, 0);
}

// Replaces a texture buffer's data (never empty: a buffer of no size is not one to read).
template <typename T>
void Upload(GLuint buffer, const std::vector<T>& data) {
  glBindBuffer(GL_TEXTURE_BUFFER, buffer);
  const T none[4] = {};
  if (data.empty())
    glBufferData(GL_TEXTURE_BUFFER, sizeof none, none, GL_STREAM_DRAW);
  else
    glBufferData(GL_TEXTURE_BUFFER, static_cast<GLsizeiptr>(data.size() * sizeof(T)), data.data(),
                 GL_STREAM_DRAW);
  glBindBuffer(GL_TEXTURE_BUFFER, 0);
}

// Texture units of the mesh shader; unit 0 is the overlays' font.
constexpr GLint kLightsUnit = 1, kClustersUnit = 2, kIndicesUnit = 3, kShadowsUnit = 4;

std::uint64_t NextSerial() {
  static std::atomic<std::uint64_t> serial{0};
  return ++serial;
}

// The largest factor by which a transform stretches a length.
double Stretch(const Mat4& m) {
  double most = 0;
  for (int c = 0; c < 3; ++c)
    most = std::max(
        most, std::sqrt(static_cast<double>(m.at(0, c) * m.at(0, c) + m.at(1, c) * m.at(1, c) +
                                            m.at(2, c) * m.at(2, c))));
  return most;
}

VECTOR3 Apply(const Mat4& m, const VECTOR3& p) {
  const auto row = [&](int r) {
    return m.at(r, 0) * p.x + m.at(r, 1) * p.y + m.at(r, 2) * p.z + m.at(r, 3);
  };
  return {row(0), row(1), row(2)};
}

// Whether a sphere may be seen through a view and projection: it lies inside or across each
// of the six planes of the frustum (read from the matrix's rows).
bool InFrustum(const Mat4& m, const VECTOR3& c, double radius) {
  for (int plane = 0; plane < 6; ++plane) {
    const int row = plane / 2;
    const double sign = plane % 2 == 0 ? 1.0 : -1.0;
    double n[4];
    for (int k = 0; k < 4; ++k) n[k] = m.at(3, k) + sign * m.at(row, k);
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len <= 0) continue;
    if ((n[0] * c.x + n[1] * c.y + n[2] * c.z + n[3]) / len < -radius) return false;
  }
  return true;
}

}  // namespace

GlRenderer::GlRenderer() {
  if (GlVersion() < 33)
    throw Error("render: OpenGL 3.3 is needed, the context offers " +
                std::to_string(GlVersion() / 10) + "." + std::to_string(GlVersion() % 10));
  meshProgram_ = Link(kMeshVs, MeshFs().c_str(), "mesh");
  spriteProgram_ = Link(kSpriteVs, kSpriteFs, "beacon");
  overlayProgram_ = Link(kOverlayVs, kOverlayFs, "overlay");
  shadowProgram_ = Link(kShadowVs, kShadowFs, "shadow");
  glUseProgram(meshProgram_);
  glUniform1i(Loc(meshProgram_, "uLights"), kLightsUnit);
  glUniform1i(Loc(meshProgram_, "uClusters"), kClustersUnit);
  glUniform1i(Loc(meshProgram_, "uIndices"), kIndicesUnit);
  glUniform1i(Loc(meshProgram_, "uShadows"), kShadowsUnit);
  glUseProgram(0);

  GLint maxTexels = 0;
  glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &maxTexels);
  maxTexels_ = static_cast<std::size_t>(std::max(maxTexels, 65536));
  MakeTextureBuffer(lightsBuf_, lightsTex_, GL_RGBA32F);
  MakeTextureBuffer(clustersBuf_, clustersTex_, GL_RG32UI);
  MakeTextureBuffer(indicesBuf_, indicesTex_, GL_R32UI);
  glGenFramebuffers(1, &shadowFbo_);
  glBindFramebuffer(GL_FRAMEBUFFER, shadowFbo_);
  glDrawBuffer(GL_NONE);
  glReadBuffer(GL_NONE);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  shadowMats_.assign(static_cast<std::size_t>(kShadowLayers) * 16, 0.0f);

  // The ground: a unit square in x/z, scaled and moved under the camera's target.
  const float ground[] = {-1, 0, -1, 0, 1, 0, 1, 0, -1, 0, 1, 0, 1,  0, 1, 0, 1, 0,
                          -1, 0, -1, 0, 1, 0, 1, 0, 1,  0, 1, 0, -1, 0, 1, 0, 1, 0};
  glGenVertexArrays(1, &groundVao_);
  glGenBuffers(1, &groundVbo_);
  glBindVertexArray(groundVao_);
  glBindBuffer(GL_ARRAY_BUFFER, groundVbo_);
  glBufferData(GL_ARRAY_BUFFER, sizeof ground, ground, GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), nullptr);
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float),
                        reinterpret_cast<void*>(3 * sizeof(float)));

  const float corners[] = {-1, -1, 1, -1, 1, 1, -1, -1, 1, 1, -1, 1};
  glGenVertexArrays(1, &spriteVao_);
  glGenBuffers(1, &spriteVbo_);
  glBindVertexArray(spriteVao_);
  glBindBuffer(GL_ARRAY_BUFFER, spriteVbo_);
  glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 2 * sizeof(float), nullptr);

  glGenVertexArrays(1, &overlayVao_);
  glGenBuffers(1, &overlayVbo_);
  glBindVertexArray(overlayVao_);
  glBindBuffer(GL_ARRAY_BUFFER, overlayVbo_);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float),
                        reinterpret_cast<void*>(2 * sizeof(float)));
  glBindVertexArray(0);
}

GlRenderer::~GlRenderer() {
  if (abandoned_) return;
  ForgetMeshes();
  for (auto& [size, f] : fonts_)
    if (f.texture) glDeleteTextures(1, &f.texture);
  const GLuint vaos[] = {groundVao_, spriteVao_, overlayVao_};
  const GLuint vbos[] = {groundVbo_, spriteVbo_,   overlayVbo_,
                         lightsBuf_, clustersBuf_, indicesBuf_};
  const GLuint textures[] = {lightsTex_, clustersTex_, indicesTex_, shadowTex_};
  glDeleteVertexArrays(3, vaos);
  glDeleteBuffers(6, vbos);
  glDeleteTextures(shadowTex_ ? 4 : 3, textures);
  glDeleteFramebuffers(1, &shadowFbo_);
  glDeleteProgram(shadowProgram_);
  glDeleteProgram(meshProgram_);
  glDeleteProgram(spriteProgram_);
  glDeleteProgram(overlayProgram_);
}

void GlRenderer::Abandon() {
  meshes_.clear();
  meshesOf_ = nullptr;
  fonts_.clear();
  abandoned_ = true;
}

void GlRenderer::ForgetMeshes() {
  for (auto& [mesh, mb] : meshes_)
    for (auto& g : mb.groups) {
      glDeleteVertexArrays(1, &g.vao);
      glDeleteBuffers(1, &g.vbo);
      glDeleteBuffers(1, &g.ebo);
    }
  meshes_.clear();
  meshesOf_ = nullptr;
}

const GlRenderer::MeshBuffers& GlRenderer::Buffers(const Mesh& mesh) {
  auto it = meshes_.find(mesh.file.get());
  if (it != meshes_.end()) return it->second;
  MeshBuffers mb;
  for (const MeshGroup& g : mesh.groups()) {
    GroupBuffers gb;
    const std::vector<float> normals = NormalsOf(g);
    const std::size_t nv = g.positions.size() / 3;
    std::vector<float> interleaved;
    interleaved.reserve(nv * 6);
    for (std::size_t i = 0; i < nv; ++i) {
      for (int k = 0; k < 3; ++k)
        interleaved.push_back(g.positions[i * 3 + static_cast<std::size_t>(k)]);
      for (int k = 0; k < 3; ++k)
        interleaved.push_back(normals[i * 3 + static_cast<std::size_t>(k)]);
    }
    std::vector<std::uint32_t> indices;
    indices.reserve(g.indices.size());
    for (std::size_t t = 0; t + 2 < g.indices.size(); t += 3)
      if (g.indices[t] < nv && g.indices[t + 1] < nv && g.indices[t + 2] < nv)
        indices.insert(indices.end(), {g.indices[t], g.indices[t + 1], g.indices[t + 2]});
    glGenVertexArrays(1, &gb.vao);
    glGenBuffers(1, &gb.vbo);
    glGenBuffers(1, &gb.ebo);
    glBindVertexArray(gb.vao);
    glBindBuffer(GL_ARRAY_BUFFER, gb.vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(interleaved.size() * sizeof(float)),
                 interleaved.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, gb.ebo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(indices.size() * sizeof(std::uint32_t)), indices.data(),
                 GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float),
                          reinterpret_cast<void*>(3 * sizeof(float)));
    gb.count = static_cast<GLsizei>(indices.size());
    if (nv > 0) {
      VECTOR3 lo{g.positions[0], g.positions[1], g.positions[2]}, hi = lo;
      for (std::size_t i = 0; i < nv; ++i) {
        const VECTOR3 p{g.positions[i * 3], g.positions[i * 3 + 1], g.positions[i * 3 + 2]};
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
      }
      gb.centre = Scale(Add(lo, hi), 0.5);
      gb.radius = Length(Sub(hi, lo)) / 2;
    }
    mb.groups.push_back(gb);
  }
  glBindVertexArray(0);
  return meshes_.emplace(mesh.file.get(), std::move(mb)).first->second;
}

GlRenderer::Frame GlRenderer::Capture(World& world, int W, int H, const RenderOptions& opts,
                                      const Camera& camera) {
  // Meshes live as long as their world: a different world means different meshes, even at
  // the same addresses.
  if (meshesOf_ != &world) {
    ForgetMeshes();
    meshesOf_ = &world;
  }
  Frame frame{W, H, CaptureScene(world, opts), camera, opts, {}, NextSerial()};
  if (Vessel* focus = world.Focus(); opts.hud && focus) frame.hud = world.DrawHUD(*focus, W, H);
  return frame;
}

void GlRenderer::Draw(const Frame& frame, int x0, int y0) {
  const int W = frame.W, H = frame.H;
  const CameraMatrices cam = MatricesOf(frame.camera, static_cast<double>(W) / std::max(H, 1));
  // The lights' lists and shadows belong to the whole picture: made once, whatever the tile.
  if (frame.serial == 0 || frame.serial != preparedSerial_) PrepareLights(frame, cam);
  // The whole picture's viewport, moved so that the framebuffer holds the part asked for.
  glViewport(-x0, -y0, W, H);
  glClearColor(std::pow(kSky[0], 1 / 2.2f), std::pow(kSky[1], 1 / 2.2f),
               std::pow(kSky[2], 1 / 2.2f), 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  DrawScene(frame.scene, cam, frame.camera, frame.opts, x0, y0);
  if (frame.opts.beacons) DrawBeacons(frame.scene, cam);
  DrawHud(frame.hud, W, H);
}

void GlRenderer::DrawWorld(World& world, int W, int H, const RenderOptions& opts,
                           const Camera& camera) {
  Draw(Capture(world, W, H, opts, camera));
}

void GlRenderer::PrepareLights(const Frame& frame, const CameraMatrices& cam) {
  const Scene& scene = frame.scene;
  const LightLists lists = AssignLights(scene.lights, cam, frame.W, frame.H, maxTexels_);
  if (lists.inView.size() * 6 > maxTexels_)
    throw Error("render: " + std::to_string(lists.inView.size()) +
                " lights in view are more than this OpenGL's buffers hold");
  const ShadowPlan plan =
      frame.opts.shadows ? PlanShadows(scene.lights, lists.inView, cam.eye) : ShadowPlan{};
  std::vector<int> layerOf(scene.lights.size(), -1);
  for (const ShadowCaster& c : plan.casters) layerOf[c.light] = c.firstLayer;

  std::vector<float> texels;
  texels.reserve(lists.inView.size() * 24);
  for (const std::uint32_t i : lists.inView) {
    const SceneLight& l = scene.lights[i];
    const ShadowCaster* caster = nullptr;
    for (const ShadowCaster& c : plan.casters)
      if (c.light == i) caster = &c;
    const auto f = [](double v) { return static_cast<float>(v); };
    texels.insert(texels.end(), {f(l.pos.x),
                                 f(l.pos.y),
                                 f(l.pos.z),
                                 f(l.range),  //
                                 f(l.dir.x),
                                 f(l.dir.y),
                                 f(l.dir.z),
                                 l.spot ? 1.0f : 0.0f,  //
                                 l.colour[0],
                                 l.colour[1],
                                 l.colour[2],
                                 f(l.cosInner),  //
                                 l.specular[0],
                                 l.specular[1],
                                 l.specular[2],
                                 f(l.cosOuter),  //
                                 f(l.att[0]),
                                 f(l.att[1]),
                                 f(l.att[2]),
                                 static_cast<float>(layerOf[i]),  //
                                 caster ? static_cast<float>(caster->faces) : 0.0f,
                                 caster ? f(caster->texelAtOneMetre) : 0.0f,
                                 0.0f,
                                 0.0f});
  }
  Upload(lightsBuf_, texels);
  Upload(clustersBuf_, lists.ranges);
  Upload(indicesBuf_, lists.indices);
  grid_ = lists.grid;

  for (const ShadowCaster& c : plan.casters)
    for (int f = 0; f < c.faces; ++f)
      std::copy(c.viewProj[static_cast<std::size_t>(f)].m.begin(),
                c.viewProj[static_cast<std::size_t>(f)].m.end(),
                shadowMats_.begin() + static_cast<std::ptrdiff_t>(c.firstLayer + f) * 16);
  DrawShadowMaps(scene, plan);

  lighting_.lightsInView = static_cast<int>(lists.inView.size());
  lighting_.shadowCandidates = plan.candidates;
  lighting_.shadowCasters = static_cast<int>(plan.casters.size());
  lighting_.note = ShadowNote(plan);
  preparedSerial_ = frame.serial;
}

void GlRenderer::DrawShadowMaps(const Scene& scene, const ShadowPlan& plan) {
  // The array grows to the layers a frame needs (one at least, so that the shader always
  // has a map to be given).
  const int layers = std::max(plan.layers, 1);
  if (layers > shadowLayers_) {
    if (shadowTex_) glDeleteTextures(1, &shadowTex_);
    glGenTextures(1, &shadowTex_);
    glBindTexture(GL_TEXTURE_2D_ARRAY, shadowTex_);
    glTexImage3D(GL_TEXTURE_2D_ARRAY, 0, GL_DEPTH_COMPONENT24, kShadowMapSize, kShadowMapSize,
                 layers, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, nullptr);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
    glBindTexture(GL_TEXTURE_2D_ARRAY, 0);
    shadowLayers_ = layers;
  }
  if (plan.casters.empty()) return;

  GLint drawFbo = 0, readFbo = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFbo);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
  glBindFramebuffer(GL_FRAMEBUFFER, shadowFbo_);
  glViewport(0, 0, kShadowMapSize, kShadowMapSize);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glDisable(GL_CULL_FACE);
  const GLuint p = shadowProgram_;
  glUseProgram(p);

  // Each group in the world's frame once: its sphere, for the lights to skip what they
  // cannot reach.
  struct Placed {
    const DrawGroup* group;
    const GroupBuffers* buffers;
    VECTOR3 centre;
    double radius;
  };
  std::vector<Placed> placed;
  for (const DrawGroup& dg : scene.groups) {
    const MeshBuffers& mb = Buffers(*dg.mesh);
    if (dg.groupIndex >= mb.groups.size() || mb.groups[dg.groupIndex].count == 0) continue;
    const GroupBuffers& gb = mb.groups[dg.groupIndex];
    placed.push_back({&dg, &gb, Apply(dg.model, gb.centre), gb.radius * Stretch(dg.model)});
  }

  for (const ShadowCaster& c : plan.casters) {
    const SceneLight& l = scene.lights[c.light];
    SetVec3(p, "uLightPos", l.pos);
    glUniform1f(Loc(p, "uRange"), static_cast<float>(l.range));
    for (int f = 0; f < c.faces; ++f) {
      glFramebufferTextureLayer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, shadowTex_, 0,
                                c.firstLayer + f);
      glClear(GL_DEPTH_BUFFER_BIT);
      SetMat4(p, "uLightViewProj", c.viewProj[static_cast<std::size_t>(f)]);
      for (const Placed& g : placed) {
        // A light's own vessel casts no shadow of it: its housing and glass surround it.
        if (g.group->vessel == l.vessel && l.vessel != nullptr) continue;
        if (Length(Sub(g.centre, l.pos)) - g.radius > l.range) continue;
        SetMat4(p, "uModel", g.group->model);
        glBindVertexArray(g.buffers->vao);
        glDrawElements(GL_TRIANGLES, g.buffers->count, GL_UNSIGNED_INT, nullptr);
      }
    }
  }
  glBindVertexArray(0);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFbo));
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFbo));
}

void GlRenderer::DrawScene(const Scene& scene, const CameraMatrices& cam, const Camera& camera,
                           const RenderOptions& opts, int x0, int y0) {
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glDisable(GL_CULL_FACE);
  const GLuint p = meshProgram_;
  glUseProgram(p);
  SetMat4(p, "uView", cam.view);
  SetMat4(p, "uViewProj", cam.proj * cam.view);
  SetVec3(p, "uEye", cam.eye);
  glUniform1f(Loc(p, "uAmbientLevel"), static_cast<float>(opts.ambient));
  SetVec3(p, "uMoonDir", Normalized({-0.35, 1.0, 0.25}));
  glUniform1f(Loc(p, "uMoonLevel"), static_cast<float>(opts.moonlight));
  glUniform1f(Loc(p, "uExposure"), static_cast<float>(opts.exposure));
  glUniform3f(Loc(p, "uSky"), kSky[0], kSky[1], kSky[2]);
  glUniform1f(Loc(p, "uFogDistance"), 220.0f);

  // The frame's lights, their clusters and shadow maps (PrepareLights).
  glUniform2f(Loc(p, "uPixelOrigin"), static_cast<float>(x0), static_cast<float>(y0));
  glUniform1f(Loc(p, "uTilePx"), static_cast<float>(grid_.tilePx));
  glUniform3i(Loc(p, "uGrid"), grid_.cols, grid_.rows, grid_.slices);
  const double logSpan = std::log(grid_.zFar / grid_.zNear);
  glUniform2f(Loc(p, "uSlice"), static_cast<float>(grid_.slices / logSpan),
              static_cast<float>(-std::log(grid_.zNear) * grid_.slices / logSpan));
  glUniformMatrix4fv(Loc(p, "uShadowMat"), kShadowLayers, GL_FALSE, shadowMats_.data());
  glActiveTexture(GL_TEXTURE0 + kLightsUnit);
  glBindTexture(GL_TEXTURE_BUFFER, lightsTex_);
  glActiveTexture(GL_TEXTURE0 + kClustersUnit);
  glBindTexture(GL_TEXTURE_BUFFER, clustersTex_);
  glActiveTexture(GL_TEXTURE0 + kIndicesUnit);
  glBindTexture(GL_TEXTURE_BUFFER, indicesTex_);
  glActiveTexture(GL_TEXTURE0 + kShadowsUnit);
  glBindTexture(GL_TEXTURE_2D_ARRAY, shadowTex_);
  glActiveTexture(GL_TEXTURE0);

  glUniform1i(Loc(p, "uGround"), 0);
  const Mat4 viewProj = cam.proj * cam.view;
  for (const DrawGroup& dg : scene.groups) {
    const MeshBuffers& mb = Buffers(*dg.mesh);
    if (dg.groupIndex >= mb.groups.size() || mb.groups[dg.groupIndex].count == 0) continue;
    const GroupBuffers& gb = mb.groups[dg.groupIndex];
    if (!InFrustum(viewProj, Apply(dg.model, gb.centre), gb.radius * Stretch(dg.model))) continue;
    SetMat4(p, "uModel", dg.model);
    glUniformMatrix3fv(Loc(p, "uNormalMat"), 1, GL_FALSE, dg.normalMat.data());
    SetMaterial(p, dg.material);
    glBindVertexArray(mb.groups[dg.groupIndex].vao);
    glDrawElements(GL_TRIANGLES, mb.groups[dg.groupIndex].count, GL_UNSIGNED_INT, nullptr);
  }

  if (opts.ground) {
    Mat4 model;
    const float s = static_cast<float>(kGroundHalfSize);
    model.at(0, 0) = s;
    model.at(2, 2) = s;
    // Whole metres, so the grid stays put when the camera's target moves.
    model.at(0, 3) = std::round(static_cast<float>(camera.target.x));
    model.at(1, 3) = static_cast<float>(scene.groundY);
    model.at(2, 3) = std::round(static_cast<float>(camera.target.z));
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    SetMat4(p, "uModel", model);
    glUniformMatrix3fv(Loc(p, "uNormalMat"), 1, GL_FALSE, identity);
    MATERIAL ground{};
    ground.diffuse = {0.30f, 0.31f, 0.29f, 1};
    ground.ambient = ground.diffuse;
    ground.specular = {0.04f, 0.04f, 0.04f, 1};
    ground.power = 8;
    SetMaterial(p, ground);
    glUniform1i(Loc(p, "uGround"), 1);
    // Behind anything that touches it: the feet of a vessel standing on it.
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 4.0f);
    glBindVertexArray(groundVao_);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glUniform1i(Loc(p, "uGround"), 0);
  }
  glBindVertexArray(0);
}

void GlRenderer::DrawBeacons(const Scene& scene, const CameraMatrices& cam) {
  if (scene.beacons.empty()) return;
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  const GLuint p = spriteProgram_;
  glUseProgram(p);
  SetMat4(p, "uViewProj", cam.proj * cam.view);
  const VECTOR3 right{cam.view.at(0, 0), cam.view.at(0, 1), cam.view.at(0, 2)};
  const VECTOR3 up{cam.view.at(1, 0), cam.view.at(1, 1), cam.view.at(1, 2)};
  SetVec3(p, "uRight", right);
  SetVec3(p, "uUp", up);
  glBindVertexArray(spriteVao_);
  for (const SceneBeacon& b : scene.beacons) {
    // Drawn a sprite's size nearer the eye, so the body it sits on does not cut it.
    const VECTOR3 toEye = Sub(cam.eye, b.pos);
    const double dist = Length(toEye);
    const VECTOR3 centre = Add(b.pos, Scale(Normalized(toEye), std::min(b.size, dist * 0.5)));
    SetVec3(p, "uCentre", centre);
    glUniform1f(Loc(p, "uSize"), static_cast<float>(b.size));
    glUniform3f(Loc(p, "uColour"), b.colour[0], b.colour[1], b.colour[2]);
    glDrawArrays(GL_TRIANGLES, 0, 6);
  }
  glBindVertexArray(0);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
}

Font* GlRenderer::FontFor(float pixelHeight) {
  if (fontMissing_) return nullptr;
  const int key = std::clamp(static_cast<int>(std::lround(pixelHeight)), 6, 96);
  auto it = fonts_.find(key);
  if (it == fonts_.end()) {
    FontAtlas fa;
    const auto file = Font::FindFile();
    if (!file.empty()) fa.font = Font::Load(file, static_cast<float>(key));
    if (!fa.font) {
      fontMissing_ = true;
      return nullptr;
    }
    glGenTextures(1, &fa.texture);
    glBindTexture(GL_TEXTURE_2D, fa.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, fa.font->atlasWidth(), fa.font->atlasHeight(), 0, GL_RED,
                 GL_UNSIGNED_BYTE, fa.font->atlas().data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    it = fonts_.emplace(key, std::move(fa)).first;
  }
  return &*it->second.font;
}

float GlRenderer::TextWidth(std::string_view text, float pixelHeight) {
  Font* f = FontFor(pixelHeight);
  return f ? f->Width(text) : 0.0f;
}

void GlRenderer::FillRect(int W, int H, float x, float y, float w, float h, const float rgba[4]) {
  DrawSolid(W, H, {x, y, x + w, y, x + w, y + h, x, y, x + w, y + h, x, y + h}, rgba);
}

void GlRenderer::DrawSolid(int W, int H, const std::vector<float>& xy, const float rgba[4]) {
  std::vector<float> v;
  v.reserve(xy.size() * 2);
  for (std::size_t i = 0; i + 1 < xy.size(); i += 2) v.insert(v.end(), {xy[i], xy[i + 1], 0, 0});
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glUseProgram(overlayProgram_);
  SetMat4(overlayProgram_, "uProj", Ortho(0, W, H, 0));
  glUniform4fv(Loc(overlayProgram_, "uColour"), 1, rgba);
  glUniform1i(Loc(overlayProgram_, "uSolid"), 1);
  glBindVertexArray(overlayVao_);
  glBindBuffer(GL_ARRAY_BUFFER, overlayVbo_);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(float)), v.data(),
               GL_STREAM_DRAW);
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v.size() / 4));
  glBindVertexArray(0);
  glDisable(GL_BLEND);
}

float GlRenderer::DrawText(int W, int H, float x, float y, std::string_view text,
                           const float rgba[4], float pixelHeight, bool shadow) {
  Font* f = FontFor(pixelHeight);
  if (!f) return 0.0f;
  const GLuint tex =
      fonts_.at(std::clamp(static_cast<int>(std::lround(pixelHeight)), 6, 96)).texture;
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glUseProgram(overlayProgram_);
  SetMat4(overlayProgram_, "uProj", Ortho(0, W, H, 0));
  glUniform1i(Loc(overlayProgram_, "uSolid"), 0);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, tex);
  glUniform1i(Loc(overlayProgram_, "uAtlas"), 0);
  glBindVertexArray(overlayVao_);
  glBindBuffer(GL_ARRAY_BUFFER, overlayVbo_);

  const auto pass = [&](float dx, float dy, const float* colour) {
    std::vector<float> v;
    const float width = f->Layout(text, x + dx, y + dy, [&](const Font::Quad& q) {
      v.insert(v.end(), {q.x0, q.y0, q.s0, q.t0, q.x1, q.y0, q.s1, q.t0, q.x1, q.y1, q.s1, q.t1,
                         q.x0, q.y0, q.s0, q.t0, q.x1, q.y1, q.s1, q.t1, q.x0, q.y1, q.s0, q.t1});
    });
    if (!v.empty()) {
      glUniform4fv(Loc(overlayProgram_, "uColour"), 1, colour);
      glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(float)), v.data(),
                   GL_STREAM_DRAW);
      glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v.size() / 4));
    }
    return width;
  };
  if (shadow) {
    const float dark[4] = {0, 0, 0, 0.75f * rgba[3]};
    const float off = std::max(1.0f, std::round(pixelHeight / 14.0f));
    pass(off, off, dark);
  }
  const float width = pass(0, 0, rgba);
  glBindVertexArray(0);
  glDisable(GL_BLEND);
  return width;
}

void GlRenderer::DrawHud(const std::vector<HudOp>& ops, int W, int H) {
  // A HUD line is 16 units of a 768-pixel-high display; the font fills most of it.
  const float pixelHeight = std::max(9.0f, 15.0f * static_cast<float>(H) / 768.0f);
  std::array<float, 4> colour{1, 1, 1, 1};
  for (const HudOp& op : ops) {
    switch (op.kind) {
      case HudOp::Kind::TextColour:
        colour = Rgba(op.colour);
        break;
      case HudOp::Kind::BackgroundColour:
        break;  // text is drawn with a transparent background
      case HudOp::Kind::Text:
        DrawText(W, H, static_cast<float>(op.x), static_cast<float>(op.y), op.text, colour.data(),
                 pixelHeight);
        break;
      case HudOp::Kind::Line: {
        // A one-pixel-wide quad along the line, through the pixel centres.
        const float x0 = static_cast<float>(op.x) + 0.5f, y0 = static_cast<float>(op.y) + 0.5f;
        const float x1 = static_cast<float>(op.x1) + 0.5f, y1 = static_cast<float>(op.y1) + 0.5f;
        const float len = std::hypot(x1 - x0, y1 - y0);
        const float ux = len > 0 ? (x1 - x0) / len : 1.0f, uy = len > 0 ? (y1 - y0) / len : 0.0f;
        const float nx = -uy * 0.5f, ny = ux * 0.5f;  // half a pixel across
        const float ax = x0 - ux * 0.5f, ay = y0 - uy * 0.5f, bx = x1 + ux * 0.5f,
                    by = y1 + uy * 0.5f;
        DrawSolid(W, H,
                  {ax + nx, ay + ny, bx + nx, by + ny, bx - nx, by - ny, ax + nx, ay + ny, bx - nx,
                   by - ny, ax - nx, ay - ny},
                  colour.data());
        break;
      }
    }
  }
}

}  // namespace hostsim::render
