#include "UsKeyboard.h"

#include <xkbcommon/xkbcommon.h>

#include <memory>

#include "KeyRecorder.h"

namespace tarn::editor {
namespace {

using namespace KeyCodes;

// The "us" keymap with one state as typed and one with Num Lock locked. Made
// at the first key recorded and kept for the program's life.
class UsKeymap {
  public:
    UsKeymap() {
        context_.reset(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
        if (!context_) return;
        const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        keymap_.reset(
            xkb_keymap_new_from_names(context_.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (!keymap_) return;
        plain_.reset(xkb_state_new(keymap_.get()));
        numLock_.reset(xkb_state_new(keymap_.get()));
        const xkb_mod_index_t num = xkb_keymap_mod_get_index(keymap_.get(), XKB_MOD_NAME_NUM);
        if (numLock_ && num != XKB_MOD_INVALID)
            xkb_state_update_mask(numLock_.get(), 0, 0, 1u << num, 0, 0, 0);
    }

    xkb_keysym_t keysym(std::uint32_t piKeycode, bool pbNumLock) const {
        xkb_state* state = pbNumLock ? numLock_.get() : plain_.get();
        if (!state) return XKB_KEY_NoSymbol;
        return xkb_state_key_get_one_sym(state, piKeycode);
    }

  private:
    struct ContextFree {
        void operator()(xkb_context* c) const { xkb_context_unref(c); }
    };
    struct KeymapFree {
        void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
    };
    struct StateFree {
        void operator()(xkb_state* s) const { xkb_state_unref(s); }
    };
    std::unique_ptr<xkb_context, ContextFree> context_;
    std::unique_ptr<xkb_keymap, KeymapFree> keymap_;
    std::unique_ptr<xkb_state, StateFree> plain_;
    std::unique_ptr<xkb_state, StateFree> numLock_;
};

int keyCodeOfKeysym(xkb_keysym_t piKeysym) {
    if (piKeysym >= XKB_KEY_a && piKeysym <= XKB_KEY_z) return kA + int(piKeysym - XKB_KEY_a);
    if (piKeysym >= XKB_KEY_0 && piKeysym <= XKB_KEY_9) return k0 + int(piKeysym - XKB_KEY_0);
    if (piKeysym >= XKB_KEY_KP_0 && piKeysym <= XKB_KEY_KP_9)
        return kNumpad0 + int(piKeysym - XKB_KEY_KP_0);
    if (piKeysym >= XKB_KEY_F1 && piKeysym <= XKB_KEY_F12) return kF1 + int(piKeysym - XKB_KEY_F1);
    switch (piKeysym) {
        case XKB_KEY_BackSpace:
            return kBackspace;
        case XKB_KEY_Tab:
        case XKB_KEY_ISO_Left_Tab:
            return kTab;
        case XKB_KEY_Return:
        case XKB_KEY_KP_Enter:
            return kEnter;
        case XKB_KEY_Pause:
            return kPause;
        case XKB_KEY_Caps_Lock:
            return kCapsLock;
        case XKB_KEY_Escape:
            return kEscape;
        case XKB_KEY_space:
            return kSpace;
        case XKB_KEY_Prior:
        case XKB_KEY_KP_Prior:
            return kPageUp;
        case XKB_KEY_Next:
        case XKB_KEY_KP_Next:
            return kPageDown;
        case XKB_KEY_End:
        case XKB_KEY_KP_End:
            return kEnd;
        case XKB_KEY_Home:
        case XKB_KEY_KP_Home:
            return kHome;
        case XKB_KEY_Left:
        case XKB_KEY_KP_Left:
            return kLeft;
        case XKB_KEY_Up:
        case XKB_KEY_KP_Up:
            return kUp;
        case XKB_KEY_Right:
        case XKB_KEY_KP_Right:
            return kRight;
        case XKB_KEY_Down:
        case XKB_KEY_KP_Down:
            return kDown;
        case XKB_KEY_Print:
            return kPrintScreen;
        case XKB_KEY_Insert:
        case XKB_KEY_KP_Insert:
            return kInsert;
        case XKB_KEY_Delete:
        case XKB_KEY_KP_Delete:
            return kDelete;
        case XKB_KEY_KP_Multiply:
            return kMultiply;
        case XKB_KEY_KP_Add:
            return kAdd;
        case XKB_KEY_KP_Subtract:
            return kSubtract;
        case XKB_KEY_KP_Decimal:
            return kDecimal;
        case XKB_KEY_KP_Divide:
            return kDivide;
        case XKB_KEY_Num_Lock:
            return kNumLock;
        case XKB_KEY_Scroll_Lock:
            return kScrollLock;
        case XKB_KEY_Shift_L:
        case XKB_KEY_Shift_R:
            return kShift;
        case XKB_KEY_Control_L:
        case XKB_KEY_Control_R:
            return kControl;
        case XKB_KEY_Alt_L:
        case XKB_KEY_Alt_R:
            return kAlt;
        case XKB_KEY_semicolon:
            return kSemicolon;
        case XKB_KEY_equal:
            return kEquals;
        case XKB_KEY_comma:
            return kComma;
        case XKB_KEY_minus:
            return kMinus;
        case XKB_KEY_period:
            return kPeriod;
        case XKB_KEY_slash:
            return kSlash;
        case XKB_KEY_grave:
            return kBackQuote;
        case XKB_KEY_bracketleft:
            return kLeftBracket;
        case XKB_KEY_backslash:
            return kBackslash;
        case XKB_KEY_bracketright:
            return kRightBracket;
        case XKB_KEY_apostrophe:
            return kQuote;
        default:
            return 0;
    }
}

}  // namespace

int usKeyCodeOfX11Key(std::uint32_t piKeycode, bool pbNumLock) {
    static const UsKeymap keymap;
    return keyCodeOfKeysym(keymap.keysym(piKeycode, pbNumLock));
}

int usKeyCodeOfQtKey(int piQtKey, Qt::KeyboardModifiers pModifiers) {
    const bool keypad = pModifiers.testFlag(Qt::KeypadModifier);
    if (piQtKey >= Qt::Key_A && piQtKey <= Qt::Key_Z) return kA + (piQtKey - Qt::Key_A);
    if (piQtKey >= Qt::Key_0 && piQtKey <= Qt::Key_9)
        return (keypad ? kNumpad0 : k0) + (piQtKey - Qt::Key_0);
    if (piQtKey >= Qt::Key_F1 && piQtKey <= Qt::Key_F12) return kF1 + (piQtKey - Qt::Key_F1);
    // The digit keys' shifted characters, ")" above 0 to "(" above 9.
    static constexpr int shiftedDigits[10] = {
        Qt::Key_ParenRight, Qt::Key_Exclam,   Qt::Key_At,          Qt::Key_NumberSign,
        Qt::Key_Dollar,     Qt::Key_Percent,  Qt::Key_AsciiCircum, Qt::Key_Ampersand,
        Qt::Key_Asterisk,   Qt::Key_ParenLeft};
    if (piQtKey == Qt::Key_Asterisk && keypad) return kMultiply;
    for (int digit = 0; digit < 10; ++digit) {
        if (shiftedDigits[digit] == piQtKey) return k0 + digit;
    }
    switch (piQtKey) {
        case Qt::Key_Backspace:
            return kBackspace;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return kTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kEnter;
        case Qt::Key_Pause:
            return kPause;
        case Qt::Key_CapsLock:
            return kCapsLock;
        case Qt::Key_Escape:
            return kEscape;
        case Qt::Key_Space:
            return kSpace;
        case Qt::Key_PageUp:
            return kPageUp;
        case Qt::Key_PageDown:
            return kPageDown;
        case Qt::Key_End:
            return kEnd;
        case Qt::Key_Home:
            return kHome;
        case Qt::Key_Left:
            return kLeft;
        case Qt::Key_Up:
            return kUp;
        case Qt::Key_Right:
            return kRight;
        case Qt::Key_Down:
            return kDown;
        case Qt::Key_Print:
            return kPrintScreen;
        case Qt::Key_Insert:
            return kInsert;
        case Qt::Key_Delete:
            return kDelete;
        case Qt::Key_NumLock:
            return kNumLock;
        case Qt::Key_ScrollLock:
            return kScrollLock;
        case Qt::Key_Shift:
            return kShift;
        case Qt::Key_Control:
            return kControl;
        case Qt::Key_Alt:
            return kAlt;
        case Qt::Key_Plus:
            return keypad ? kAdd : kEquals;
        case Qt::Key_Minus:
            return keypad ? kSubtract : kMinus;
        case Qt::Key_Period:
            return keypad ? kDecimal : kPeriod;
        case Qt::Key_Slash:
            return keypad ? kDivide : kSlash;
        case Qt::Key_Semicolon:
        case Qt::Key_Colon:
            return kSemicolon;
        case Qt::Key_Equal:
            return kEquals;
        case Qt::Key_Comma:
        case Qt::Key_Less:
            return kComma;
        case Qt::Key_Underscore:
            return kMinus;
        case Qt::Key_Greater:
            return kPeriod;
        case Qt::Key_Question:
            return kSlash;
        case Qt::Key_QuoteLeft:
        case Qt::Key_AsciiTilde:
            return kBackQuote;
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft:
            return kLeftBracket;
        case Qt::Key_Backslash:
        case Qt::Key_Bar:
            return kBackslash;
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight:
            return kRightBracket;
        case Qt::Key_Apostrophe:
        case Qt::Key_QuoteDbl:
            return kQuote;
        default:
            return 0;
    }
}

int usKeyCode(const QKeyEvent& poEvent) {
    if (poEvent.nativeScanCode() != 0) {
        // X's Mod2 is Num Lock on every map in use.
        constexpr quint32 kMod2 = 0x10;
        return usKeyCodeOfX11Key(poEvent.nativeScanCode(),
                                 (poEvent.nativeModifiers() & kMod2) != 0);
    }
    return usKeyCodeOfQtKey(poEvent.key(), poEvent.modifiers());
}

int modifierMask(const QKeyEvent& poEvent) {
    const Qt::KeyboardModifiers modifiers = poEvent.modifiers();
    int mask = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) mask |= ModifierMask::kShift;
    if (modifiers.testFlag(Qt::ControlModifier)) mask |= ModifierMask::kCtrl;
    if (modifiers.testFlag(Qt::AltModifier)) mask |= ModifierMask::kAlt;
    return mask;
}

}  // namespace tarn::editor
