#include "formats/png/oracles.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace oracles {

namespace {

std::uint32_t Next(std::uint32_t& state) {
  // xorshift32: cheap, and the same on every machine.
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

const char* kPillowScript = R"PY(
import sys
from PIL import Image
out = sys.stdout.buffer
for path in sys.argv[1:]:
    try:
        im = Image.open(path)
        im.load()
        rgb = im.convert('RGB')
        data = rgb.tobytes()
        out.write(b'OK %d %d %d\n' % (rgb.width, rgb.height, len(data)))
        out.write(data)
    except Exception as e:
        msg = str(e).replace('\n', ' ').encode('utf-8', 'replace')
        out.write(b'ERR ' + msg + b'\n')
)PY";

const char* kCheckScript = R"PY(
import sys, zlib, struct
d = open(sys.argv[1], 'rb').read()
def fail(msg):
    print(msg); sys.exit(0)
if d[:8] != b'\x89PNG\r\n\x1a\n': fail('bad signature')
pos = 8; types = []; idat = b''; ihdr = None; plte = None; trns = None
while pos < len(d):
    if len(d) - pos < 12: fail('short chunk head')
    n, = struct.unpack('>I', d[pos:pos+4]); t = d[pos+4:pos+8]; data = d[pos+8:pos+8+n]
    if len(data) != n or len(d) < pos + 12 + n: fail('short chunk ' + repr(t))
    crc, = struct.unpack('>I', d[pos+8+n:pos+12+n])
    if zlib.crc32(t + data) & 0xffffffff != crc: fail('bad crc in ' + repr(t))
    name = t.decode('latin1'); types.append(name)
    if name == 'IHDR': ihdr = data
    if name == 'PLTE': plte = data
    if name == 'tRNS': trns = data
    if name == 'IDAT': idat += data
    pos += 12 + n
    if name == 'IEND': break
if pos != len(d): fail('bytes after IEND')
if not types or types[0] != 'IHDR' or types[-1] != 'IEND': fail('order ' + ' '.join(types))
if types.count('IHDR') != 1 or types.count('IEND') != 1: fail('duplicate header or end')
if len(ihdr) != 13: fail('IHDR length')
w, h, depth, ct, cm, fm, im = struct.unpack('>IIBBBBB', ihdr)
if w == 0 or h == 0 or cm or fm or im: fail('IHDR fields')
first = types.index('IDAT'); last = len(types) - 1 - types[::-1].index('IDAT')
if any(x != 'IDAT' for x in types[first:last+1]): fail('IDAT not consecutive')
for name in ('PLTE', 'tRNS', 'gAMA'):
    if name in types and types.index(name) > first: fail(name + ' after IDAT')
if 'PLTE' in types and 'tRNS' in types and types.index('tRNS') < types.index('PLTE'): fail('tRNS before PLTE')
channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ct]
if ct == 3:
    if plte is None or len(plte) == 0 or len(plte) % 3 or len(plte) // 3 > (1 << depth): fail('PLTE')
if trns is not None:
    if ct == 2 and len(trns) != 6: fail('tRNS length')
    if ct == 0 and len(trns) != 2: fail('tRNS length')
    if ct == 3 and (len(trns) == 0 or len(trns) > len(plte) // 3): fail('tRNS length')
    if ct in (4, 6): fail('tRNS with alpha')
dec = zlib.decompressobj()
raw = dec.decompress(idat)
if not dec.eof: fail('zlib stream not finished')
if dec.unused_data: fail('bytes after the zlib stream')
row = (w * channels * depth + 7) // 8
if len(raw) != h * (row + 1): fail('image data length %d, expected %d' % (len(raw), h * (row + 1)))
for y in range(h):
    if raw[y * (row + 1)] > 4: fail('filter type')
print('OK')
)PY";

}  // namespace

TBitmap Pattern(int width, int height, TPixelFormat format, std::uint32_t seed) {
  std::uint32_t state = seed * 2654435761u + static_cast<std::uint32_t>(width * 7919 + height * 104729 + format * 31) + 1;
  if (state == 0) state = 1;
  TBitmap bitmap;
  bitmap.SetPixelFormat(format);
  if (format == pf1bit || format == pf4bit || format == pf8bit) {
    std::size_t entries = std::size_t{1} << BitsPerPixel(format);
    std::vector<TPaletteEntry> palette(entries);
    for (std::size_t i = 0; i < entries; ++i) {
      std::uint32_t v = Next(state);
      palette[i] = TPaletteEntry{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                 static_cast<std::uint8_t>(v >> 16), 0};
    }
    bitmap.SetPalette(palette);
  }
  bitmap.SetSize(width, height);
  int bits = BitsPerPixel(format);
  std::size_t used = static_cast<std::size_t>((static_cast<std::int64_t>(width) * bits + 7) / 8);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = bitmap.ScanLine(y);
    for (std::size_t i = 0; i < used; ++i) {
      // Runs of equal bytes now and then, so that every filter gets chosen.
      row[i] = (i % 16 < 6 && i > 0) ? row[i - 1] : static_cast<std::uint8_t>(Next(state) >> 7);
    }
    int rest = static_cast<int>((static_cast<std::int64_t>(width) * bits) % 8);
    if (rest) row[used - 1] &= static_cast<std::uint8_t>(0xFF00u >> rest);
  }
  return bitmap;
}

std::vector<std::uint8_t> Rgb(const TBitmap& bitmap) {
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height()) * 3);
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      TColor c = bitmap.GetPixelColor(x, y);
      out.push_back(static_cast<std::uint8_t>(GetRValue(c)));
      out.push_back(static_cast<std::uint8_t>(GetGValue(c)));
      out.push_back(static_cast<std::uint8_t>(GetBValue(c)));
    }
  }
  return out;
}

std::vector<Decoded> Pillow(const std::vector<std::string>& files) {
  std::vector<std::string> argv{"/usr/bin/python3", "-c", kPillowScript};
  argv.insert(argv.end(), files.begin(), files.end());
  testsupport::CommandResult r = testsupport::Run(argv);
  std::vector<Decoded> result;
  std::size_t pos = 0;
  const std::string& out = r.Out;
  for (std::size_t i = 0; i < files.size(); ++i) {
    Decoded d;
    std::size_t eol = out.find('\n', pos);
    if (eol == std::string::npos) {
      d.Err = "no answer from Pillow: " + r.Err;
      result.push_back(d);
      continue;
    }
    std::string line = out.substr(pos, eol - pos);
    pos = eol + 1;
    if (line.rfind("OK ", 0) == 0) {
      long long w = 0, h = 0, n = 0;
      std::sscanf(line.c_str() + 3, "%lld %lld %lld", &w, &h, &n);
      d.Image.Width = static_cast<int>(w);
      d.Image.Height = static_cast<int>(h);
      d.Image.Rgb.assign(out.begin() + static_cast<std::ptrdiff_t>(pos),
                         out.begin() + static_cast<std::ptrdiff_t>(pos + static_cast<std::size_t>(n)));
      pos += static_cast<std::size_t>(n);
    } else {
      d.Err = line;
    }
    result.push_back(d);
  }
  return result;
}

Decoded ToolToPnm(const std::vector<std::string>& argv) {
  Decoded d;
  testsupport::CommandResult r = testsupport::Run(argv);
  if (r.ExitCode != 0) {
    d.Err = argv[0] + " failed: " + r.Err;
    return d;
  }
  try {
    d.Image = testsupport::ParsePnm(r.Out);
  } catch (const std::exception& e) {
    d.Err = std::string("unreadable output of ") + argv[0] + ": " + e.what();
  }
  return d;
}

std::string PythonPngCheck(const std::string& file) {
  testsupport::CommandResult r = testsupport::Run({"/usr/bin/python3", "-c", kCheckScript, file});
  std::string out = r.Out;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  if (out == "OK") return "";
  return out.empty() ? "checker failed: " + r.Err : out;
}

std::string MakePam(int width, int height, int depth, int maxval, const std::string& tupleType,
                    const std::vector<std::uint16_t>& samples) {
  std::string s = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) + "\nDEPTH " +
                  std::to_string(depth) + "\nMAXVAL " + std::to_string(maxval) + "\nTUPLTYPE " + tupleType +
                  "\nENDHDR\n";
  for (std::uint16_t v : samples) {
    if (maxval > 255) s.push_back(static_cast<char>(v >> 8));
    s.push_back(static_cast<char>(v & 0xFF));
  }
  return s;
}

std::vector<Chunk> SplitPng(const std::vector<std::uint8_t>& file) {
  std::vector<Chunk> chunks;
  std::size_t pos = 8;
  while (pos + 12 <= file.size()) {
    std::uint32_t n = (static_cast<std::uint32_t>(file[pos]) << 24) | (static_cast<std::uint32_t>(file[pos + 1]) << 16) |
                      (static_cast<std::uint32_t>(file[pos + 2]) << 8) | file[pos + 3];
    if (pos + 12 + n > file.size()) throw std::runtime_error("truncated chunk");
    Chunk c;
    c.Type.assign(reinterpret_cast<const char*>(&file[pos + 4]), 4);
    c.Data.assign(file.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                  file.begin() + static_cast<std::ptrdiff_t>(pos + 8 + n));
    chunks.push_back(std::move(c));
    pos += 12 + n;
  }
  return chunks;
}

std::vector<std::uint8_t> JoinPng(const std::vector<Chunk>& chunks) {
  std::vector<std::uint8_t> out{137, 80, 78, 71, 13, 10, 26, 10};
  for (const Chunk& c : chunks) {
    auto n = static_cast<std::uint32_t>(c.Data.size());
    out.insert(out.end(), {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
                           static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    out.insert(out.end(), c.Type.begin(), c.Type.end());
    out.insert(out.end(), c.Data.begin(), c.Data.end());
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(c.Type.data()), 4);
    if (!c.Data.empty()) crc = crc32(crc, c.Data.data(), static_cast<uInt>(c.Data.size()));
    auto v = static_cast<std::uint32_t>(crc);
    out.insert(out.end(), {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                           static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
  }
  return out;
}

std::vector<Chunk> SplitIdat(const std::vector<Chunk>& chunks, const std::string& type) {
  std::vector<Chunk> split;
  for (const Chunk& c : chunks) {
    if (c.Type != "IDAT") {
      split.push_back(c);
      continue;
    }
    for (std::uint8_t b : c.Data) split.push_back({type, {b}});
  }
  return split;
}

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& raw) {
  uLongf n = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> out(n);
  if (compress(out.data(), &n, raw.data(), static_cast<uLong>(raw.size())) != Z_OK) {
    throw std::runtime_error("compress failed");
  }
  out.resize(n);
  return out;
}

std::vector<std::uint8_t> PngHeader(std::uint32_t w, std::uint32_t h, int depth, int colorType, int interlace) {
  return {static_cast<std::uint8_t>(w >> 24), static_cast<std::uint8_t>(w >> 16), static_cast<std::uint8_t>(w >> 8),
          static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(h >> 24), static_cast<std::uint8_t>(h >> 16),
          static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(depth),
          static_cast<std::uint8_t>(colorType), 0, 0, static_cast<std::uint8_t>(interlace)};
}

std::vector<Chunk> BuildPng(const std::vector<std::uint8_t>& ihdr, const std::vector<std::uint8_t>& rows,
                            const std::vector<Chunk>& extra) {
  std::vector<Chunk> c{{"IHDR", ihdr}};
  c.insert(c.end(), extra.begin(), extra.end());
  c.push_back({"IDAT", Deflate(rows)});
  c.push_back({"IEND", {}});
  return c;
}

}  // namespace oracles
