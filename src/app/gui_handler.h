#pragma once
// The door from the headless program code to the windowing side. The
// routines that need a window (message boxes, the message pump, the
// clipboard, fonts, opening files with the desktop) call through the
// handler that the windows install at start-up. Tests install a recorder;
// without a handler the routines fall back to quiet defaults.

#include <string>
#include <vector>

// Button ids a message box returns.
constexpr int idOK = 1;
constexpr int idCancel = 2;
constexpr int idYes = 6;
constexpr int idNo = 7;

// The kinds of message box ShowMsg is asked for. The numbers are the ones
// the program has always passed; a kind is passed as a number, and one
// outside these shows information.
enum TMsgKind : int {
  mkError = 0,
  mkInformation = 1,
  mkWarning = 2,
  mkStop = 3,      // shown as an error
  mkConfirm = 4,   // information with OK and Cancel
  mkQuestion = 5,  // Yes and No; the caller goes on only on Yes
};

enum class TMsgIcon { Error, Information, Warning, Question };
enum class TMsgButtons { OK, OKCancel, YesNo };

// What a message-box kind looks like: icon, buttons, and the classic flag
// value (16 error, 64 information, 48 warning, 65 information with OK and
// Cancel, 36 question with Yes and No).
struct TMsgStyle {
  TMsgIcon Icon = TMsgIcon::Information;
  TMsgButtons Buttons = TMsgButtons::OK;
  unsigned Flags = 64;
  // The answer when the box cannot be shown or is closed without a
  // choice: Cancel for OK/Cancel, No for Yes/No, OK otherwise.
  int DefaultAnswer = idOK;
};

// Errors (mkError, mkStop), warnings, the two kinds with a choice, and
// information for any other number.
TMsgStyle MsgStyleOfKind(int kind);

// One clipboard format: its MIME type and its bytes.
struct TClipboardFormat {
  std::string MimeType;
  std::string Data;
};

// A font request: families in order of preference, then the size.
struct TFontChoice {
  std::vector<std::string> Families;
  int PointSize = 9;
};

class TGuiHandler {
 public:
  virtual ~TGuiHandler() = default;
  // Shows a modal message box (see MsgStyleOfKind) and returns the id of
  // the button pressed.
  virtual int ShowMsg(const std::string& text, int kind, const std::string& caption) = 0;
  // Handles every pending window event, then returns.
  virtual void ProcessMessages() = 0;
  // Replaces the clipboard with these formats; false when it cannot.
  virtual bool SetClipboard(const std::vector<TClipboardFormat>& formats) = 0;
  // Sets the font of a window (an opaque pointer to the window object).
  virtual void ApplyFont(void* form, const TFontChoice& font) = 0;
  // Opens a file or address with the desktop's default application.
  virtual bool OpenWithDesktop(const std::string& pathOrUrl) = 0;
};

// Installs the handler (nullptr removes it). The handler is not owned.
void SetGuiHandler(TGuiHandler* handler);
TGuiHandler* GuiHandler();
