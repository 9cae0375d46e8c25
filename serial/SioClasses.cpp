#include "SioClasses.h"

namespace serial {

void TSioPersistent::Assign(const TSioPersistent& Source) {
  throw EConvertError("Cannot assign a " + Source.ClassName() + " to a " + ClassName());
}

void TSioPersistent::EndUpdate() {
  if (UpdateCount > 0) --UpdateCount;
  Changed();
}

void TSioPersistent::Changed() {
  if (UpdateCount == 0 && OnChange) OnChange(this);
}

void TSioEventChars::Assign(const TSioPersistent& Source) {
  const auto* other = dynamic_cast<const TSioEventChars*>(&Source);
  if (other == nullptr) return TSioPersistent::Assign(Source);
  BeginUpdate();
  for (int i = 0; i < 4; ++i) SetChar(i + 1, other->chars_[i]);
  EndUpdate();
}

void TSioEventChars::SetChar(int Index, std::uint8_t c) {
  if (Index >= 1 && Index <= 4) chars_[Index - 1] = c;
  Changed();
}

WaitResult TSioHandleObject::WaitFor(std::uint32_t Timeout) {
  switch (event_.WaitFor(Timeout, LastError)) {
    case platform::WaitableEvent::Result::Signaled: return WaitResult::Signaled;
    case platform::WaitableEvent::Result::TimedOut: return WaitResult::TimedOut;
    case platform::WaitableEvent::Result::Failed: break;
  }
  return WaitResult::Failed;
}

}  // namespace serial
