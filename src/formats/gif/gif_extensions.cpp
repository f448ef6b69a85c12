#include "formats/gif/gif_extensions.h"

#include <algorithm>
#include <cstring>

#include "core/exceptions.h"
#include "formats/gif/gif_streamio.h"

namespace {

// The identifiers of the application extensions this program reads itself.
struct TRegisteredAppExtension {
  const char* Identifier;
  TGIFApplicationExtension::TKind Kind;
};
constexpr TRegisteredAppExtension RegisteredAppExtensions[] = {
    {"NETSCAPE2.0", TGIFApplicationExtension::TKind::NSLoop},
    {"ANIMEXTS1.0", TGIFApplicationExtension::TKind::NSLoop},
};

void WriteStringsAsSubBlocks(TStream& stream, const TStringList& strings) {
  for (const std::string& s : strings) {
    // An empty string has no sub-block: its count byte 0 would end the
    // extension early.
    for (std::size_t pos = 0; pos < s.size(); pos += 255) {
      const std::size_t n = std::min<std::size_t>(255, s.size() - pos);
      stream.WriteByte(static_cast<std::uint8_t>(n));
      stream.WriteBuffer(s.data() + pos, static_cast<std::int64_t>(n));
    }
  }
  stream.WriteByte(0);
}

void ReadSubBlocksAsStrings(TStream& stream, TStringList& strings) {
  strings.Clear();
  for (const auto& block : ReadGIFSubBlocks(stream))
    strings.Add(std::string(block.Data.begin(), block.Data.end()));
}

}  // namespace

std::vector<TGIFBlock> ReadGIFSubBlocks(TStream& stream) {
  std::vector<TGIFBlock> blocks;
  for (;;) {
    const int count = gifio::ReadByteOrEnd(stream);
    if (count < 0) throw GIFException(gifio::PrematureEnd);
    if (count == 0) return blocks;
    TGIFBlock block;
    block.Data.resize(static_cast<std::size_t>(count));
    gifio::ReadExact(stream, block.Data.data(), count);
    blocks.push_back(std::move(block));
  }
}

void SkipGIFSubBlocks(TStream& stream) {
  for (;;) {
    const int count = gifio::ReadByteOrEnd(stream);
    if (count < 0) throw GIFException(gifio::PrematureEnd);
    if (count == 0) return;
    gifio::SkipExact(stream, count);
  }
}

// ---------------------------------------------------------------------------

TGIFExtension::TGIFExtension(TGIFSubImage* frame) : TGIFItem(frame ? frame->Image() : nullptr), frame_(frame) {}

void TGIFExtension::SaveToStream(TStream& stream) {
  stream.WriteByte('!');
  stream.WriteByte(ExtensionType());
  SaveBody(stream);
}

void TGIFExtension::LoadFromStream(TStream& stream) {
  if (gifio::ReadU8(stream) != '!') throw GIFException("Invalid extension introducer");
  if (gifio::ReadU8(stream) != ExtensionType())
    throw GIFException("Internal error: Extension Instance does not match Extension Label");
  LoadBody(stream);
}

std::unique_ptr<TGIFExtension> TGIFExtension::Create(std::uint8_t label, TStream& stream, TGIFSubImage* frame) {
  switch (label) {
    case 0x01: return std::make_unique<TGIFTextExtension>(frame);
    case 0xF9: return std::make_unique<TGIFGraphicControlExtension>(frame);
    case 0xFE: return std::make_unique<TGIFCommentExtension>(frame);
    case 0xFF:
      switch (TGIFApplicationExtension::FindSubExtension(stream)) {
        case TGIFApplicationExtension::TKind::NSLoop: return std::make_unique<TGIFAppExtNSLoop>(frame);
        case TGIFApplicationExtension::TKind::Unknown: return std::make_unique<TGIFUnknownAppExtension>(frame);
        case TGIFApplicationExtension::TKind::Plain: return std::make_unique<TGIFApplicationExtension>(frame);
      }
      return nullptr;
    default: return nullptr;
  }
}

// ---------------------------------------------------------------------------
// Graphic control

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* frame) : TGIFExtension(frame) {
  if (frame_ && !frame_->GraphicControlExtension()) frame_->SetGraphicControlExtension(this);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (!frame_) return;
  if (Transparent()) frame_->SetTransparent(false);
  if (frame_->GraphicControlExtension() == this) frame_->SetGraphicControlExtension(nullptr);
}

std::unique_ptr<TGIFExtension> TGIFGraphicControlExtension::Clone(TGIFSubImage* frame) const {
  auto copy = std::make_unique<TGIFGraphicControlExtension>(frame);
  copy->BlockSize = BlockSize;
  copy->Packed = Packed;
  copy->Delay = Delay;
  copy->TransparentIndexValue = TransparentIndexValue;
  return copy;
}

void TGIFGraphicControlExtension::SetTransparent(bool value) {
  Packed = static_cast<std::uint8_t>(value ? (Packed | 1) : (Packed & ~1));
  if (frame_) frame_->SetTransparent(value);
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int index) {
  if (frame_) {
    const TGIFColorMap& map = frame_->ActiveColorMap();
    if (map.Count() > 0 && index >= map.Count()) {
      Warning(gsWarning, "Invalid color index");
      index = 0;
    }
  }
  if (index < 0 || index > 255) {
    Warning(gsWarning, "Invalid color index");
    index = 0;
  }
  TransparentIndexValue = static_cast<std::uint8_t>(index);
}

void TGIFGraphicControlExtension::SaveBody(TStream& stream) {
  stream.WriteByte(4);
  stream.WriteByte(Packed);
  stream.WriteWord(Delay);
  stream.WriteByte(TransparentIndexValue);
  stream.WriteByte(0);
}

void TGIFGraphicControlExtension::LoadBody(TStream& stream) {
  // The block says how long it is; fields it does not reach stay 0 and
  // bytes beyond the four known ones are stepped over.
  const int size = gifio::ReadByteOrEnd(stream);
  if (size < 0) {
    Warning(gsWarning, gifio::PrematureEnd);
    return;
  }
  BlockSize = static_cast<std::uint8_t>(size);
  std::uint8_t body[4] = {};
  const int wanted = std::min(size, 4);
  const auto got = wanted > 0 ? stream.Read(body, wanted) : 0;
  Packed = body[0];
  Delay = static_cast<std::uint16_t>(body[1] | (body[2] << 8));
  TransparentIndexValue = body[3];
  if (Transparent() && frame_) frame_->SetTransparent(true);
  if (got < wanted) {
    Warning(gsWarning, gifio::PrematureEnd);
    return;
  }
  if (size > 4) {
    if (gifio::Left(stream) < size - 4) {
      stream.Seek(0, TSeekOrigin::soEnd);
      Warning(gsWarning, gifio::PrematureEnd);
      return;
    }
    stream.Seek(size - 4, TSeekOrigin::soCurrent);
  }
  try {
    SkipGIFSubBlocks(stream);
  } catch (const GIFException&) {
    Warning(gsWarning, gifio::PrematureEnd);
  }
}

// ---------------------------------------------------------------------------
// Plain text and comment

std::unique_ptr<TGIFExtension> TGIFTextExtension::Clone(TGIFSubImage* frame) const {
  auto copy = std::make_unique<TGIFTextExtension>(frame);
  copy->BlockSize = BlockSize;
  copy->Left = Left;
  copy->Top = Top;
  copy->GridWidth = GridWidth;
  copy->GridHeight = GridHeight;
  copy->CellWidth = CellWidth;
  copy->CellHeight = CellHeight;
  copy->TextFGColorIndex = TextFGColorIndex;
  copy->TextBGColorIndex = TextBGColorIndex;
  copy->Text = Text;
  return copy;
}

void TGIFTextExtension::SaveBody(TStream& stream) {
  stream.WriteByte(12);
  stream.WriteWord(Left);
  stream.WriteWord(Top);
  stream.WriteWord(GridWidth);
  stream.WriteWord(GridHeight);
  stream.WriteByte(CellWidth);
  stream.WriteByte(CellHeight);
  stream.WriteByte(TextFGColorIndex);
  stream.WriteByte(TextBGColorIndex);
  WriteStringsAsSubBlocks(stream, Text);
}

void TGIFTextExtension::LoadBody(TStream& stream) {
  BlockSize = gifio::ReadU8(stream);
  std::uint8_t body[12] = {};
  gifio::ReadExact(stream, body, std::min<int>(BlockSize, 12));
  if (BlockSize > 12) gifio::SkipExact(stream, BlockSize - 12);
  auto word = [&](int at) { return static_cast<std::uint16_t>(body[at] | (body[at + 1] << 8)); };
  Left = word(0);
  Top = word(2);
  GridWidth = word(4);
  GridHeight = word(6);
  CellWidth = body[8];
  CellHeight = body[9];
  TextFGColorIndex = body[10];
  TextBGColorIndex = body[11];
  ReadSubBlocksAsStrings(stream, Text);
}

std::unique_ptr<TGIFExtension> TGIFCommentExtension::Clone(TGIFSubImage* frame) const {
  auto copy = std::make_unique<TGIFCommentExtension>(frame);
  copy->Comment = Comment;
  return copy;
}

void TGIFCommentExtension::SaveBody(TStream& stream) { WriteStringsAsSubBlocks(stream, Comment); }

void TGIFCommentExtension::LoadBody(TStream& stream) { ReadSubBlocksAsStrings(stream, Comment); }

// ---------------------------------------------------------------------------
// Application extensions

std::unique_ptr<TGIFExtension> TGIFApplicationExtension::Clone(TGIFSubImage* frame) const {
  auto copy = std::make_unique<TGIFApplicationExtension>(frame);
  copy->Identifier = Identifier;
  return copy;
}

void TGIFApplicationExtension::SetIdentifier(const std::string& text) {
  Identifier.fill(0);
  std::memcpy(Identifier.data(), text.data(), std::min<std::size_t>(text.size(), 11));
}

TGIFApplicationExtension::TKind TGIFApplicationExtension::FindSubExtension(TStream& stream) {
  const std::int64_t start = stream.Position();
  TKind kind = TKind::Plain;
  const int size = gifio::ReadByteOrEnd(stream);
  std::uint8_t id[11] = {};
  if (size == 11 && stream.Read(id, 11) == 11) {
    kind = TKind::Unknown;
    for (auto it = std::rbegin(RegisteredAppExtensions); it != std::rend(RegisteredAppExtensions); ++it)
      if (std::memcmp(id, it->Identifier, 11) == 0) {
        kind = it->Kind;
        break;
      }
  } else if (size == 10 && stream.Read(id, 10) == 10) {
    kind = TKind::Unknown;
  }
  stream.SetPosition(start);
  return kind;
}

void TGIFApplicationExtension::SaveBody(TStream& stream) {
  stream.WriteByte(11);
  stream.WriteBuffer(Identifier.data(), 11);
  SaveData(stream);
}

void TGIFApplicationExtension::LoadBody(TStream& stream) {
  const int size = gifio::ReadU8(stream);
  if (size < 10) throw GIFException("Unsupported Application Extension block size");
  Identifier.fill(0);
  // A block of 10 holds 10 identifier bytes; longer blocks keep 11 and
  // step over the rest.
  gifio::ReadExact(stream, Identifier.data(), std::min(size, 11));
  if (size > 11) gifio::SkipExact(stream, size - 11);
  LoadData(stream);
}

void TGIFApplicationExtension::SaveData(TStream& stream) { stream.WriteByte(0); }

void TGIFApplicationExtension::LoadData(TStream& stream) { SkipGIFSubBlocks(stream); }

std::unique_ptr<TGIFExtension> TGIFUnknownAppExtension::Clone(TGIFSubImage* frame) const {
  auto copy = std::make_unique<TGIFUnknownAppExtension>(frame);
  copy->Identifier = Identifier;
  copy->Blocks = Blocks;
  return copy;
}

void TGIFUnknownAppExtension::SaveData(TStream& stream) {
  for (const auto& block : Blocks) {
    stream.WriteByte(static_cast<std::uint8_t>(block.Data.size()));
    stream.WriteBuffer(block.Data.data(), static_cast<std::int64_t>(block.Data.size()));
  }
  stream.WriteByte(0);
}

void TGIFUnknownAppExtension::LoadData(TStream& stream) { Blocks = ReadGIFSubBlocks(stream); }

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* frame) : TGIFApplicationExtension(frame) {
  SetIdentifier("NETSCAPE2.0");
}

std::unique_ptr<TGIFExtension> TGIFAppExtNSLoop::Clone(TGIFSubImage* frame) const {
  auto copy = std::make_unique<TGIFAppExtNSLoop>(frame);
  copy->Identifier = Identifier;
  copy->Loops = Loops;
  copy->BufferSize = BufferSize;
  return copy;
}

void TGIFAppExtNSLoop::SaveData(TStream& stream) {
  stream.WriteByte(3);
  stream.WriteByte(1);
  stream.WriteWord(Loops);
  if (BufferSize != 0) {
    stream.WriteByte(5);
    stream.WriteByte(2);
    stream.WriteDWord(BufferSize);
  }
  stream.WriteByte(0);
}

void TGIFAppExtNSLoop::LoadData(TStream& stream) {
  for (const auto& block : ReadGIFSubBlocks(stream)) {
    const auto& d = block.Data;
    switch (d[0] & 7) {
      case 1:
        if (d.size() < 3) throw GIFException("Invalid GIF data");
        Loops = static_cast<std::uint16_t>(d[1] | (d[2] << 8));
        break;
      case 2:
        if (d.size() < 5) throw GIFException("Invalid GIF data");
        BufferSize = static_cast<std::uint32_t>(d[1]) | (static_cast<std::uint32_t>(d[2]) << 8) |
                     (static_cast<std::uint32_t>(d[3]) << 16) | (static_cast<std::uint32_t>(d[4]) << 24);
        break;
      default: break;
    }
  }
}
