#include "app/gui_handler.h"

#include <atomic>

namespace {
std::atomic<TGuiHandler*> g_handler{nullptr};
}  // namespace

TMsgStyle MsgStyleOfKind(int kind) {
  switch (kind) {
    case mkError:
    case mkStop:
      return {TMsgIcon::Error, TMsgButtons::OK, 16, idOK};
    case mkWarning:
      return {TMsgIcon::Warning, TMsgButtons::OK, 48, idOK};
    case mkConfirm:
      return {TMsgIcon::Information, TMsgButtons::OKCancel, 65, idCancel};
    case mkQuestion:
      return {TMsgIcon::Question, TMsgButtons::YesNo, 36, idNo};
    default:
      return {TMsgIcon::Information, TMsgButtons::OK, 64, idOK};
  }
}

void SetGuiHandler(TGuiHandler* handler) { g_handler.store(handler); }

TGuiHandler* GuiHandler() { return g_handler.load(); }
