#pragma once

namespace shell {

// Where the web page screen's page stands, apart from the browser that loads it.
// Every address is given to the browser the moment it is asked for, whatever is
// under way: the browser gives up the earlier load itself. The time limit applies
// to a page not yet shown; a shown page stays while its pictures and scripts come.
// What the browser reports of its top frame between the giving of an address and
// its start of that load belongs to the load it gave up, and counts for nothing.
class TPageLoad {
 public:
  // An address was given to the browser: a REPORT press, or a new window's address
  // taken in place. Its page is not shown yet.
  void Asked();
  // The browser starts a load in its top frame (the page's own links too).
  void Started();
  // The top frame holds its new document. True when that shows the page on its way
  // (its time limit no longer applies).
  bool Shown();
  // The top frame's load failed. True when it is the page on its way or shown, not
  // one given up.
  bool Failed();
  // The time limit passed. True when the page on its way is still not shown.
  bool TimedOut();

 private:
  enum class Step { Idle, Asked, Loading, Shown, Failed };
  Step step_ = Step::Idle;
};

}  // namespace shell
