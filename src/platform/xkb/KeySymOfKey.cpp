// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeySymOfKey.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace tarn {

xkb_keysym_t keysymOf(Key key) {
    switch (key) {
        case Key::Backspace:
            return XKB_KEY_BackSpace;
        case Key::Tab:
            return XKB_KEY_Tab;
        case Key::Enter:
            return XKB_KEY_Return;
        case Key::Pause:
            return XKB_KEY_Pause;
        case Key::CapsLock:
            return XKB_KEY_Caps_Lock;
        case Key::Escape:
            return XKB_KEY_Escape;
        case Key::PageUp:
            return XKB_KEY_Prior;
        case Key::PageDown:
            return XKB_KEY_Next;
        case Key::End:
            return XKB_KEY_End;
        case Key::Home:
            return XKB_KEY_Home;
        case Key::Left:
            return XKB_KEY_Left;
        case Key::Up:
            return XKB_KEY_Up;
        case Key::Right:
            return XKB_KEY_Right;
        case Key::Down:
            return XKB_KEY_Down;
        case Key::PrintScreen:
            return XKB_KEY_Print;
        case Key::Insert:
            return XKB_KEY_Insert;
        case Key::Delete:
            return XKB_KEY_Delete;
        case Key::NumLock:
            return XKB_KEY_Num_Lock;
        case Key::ScrollLock:
            return XKB_KEY_Scroll_Lock;
        case Key::LeftWin:
            return XKB_KEY_Super_L;
        case Key::RightWin:
            return XKB_KEY_Super_R;
        case Key::Apps:
            return XKB_KEY_Menu;
        case Key::Add:
            return XKB_KEY_KP_Add;
        case Key::Subtract:
            return XKB_KEY_KP_Subtract;
        case Key::Multiply:
            return XKB_KEY_KP_Multiply;
        case Key::Divide:
            return XKB_KEY_KP_Divide;
        default:
            break;
    }
    if (key >= Key::F1 && key <= Key::F16) {
        return XKB_KEY_F1 +
               static_cast<xkb_keysym_t>(static_cast<int>(key) - static_cast<int>(Key::F1));
    }
    return XKB_KEY_NoSymbol;
}

}  // namespace tarn
