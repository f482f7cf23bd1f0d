#include "base/host.h"

MsgAnswer defaultAnswer(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok:
    case MsgButtons::OkCancel: return MsgAnswer::Ok;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel: return MsgAnswer::Yes;
  }
  return MsgAnswer::Ok;
}

MsgAnswer SilentHost::message(std::string_view, std::string_view, MsgIcon, MsgButtons buttons) {
  return defaultAnswer(buttons);
}
