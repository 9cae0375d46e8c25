#include "PageLoad.h"

namespace shell {

void TPageLoad::Asked() { step_ = Step::Asked; }

void TPageLoad::Started() { step_ = Step::Loading; }

bool TPageLoad::Shown() {
  if (step_ != Step::Loading) return false;
  step_ = Step::Shown;
  return true;
}

bool TPageLoad::Failed() {
  if (step_ == Step::Asked) return false;
  step_ = Step::Failed;
  return true;
}

bool TPageLoad::TimedOut() {
  if (step_ != Step::Asked && step_ != Step::Loading) return false;
  step_ = Step::Failed;
  return true;
}

}  // namespace shell
