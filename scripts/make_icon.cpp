// Draws the program's window icon and writes it as a one-image .ico file:
// 200x200 pixels, 32-bit BGRA with straight alpha, uncompressed (a BMP image
// without file header, twice the height for the AND mask), 165,662 bytes.
//
//   g++ -std=c++17 -O2 scripts/make_icon.cpp -o make_icon
//   ./make_icon src/app/window_icon.ico
//
// The picture: a rounded tile shaded from teal to deep blue, a white photo
// card with a sky, a sun and two hills, and an orange badge with a white
// arrow in the lower right corner (a picture going somewhere else).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 200;
constexpr int kSubsamples = 4;  // per axis, for smooth edges

struct Rgba {
  double r, g, b, a;
};

constexpr Rgba kTransparent{0, 0, 0, 0};

Rgba Opaque(int r, int g, int b) {
  return Rgba{r / 255.0, g / 255.0, b / 255.0, 1.0};
}

Rgba Mix(const Rgba& from, const Rgba& to, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return Rgba{from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
              from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

bool InRoundedRect(double x, double y, double left, double top, double right, double bottom,
                   double radius) {
  if (x < left || x > right || y < top || y > bottom) return false;
  const double cx = std::clamp(x, left + radius, right - radius);
  const double cy = std::clamp(y, top + radius, bottom - radius);
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

bool InCircle(double x, double y, double cx, double cy, double radius) {
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// Point inside the triangle (ax,ay) (bx,by) (cx,cy), either winding.
bool InTriangle(double x, double y, double ax, double ay, double bx, double by, double cx,
                double cy) {
  const double d1 = (x - bx) * (ay - by) - (ax - bx) * (y - by);
  const double d2 = (x - cx) * (by - cy) - (bx - cx) * (y - cy);
  const double d3 = (x - ax) * (cy - ay) - (cx - ax) * (y - ay);
  const bool negative = d1 < 0 || d2 < 0 || d3 < 0;
  const bool positive = d1 > 0 || d2 > 0 || d3 > 0;
  return !(negative && positive);
}

// The colour of the design at one point; later shapes lie on top.
Rgba DesignAt(double x, double y) {
  if (!InRoundedRect(x, y, 4, 4, 196, 196, 38)) return kTransparent;

  // Tile: teal at the top left to deep blue at the bottom right, with a
  // darker rim.
  Rgba colour = Mix(Opaque(38, 184, 196), Opaque(28, 70, 160), (x + y) / 400.0);
  if (!InRoundedRect(x, y, 10, 10, 190, 190, 32)) colour = Mix(colour, Opaque(10, 30, 80), 0.45);

  // Shadow of the photo card, then the card and its picture.
  if (InRoundedRect(x, y, 36, 44, 154, 142, 10)) colour = Mix(colour, Opaque(0, 0, 0), 0.35);
  if (InRoundedRect(x, y, 30, 36, 148, 134, 10)) colour = Opaque(250, 250, 246);
  if (x >= 40 && x <= 138 && y >= 46 && y <= 122) {
    colour = Mix(Opaque(126, 200, 250), Opaque(214, 238, 252), (y - 46) / 76.0);
    if (InCircle(x, y, 112, 68, 11)) colour = Opaque(255, 204, 64);
    if (InTriangle(x, y, 40, 122, 76, 72, 114, 122)) colour = Opaque(64, 156, 84);
    if (InTriangle(x, y, 80, 122, 112, 88, 138, 122)) colour = Opaque(40, 120, 70);
    if (InTriangle(x, y, 68, 83, 76, 72, 84, 83)) colour = Opaque(236, 246, 240);
  }

  // Badge with an arrow pointing right.
  if (InCircle(x, y, 146, 146, 38)) colour = Opaque(255, 255, 255);
  if (InCircle(x, y, 146, 146, 34)) {
    colour = Mix(Opaque(255, 170, 40), Opaque(236, 96, 24), (y - 112) / 68.0);
    const bool shaft = x >= 124 && x <= 150 && y >= 139 && y <= 153;
    const bool head = InTriangle(x, y, 146, 124, 146, 168, 170, 146);
    if (shaft || head) colour = Opaque(255, 255, 255);
  }
  return colour;
}

uint8_t ToByte(double v) {
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

void PutLe16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
    return 2;
  }

  // Pixels top row first, straight (not premultiplied) alpha.
  std::vector<uint8_t> bgra(static_cast<size_t>(kSize) * kSize * 4);
  for (int py = 0; py < kSize; ++py) {
    for (int px = 0; px < kSize; ++px) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSubsamples; ++sy) {
        for (int sx = 0; sx < kSubsamples; ++sx) {
          const Rgba c = DesignAt(px + (sx + 0.5) / kSubsamples, py + (sy + 0.5) / kSubsamples);
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      }
      uint8_t* p = &bgra[(static_cast<size_t>(py) * kSize + px) * 4];
      if (a > 0) {
        p[0] = ToByte(b / a);
        p[1] = ToByte(g / a);
        p[2] = ToByte(r / a);
      }
      p[3] = ToByte(a / (kSubsamples * kSubsamples));
    }
  }

  const uint32_t maskStride = ((kSize + 31) / 32) * 4;
  const uint32_t colourBytes = kSize * kSize * 4;
  const uint32_t imageBytes = 40 + colourBytes + maskStride * kSize;

  std::vector<uint8_t> file;
  // Icon directory with one entry; a width or height of 200 fits its byte.
  PutLe16(file, 0);
  PutLe16(file, 1);  // type: icon
  PutLe16(file, 1);  // one image
  file.push_back(static_cast<uint8_t>(kSize));
  file.push_back(static_cast<uint8_t>(kSize));
  file.push_back(0);  // no palette
  file.push_back(0);  // reserved
  PutLe16(file, 1);   // planes
  PutLe16(file, 32);  // bits per pixel
  PutLe32(file, imageBytes);
  PutLe32(file, 6 + 16);  // image offset

  // BITMAPINFOHEADER: the height counts the colour rows and the mask rows.
  PutLe32(file, 40);
  PutLe32(file, kSize);
  PutLe32(file, kSize * 2);
  PutLe16(file, 1);
  PutLe16(file, 32);
  PutLe32(file, 0);  // BI_RGB
  PutLe32(file, colourBytes + maskStride * kSize);
  for (int i = 0; i < 4; ++i) PutLe32(file, 0);

  // Colour rows bottom-up.
  for (int row = kSize - 1; row >= 0; --row) {
    const uint8_t* line = &bgra[static_cast<size_t>(row) * kSize * 4];
    file.insert(file.end(), line, line + kSize * 4);
  }
  // AND mask bottom-up: 1 where the pixel is wholly transparent, for
  // renderers that ignore the alpha channel.
  for (int row = kSize - 1; row >= 0; --row) {
    std::vector<uint8_t> maskRow(maskStride, 0);
    for (int x = 0; x < kSize; ++x) {
      if (bgra[(static_cast<size_t>(row) * kSize + x) * 4 + 3] == 0) {
        maskRow[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
    file.insert(file.end(), maskRow.begin(), maskRow.end());
  }

  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "%s: write failed\n", argv[1]);
    return 1;
  }
  std::printf("%s: %zu bytes\n", argv[1], file.size());
  return 0;
}
