#pragma once

#include <array>

// Where every control of the window lies, in pixels of a 96-dpi screen: header
// controls in window coordinates, screen controls in page coordinates. The asset
// painter draws the white boxes, button faces and keys under these same places.
namespace layout {

struct Rect {
  int Left, Top, Width, Height;
};

inline constexpr Rect Window{0, 0, 1024, 768};
inline constexpr Rect Image1{0, 0, 1024, 80};
inline constexpr Rect ImageButton1{0, 22, 257, 58};
inline constexpr Rect ImageButton2{262, 22, 260, 59};
inline constexpr Rect ImageButton3{528, 21, 259, 59};
inline constexpr Rect Image4{808, 8, 209, 57};
inline constexpr Rect PC{0, 80, 1024, 688};
inline constexpr Rect Page{4, 4, 1016, 678};  // inside PC

// Voucher screen.
inline constexpr Rect edTno{232, 205, 193, 21};
inline constexpr Rect SpeedButton1{224, 248, 161, 41};
inline constexpr Rect edTamt{232, 382, 193, 21};
inline constexpr Rect edTdt{232, 426, 193, 21};
inline constexpr Rect edTreg{232, 470, 193, 21};
inline constexpr Rect SpeedButton2{87, 509, 161, 41};
inline constexpr Rect SpeedButton3{320, 509, 161, 41};

// Cash-card screen.
inline constexpr Rect edMno{232, 178, 193, 21};
inline constexpr Rect edMamt{232, 222, 193, 21};
inline constexpr Rect SpeedButton5{223, 263, 161, 41};
inline constexpr Rect edMdt{232, 392, 193, 21};
inline constexpr Rect edMreg{233, 435, 193, 21};
inline constexpr Rect SpeedButton6{224, 482, 161, 41};

// The message label of either screen; its width follows its text.
inline constexpr int MessageLeft = 152;
inline constexpr int MessageTop = 605;
inline constexpr int MessageHeight = 16;

// The keypad, the same on both screens: key value and place, 115 x 79 each.
struct Key {
  const char* Value;
  int Left, Top;
};
inline constexpr int KeyWidth = 115;
inline constexpr int KeyHeight = 79;
inline constexpr std::array<Key, 12> Keypad{{{"1", 574, 164},
                                             {"2", 708, 165},
                                             {"3", 840, 165},
                                             {"4", 575, 258},
                                             {"5", 708, 258},
                                             {"6", 840, 258},
                                             {"7", 575, 347},
                                             {"8", 708, 347},
                                             {"9", 840, 347},
                                             {"0", 575, 442},
                                             {"00", 708, 442},
                                             {"BACK", 840, 442}}};

}  // namespace layout
