// SPDX-License-Identifier: GPL-3.0-or-later
// What Tarn needs of GNOME Shell on Wayland, where no program may see or
// activate another's windows: a D-Bus interface of its own on the session
// bus. It lists the windows (topmost first), activates and closes them,
// grabs the stop key for a run, and switches to a layout of Tarn's own while
// Tarn types characters the user's layout lacks. A grab or a layout is tied
// to the client that asked: when that client leaves the bus, killed or not,
// both are given back.
/* exported init */
'use strict';

const {Clutter, Gio, GLib, Meta, Shell} = imports.gi;
const ByteArray = imports.byteArray;
const Main = imports.ui.main;
const KeyboardManager = imports.misc.keyboardManager;

const BUS_NAME = 'org.tarn.Shell1';
const OBJECT_PATH = '/org/tarn/Shell1';
const LAYOUT_NAME = 'tarn';
// A key every evdev keymap has (inet) and hardly any keyboard: sent through
// mutter's input queue and caught as an accelerator, it tells that every
// key sent before it has gone to the clients.
const MARKER_KEY = 'XF86Launch2';
const MARKER_KEYSYM = 0x1008ff42;
const DRAIN_TIMEOUT_MS = 2000;

const INTERFACE = `
<node>
  <interface name="org.tarn.Shell1">
    <method name="ListWindows">
      <arg type="a(tsisbb)" name="windows" direction="out"/>
    </method>
    <method name="FocusedWindow">
      <arg type="t" name="id" direction="out"/>
    </method>
    <method name="Activate">
      <arg type="t" name="id" direction="in"/>
      <arg type="b" name="found" direction="out"/>
    </method>
    <method name="Restore">
      <arg type="t" name="id" direction="in"/>
      <arg type="b" name="found" direction="out"/>
    </method>
    <method name="Close">
      <arg type="t" name="id" direction="in"/>
      <arg type="b" name="found" direction="out"/>
    </method>
    <method name="GrabStopKey">
      <arg type="s" name="accelerator" direction="in"/>
      <arg type="b" name="grabbed" direction="out"/>
    </method>
    <method name="ReleaseStopKey"/>
    <signal name="StopKeyPressed"/>
    <method name="Layout">
      <arg type="s" name="layout" direction="out"/>
      <arg type="s" name="variant" direction="out"/>
      <arg type="s" name="options" direction="out"/>
      <arg type="b" name="own" direction="out"/>
    </method>
    <method name="UseOwnLayout">
      <arg type="s" name="symbols" direction="in"/>
    </method>
    <method name="Drain"/>
    <method name="RestoreLayout">
      <arg type="b" name="changed" direction="out"/>
    </method>
  </interface>
</node>`;

// Windows a user sees as top-level ones, topmost first.
function topLevelWindows() {
    const windows = global.get_window_actors()
        .map(actor => actor.meta_window)
        .filter(window => window && !window.is_override_redirect() &&
            window.get_window_type() !== Meta.WindowType.DESKTOP);
    return global.display.sort_windows_by_stacking(windows).reverse();
}

// The time of a request from the bus: mutter's clock (monotonic, in
// milliseconds), not the time of the last input event, which the shell gives
// otherwise and which makes mutter refuse the focus before any input came.
function now() {
    return Math.floor(GLib.get_monotonic_time() / 1000) % 0x100000000;
}

function windowById(id) {
    return topLevelWindows().find(window => window.get_id() === id) || null;
}

function ownSymbolsFile() {
    return GLib.build_filenamev([GLib.get_user_config_dir(), 'xkb', 'symbols', LAYOUT_NAME]);
}

class TarnService {
    constructor() {
        this._dbus = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._stopAction = Meta.KeyBindingAction.NONE;
        this._stopOwner = null;
        this._layoutOwner = null;
        this._userKeymap = null;
        this._userGroup = 0;
        this._watches = new Map();
        this._acceleratorId = global.display.connect('accelerator-activated',
            (display, action) => {
                if (action === this._stopAction && action !== Meta.KeyBindingAction.NONE)
                    this._dbus.emit_signal('StopKeyPressed', null);
            });
        this._dbus.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        // A layout left by a shell that ended while Tarn typed.
        this._removeSymbols();
    }

    destroy() {
        this._marker = null;
        this._releaseStopKey();
        this._restoreLayout();
        for (const id of this._watches.values())
            Gio.bus_unwatch_name(id);
        this._watches.clear();
        global.display.disconnect(this._acceleratorId);
        Gio.bus_unown_name(this._nameId);
        this._dbus.unexport();
    }

    ListWindowsAsync(parameters, invocation) {
        const focus = global.display.focus_window;
        const list = topLevelWindows().map(window => [
            window.get_id(), window.get_title() || '', window.get_pid(),
            window.get_wm_class() || '', window.minimized, window === focus,
        ]);
        invocation.return_value(new GLib.Variant('(a(tsisbb))', [list]));
    }

    FocusedWindow() {
        const focus = global.display.focus_window;
        return focus ? focus.get_id() : 0;
    }

    Activate(id) {
        const window = windowById(id);
        if (!window)
            return false;
        if (window.minimized)
            window.unminimize();
        // A window focused while the overview (where the shell starts) holds
        // the keyboard does not get it when the overview lets go: the window
        // is activated once the overview has gone.
        if (Main.overview.visible) {
            const hidden = Main.overview.connect('hidden', () => {
                Main.overview.disconnect(hidden);
                GLib.idle_add(GLib.PRIORITY_DEFAULT, () => {
                    if (windowById(id)) {
                        if (global.display.focus_window === window)
                            global.display.unset_input_focus(now());
                        Main.activateWindow(window, now());
                    }
                    return GLib.SOURCE_REMOVE;
                });
            });
            Main.overview.hide();
            return true;
        }
        Main.activateWindow(window, now());
        return true;
    }

    Restore(id) {
        const window = windowById(id);
        if (window && window.minimized)
            window.unminimize();
        return window !== null;
    }

    Close(id) {
        const window = windowById(id);
        if (window)
            window.delete(now());
        return window !== null;
    }

    GrabStopKeyAsync([accelerator], invocation) {
        this._releaseStopKey();
        const action = global.display.grab_accelerator(accelerator, Meta.KeyBindingFlags.NONE);
        if (action !== Meta.KeyBindingAction.NONE) {
            Main.wm.allowKeybinding(Meta.external_binding_name_for_action(action),
                Shell.ActionMode.ALL);
            this._stopAction = action;
            this._stopOwner = invocation.get_sender();
            this._watch(this._stopOwner);
        }
        invocation.return_value(new GLib.Variant('(b)', [action !== Meta.KeyBindingAction.NONE]));
    }

    ReleaseStopKey() {
        this._releaseStopKey();
    }

    Layout() {
        const manager = KeyboardManager.getKeyboardManager();
        const current = manager.currentLayout;
        const options = manager._xkbOptions ? manager._xkbOptions.join(',') : '';
        return [current ? current.layout : 'us', current ? current.variant : '', options,
            this._layoutOwner !== null];
    }

    // Calls back once mutter has handed every key sent so far to the
    // clients, so that a change of keymap cannot reach a client before keys
    // typed on the keymap before (bounded).
    _drainInput(callback) {
        const action = global.display.grab_accelerator(MARKER_KEY, Meta.KeyBindingFlags.NONE);
        if (action === Meta.KeyBindingAction.NONE) {
            callback();
            return;
        }
        Main.wm.allowKeybinding(Meta.external_binding_name_for_action(action),
            Shell.ActionMode.ALL);
        let timeout = 0, activated = 0;
        const finish = () => {
            global.display.disconnect(activated);
            if (timeout)
                GLib.source_remove(timeout);
            global.display.ungrab_accelerator(action);
            callback();
        };
        activated = global.display.connect('accelerator-activated', (display, which) => {
            if (which === action)
                finish();
        });
        timeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, DRAIN_TIMEOUT_MS, () => {
            timeout = 0;
            finish();
            return GLib.SOURCE_REMOVE;
        });
        const time = GLib.get_monotonic_time();
        if (!this._marker) {
            this._marker = Clutter.get_default_backend().get_default_seat()
                .create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
            // The first key of a new device was seen to be lost.
            this._marker.notify_keyval(time, Clutter.KEY_Shift_L, Clutter.KeyState.PRESSED);
            this._marker.notify_keyval(time, Clutter.KEY_Shift_L, Clutter.KeyState.RELEASED);
        }
        this._marker.notify_keyval(time, MARKER_KEYSYM, Clutter.KeyState.PRESSED);
        this._marker.notify_keyval(time, MARKER_KEYSYM, Clutter.KeyState.RELEASED);
    }

    DrainAsync(parameters, invocation) {
        this._drainInput(() => invocation.return_value(null));
    }

    UseOwnLayoutAsync(parameters, invocation) {
        if (this._layoutOwner === null)
            this._useOwnLayout(parameters, invocation);
        else
            this._drainInput(() => this._useOwnLayout(parameters, invocation));
    }

    _useOwnLayout([symbols], invocation) {
        try {
            const file = Gio.File.new_for_path(ownSymbolsFile());
            const folder = file.get_parent();
            if (!folder.query_exists(null))
                folder.make_directory_with_parents(null);
            file.replace_contents(ByteArray.fromString(symbols), null, false,
                Gio.FileCreateFlags.PRIVATE, null);
            const manager = KeyboardManager.getKeyboardManager();
            const options = manager._xkbOptions ? manager._xkbOptions.join(',') : '';
            // Compiled anew even when the name is the same as before: the
            // file changed.
            if (this._layoutOwner === null) {
                this._userKeymap = manager._currentKeymap;
                this._userGroup = manager.currentLayout ? manager.currentLayout.groupIndex : 0;
            }
            this._layoutOwner = invocation.get_sender();
            this._watch(this._layoutOwner);
            // mutter applies a keymap on its input thread; keys sent before
            // it has would be looked up in the old one. The answer waits for
            // it, bounded.
            let timeout = 0;
            const changed = global.backend.connect('keymap-changed', () => {
                global.backend.disconnect(changed);
                GLib.source_remove(timeout);
                invocation.return_value(null);
            });
            timeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, 1000, () => {
                global.backend.disconnect(changed);
                invocation.return_value(null);
                return GLib.SOURCE_REMOVE;
            });
            global.backend.set_keymap(LAYOUT_NAME, '', options);
            global.backend.lock_layout_group(0);
        } catch (e) {
            invocation.return_error_literal(Gio.DBusError, Gio.DBusError.FAILED, e.message);
        }
    }

    RestoreLayoutAsync(parameters, invocation) {
        const restore = () => invocation.return_value(
            new GLib.Variant('(b)', [this._restoreLayout()]));
        if (this._layoutOwner === null)
            restore();
        else
            this._drainInput(restore);
    }

    _watch(name) {
        if (this._watches.has(name))
            return;
        this._watches.set(name, Gio.bus_watch_name_on_connection(Gio.DBus.session, name,
            Gio.BusNameWatcherFlags.NONE, null, () => this._vanished(name)));
    }

    _vanished(name) {
        if (this._stopOwner === name)
            this._releaseStopKey();
        if (this._layoutOwner === name)
            this._restoreLayout();
        const id = this._watches.get(name);
        if (id !== undefined) {
            Gio.bus_unwatch_name(id);
            this._watches.delete(name);
        }
    }

    _releaseStopKey() {
        if (this._stopAction !== Meta.KeyBindingAction.NONE)
            global.display.ungrab_accelerator(this._stopAction);
        this._stopAction = Meta.KeyBindingAction.NONE;
        this._stopOwner = null;
    }

    _restoreLayout() {
        const changed = this._layoutOwner !== null || this._removeSymbols();
        if (this._layoutOwner !== null) {
            this._layoutOwner = null;
            const manager = KeyboardManager.getKeyboardManager();
            const keymap = this._userKeymap;
            if (keymap) {
                global.backend.set_keymap(keymap.layouts, keymap.variants, keymap.options);
                global.backend.lock_layout_group(this._userGroup);
            } else {
                // The manager skips a keymap it believes it set already.
                manager._currentKeymap = null;
                manager.reapply();
            }
        }
        this._removeSymbols();
        return changed;
    }

    _removeSymbols() {
        try {
            return Gio.File.new_for_path(ownSymbolsFile()).delete(null);
        } catch (e) {
            return false;
        }
    }
}

class Extension {
    enable() {
        this._service = new TarnService();
    }

    disable() {
        this._service.destroy();
        this._service = null;
    }
}

function init() {
    return new Extension();
}
