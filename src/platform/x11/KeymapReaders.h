// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Knows when other clients have read the keyboard map, through the RECORD
// extension. A character that the map lacks is typed through a spare keycode
// bound to it for the occasion; a client learns of the binding from a mapping
// notification and then reads the map again. Clients read it when they handle
// the notification, which sits in their queue just before the key events, and
// keep what they read until the next notification. So once the target has
// read the map after a binding, and has stopped reading it, changing the map
// again can no longer garble the keys it has queued. Restoring or reusing a
// keycode any earlier is the race that makes other typing tools lose
// characters.
//
// A thread of its own drains the record connection, so the server never holds
// data for it. Internal to the XTest keystroke backend.

#include <xcb/record.h>
#include <xcb/xcb.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace tarn::x11 {

class KeymapReaders {
  public:
    // Starts recording on a second connection to `display`; `control` is the
    // connection whose keyboard map changes are counted. Null when the server
    // has no RECORD extension or refuses the context.
    static std::unique_ptr<KeymapReaders> start(const char* display, xcb_connection_t* control);
    ~KeymapReaders();
    KeymapReaders(const KeymapReaders&) = delete;
    KeymapReaders& operator=(const KeymapReaders&) = delete;

    // Waits until `client` (the resource base of its IDs; 0 for any client but
    // ours) has read the keyboard map after this connection's `changes`-th map
    // change and then not read it again for `settle`, or until it has gone.
    // Gives up after `timeout`. True when the client has read the map.
    bool waitForRead(std::uint32_t client, std::uint64_t changes, std::chrono::milliseconds settle,
                     std::chrono::milliseconds timeout);

    // False once the record has ended (the server or the connection went).
    bool recording();

  private:
    using Clock = std::chrono::steady_clock;
    struct Read {
        std::uint64_t afterChanges = 0;
        Clock::time_point at;
        bool seen = false;
    };

    KeymapReaders() = default;
    void run();
    void handle(const xcb_record_enable_context_reply_t* reply);

    xcb_connection_t* control_ = nullptr;
    xcb_connection_t* data_ = nullptr;
    xcb_record_context_t context_ = 0;
    std::uint32_t ownBase_ = 0;
    std::uint8_t xkbOpcode_ = 0;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool started_ = false;
    bool ended_ = false;
    std::uint64_t changesSeen_ = 0;
    std::unordered_map<std::uint32_t, Read> reads_;
    Read anyRead_;
    std::unordered_set<std::uint32_t> gone_;
};

}  // namespace tarn::x11
