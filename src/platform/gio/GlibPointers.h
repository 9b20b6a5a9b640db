// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Owning pointers for the GLib objects the GIO backends hold, so that every
// path out of a function, failures included, gives them back.

#include <gio/gio.h>

#include <memory>

namespace tarn::gio {

template <class T>
struct GObjectUnref {
    void operator()(T* object) const {
        if (object) g_object_unref(object);
    }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref<T>>;

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GFree {
    void operator()(void* memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFree>;

}  // namespace tarn::gio
