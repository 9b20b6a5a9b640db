// SPDX-License-Identifier: GPL-3.0-or-later
// The limit bench/typing.py measures typists against: printable ASCII typed
// through XTest as plainly as the protocol allows. Each character's keycode
// comes from XKeysymToKeycode, Shift is held for the characters the US layout
// puts on the shifted level, and the connection is flushed every 16
// characters. Nothing is checked: no target window, no stop key, no keymap change.
//
//   tarn_xtest_loop FILE    types the ASCII text of FILE

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>

// Printable ASCII keysyms equal their code points. A character that is not
// on its key's first level is typed with Shift held (upper case, and the
// shifted symbols of the US layout). The table is filled once, from the
// keymap fetched before typing: no round trip while typing.
struct key {
    KeyCode code;
    int shift;
};

static void fill(Display* display, struct key table[128]) {
    for (int c = 0x20; c < 0x7F; ++c) {
        const KeySym sym = c == ' ' ? XK_space : (KeySym)c;
        table[c].code = XKeysymToKeycode(display, sym);
        table[c].shift =
            table[c].code != 0 && XkbKeycodeToKeysym(display, table[c].code, 0, 0) != sym;
    }
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: tarn_xtest_loop FILE\n");
        return 2;
    }
    FILE* file = fopen(argv[1], "rb");
    if (file == NULL) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "cannot open the display\n");
        fclose(file);
        return 1;
    }
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    struct key table[128] = {{0, 0}};
    fill(display, table);
    long count = 0;
    int c;
    while ((c = fgetc(file)) != EOF) {
        if (c < 0x20 || c >= 0x7F || table[c].code == 0) continue;
        const KeyCode key = table[c].code;
        const int shift_it = table[c].shift;
        if (shift_it) XTestFakeKeyEvent(display, shift, True, CurrentTime);
        XTestFakeKeyEvent(display, key, True, CurrentTime);
        XTestFakeKeyEvent(display, key, False, CurrentTime);
        if (shift_it) XTestFakeKeyEvent(display, shift, False, CurrentTime);
        if (++count % 16 == 0) XFlush(display);
    }
    XFlush(display);
    XCloseDisplay(display);
    fclose(file);
    return 0;
}
