#pragma once
// The GIF89a extension blocks of a frame. Each is written as "!", its
// label and its body.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/strings.h"
#include "formats/gif/gif_image.h"

class TGIFExtension : public TGIFItem {
 public:
  explicit TGIFExtension(TGIFSubImage* frame);
  TGIFSubImage* Frame() const { return frame_; }
  // The label byte.
  virtual std::uint8_t ExtensionType() const = 0;
  int GetVersion() const override { return gv89a; }
  // A copy for another frame.
  virtual std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* frame) const = 0;

  void SaveToStream(TStream& stream) override;
  // Checks "!" and the label, then reads the body.
  void LoadFromStream(TStream& stream) override;

  // Creates the extension for a label, looking at the data that follows
  // for application extensions (the stream is left where it was).
  // nullptr for an unknown label.
  static std::unique_ptr<TGIFExtension> Create(std::uint8_t label, TStream& stream, TGIFSubImage* frame);

 protected:
  virtual void SaveBody(TStream& stream) = 0;
  virtual void LoadBody(TStream& stream) = 0;
  TGIFSubImage* frame_;
};

class TGIFGraphicControlExtension : public TGIFExtension {
 public:
  // Becomes the frame's graphic control extension when it has none yet;
  // the caller adds it to the frame's extension list.
  explicit TGIFGraphicControlExtension(TGIFSubImage* frame);
  ~TGIFGraphicControlExtension() override;
  std::uint8_t ExtensionType() const override { return 0xF9; }
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* frame) const override;

  bool Transparent() const { return (Packed & 1) != 0; }
  void SetTransparent(bool value);
  int TransparentColorIndex() const { return TransparentIndexValue; }
  // An index beyond the frame's colour table warns "Invalid color index"
  // and stores 0.
  void SetTransparentColorIndex(int index);
  int GetDelay() const { return Delay; }
  void SetDelay(int value) { Delay = static_cast<std::uint16_t>(value); }
  int Disposal() const { return (Packed >> 2) & 7; }
  void SetDisposal(int value) {
    Packed = static_cast<std::uint8_t>((Packed & ~0x1C) | ((value & 7) << 2));
  }
  bool UserInput() const { return (Packed & 2) != 0; }
  void SetUserInput(bool value) { Packed = static_cast<std::uint8_t>(value ? Packed | 2 : Packed & ~2); }

  std::uint8_t BlockSize = 4;
  std::uint8_t Packed = 0;
  std::uint16_t Delay = 0;
  std::uint8_t TransparentIndexValue = 0;

 protected:
  void SaveBody(TStream& stream) override;
  void LoadBody(TStream& stream) override;
};

class TGIFTextExtension : public TGIFExtension {
 public:
  explicit TGIFTextExtension(TGIFSubImage* frame) : TGIFExtension(frame) {}
  std::uint8_t ExtensionType() const override { return 0x01; }
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* frame) const override;

  std::uint8_t BlockSize = 12;
  std::uint16_t Left = 0, Top = 0, GridWidth = 0, GridHeight = 0;
  std::uint8_t CellWidth = 0, CellHeight = 0, TextFGColorIndex = 0, TextBGColorIndex = 0;
  TStringList Text;

 protected:
  void SaveBody(TStream& stream) override;
  void LoadBody(TStream& stream) override;
};

class TGIFCommentExtension : public TGIFExtension {
 public:
  explicit TGIFCommentExtension(TGIFSubImage* frame) : TGIFExtension(frame) {}
  std::uint8_t ExtensionType() const override { return 0xFE; }
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* frame) const override;
  TStringList Comment;

 protected:
  void SaveBody(TStream& stream) override;
  void LoadBody(TStream& stream) override;
};

class TGIFApplicationExtension : public TGIFExtension {
 public:
  explicit TGIFApplicationExtension(TGIFSubImage* frame) : TGIFExtension(frame) { Identifier.fill(0); }
  std::uint8_t ExtensionType() const override { return 0xFF; }
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* frame) const override;

  // 8 bytes of application name, 3 of authentication code.
  std::array<std::uint8_t, 11> Identifier;
  std::string IdentifierText() const { return std::string(Identifier.begin(), Identifier.end()); }
  void SetIdentifier(const std::string& text);

  // Peeks the block and tells which class reads it.
  enum class TKind { Plain, Unknown, NSLoop };
  static TKind FindSubExtension(TStream& stream);

 protected:
  void SaveBody(TStream& stream) override;
  void LoadBody(TStream& stream) override;
  virtual void SaveData(TStream& stream);
  virtual void LoadData(TStream& stream);
};

// One data sub-block as stored.
struct TGIFBlock {
  std::vector<std::uint8_t> Data;  // 1..255 bytes
};

// An application extension nobody here knows: its sub-blocks are kept and
// written back unchanged.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  using TGIFApplicationExtension::TGIFApplicationExtension;
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* frame) const override;
  std::vector<TGIFBlock> Blocks;

 protected:
  void SaveData(TStream& stream) override;
  void LoadData(TStream& stream) override;
};

// The looping extension ("NETSCAPE2.0", also read as "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* frame);
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* frame) const override;
  std::uint16_t Loops = 0;  // 0 = for ever
  std::uint32_t BufferSize = 0;

 protected:
  void SaveData(TStream& stream) override;
  void LoadData(TStream& stream) override;
};

// Reads data sub-blocks up to the terminator; the stream ending first
// raises "Premature end of data".
std::vector<TGIFBlock> ReadGIFSubBlocks(TStream& stream);
void SkipGIFSubBlocks(TStream& stream);
