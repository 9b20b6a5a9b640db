// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeymapReaders.h"

#include <sys/socket.h>
// xkb.h names a member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstring>

#include "XcbReply.h"

namespace tarn::x11 {
namespace {

// Categories of intercepted data (RECORD protocol).
enum : std::uint8_t {
    kFromClient = 1,
    kClientStarted = 2,
    kClientDied = 3,
    kStartOfData = 4,
    kEndOfData = 5,
};

constexpr std::uint8_t kChangeKeyboardMapping = 100;
constexpr std::uint8_t kGetKeyboardMapping = 101;
constexpr std::uint8_t kXkbSetMap = 9;

// XKB requests with which clients read the keyboard description.
bool isXkbRead(std::uint8_t minor) {
    switch (minor) {
        case 8:   // GetMap
        case 10:  // GetCompatMap
        case 17:  // GetNames
        case 23:  // GetKbdByName
        case 24:  // GetDeviceInfo
            return true;
        default:
            return false;
    }
}

std::uint32_t read32(const std::uint8_t* p, bool swapped) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return swapped ? __builtin_bswap32(v) : v;
}

std::uint16_t read16(const std::uint8_t* p, bool swapped) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return swapped ? __builtin_bswap16(v) : v;
}

}  // namespace

std::unique_ptr<KeymapReaders> KeymapReaders::start(const char* display,
                                                    xcb_connection_t* control) {
    const xcb_query_extension_reply_t* record = xcb_get_extension_data(control, &xcb_record_id);
    if (!record || !record->present) return nullptr;
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(control, &xcb_xkb_id);
    if (!xkb || !xkb->present) return nullptr;

    std::unique_ptr<KeymapReaders> readers(new KeymapReaders);
    readers->control_ = control;
    readers->ownBase_ = xcb_get_setup(control)->resource_id_base;
    readers->xkbOpcode_ = xkb->major_opcode;

    // Our own map changes are recorded too: they mark, in the order the server
    // handled them, where the other clients' reads fall.
    xcb_record_range_t ranges[2];
    std::memset(ranges, 0, sizeof ranges);
    ranges[0].core_requests.first = kChangeKeyboardMapping;
    ranges[0].core_requests.last = kGetKeyboardMapping;
    ranges[0].client_started = 1;
    ranges[0].client_died = 1;
    ranges[1].ext_requests.major.first = xkb->major_opcode;
    ranges[1].ext_requests.major.last = xkb->major_opcode;
    ranges[1].ext_requests.minor.first = 0;
    ranges[1].ext_requests.minor.last = 0xffff;
    const xcb_record_client_spec_t clients = XCB_RECORD_CS_ALL_CLIENTS;
    readers->context_ = xcb_generate_id(control);
    if (Reply<xcb_generic_error_t>(
            xcb_request_check(control, xcb_record_create_context_checked(
                                           control, readers->context_, 0, 1, 2, &clients, ranges))))
        return nullptr;

    readers->data_ = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(readers->data_)) {
        xcb_disconnect(readers->data_);
        readers->data_ = nullptr;
        xcb_record_free_context(control, readers->context_);
        xcb_flush(control);
        return nullptr;
    }
    readers->thread_ = std::thread([r = readers.get()] { r->run(); });

    // Typing may only rely on the record once the server has enabled it.
    std::unique_lock<std::mutex> lock(readers->mutex_);
    readers->changed_.wait_for(lock, std::chrono::seconds(2),
                               [&] { return readers->started_ || readers->ended_; });
    if (!readers->started_) {
        lock.unlock();
        return nullptr;  // the destructor stops the thread
    }
    return readers;
}

KeymapReaders::~KeymapReaders() {
    if (thread_.joinable()) {
        xcb_record_disable_context(control_, context_);
        xcb_flush(control_);
        // Without a control connection the server cannot be asked to end the
        // record; closing our end of the data connection wakes the thread.
        if (xcb_connection_has_error(control_)) {
            ::shutdown(xcb_get_file_descriptor(data_), SHUT_RDWR);
        } else {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!changed_.wait_for(lock, std::chrono::seconds(2), [&] { return ended_; })) {
                ::shutdown(xcb_get_file_descriptor(data_), SHUT_RDWR);
            }
        }
        thread_.join();
    }
    if (context_) {
        xcb_record_free_context(control_, context_);
        xcb_flush(control_);
    }
    if (data_) xcb_disconnect(data_);
}

void KeymapReaders::run() {
    const xcb_record_enable_context_cookie_t cookie = xcb_record_enable_context(data_, context_);
    xcb_flush(data_);
    for (;;) {
        const Reply<xcb_record_enable_context_reply_t> reply{
            xcb_record_enable_context_reply(data_, cookie, nullptr)};
        if (!reply) break;
        handle(reply.get());
        if (reply->category == kEndOfData) break;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

void KeymapReaders::handle(const xcb_record_enable_context_reply_t* reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (reply->category) {
        case kStartOfData:
            started_ = true;
            break;
        case kClientStarted:
            // The server reuses the IDs of clients that have gone.
            gone_.erase(reply->xid_base);
            reads_.erase(reply->xid_base);
            break;
        case kClientDied:
            gone_.insert(reply->xid_base);
            reads_.erase(reply->xid_base);
            break;
        case kFromClient: {
            const std::uint8_t* data = xcb_record_enable_context_data(reply);
            const int length = xcb_record_enable_context_data_length(reply);
            const bool swapped = reply->client_swapped != 0;
            const Clock::time_point now = Clock::now();
            // One reply carries one or more whole requests of one client.
            int at = 0;
            while (at + 4 <= length) {
                const std::uint8_t* request = data + at;
                std::uint32_t words = read16(request + 2, swapped);
                if (words == 0 && at + 8 <= length) words = read32(request + 4, swapped);
                if (words == 0) break;
                const std::uint8_t opcode = request[0];
                if (reply->xid_base == ownBase_) {
                    if (opcode == kChangeKeyboardMapping ||
                        (opcode == xkbOpcode_ && request[1] == kXkbSetMap)) {
                        ++changesSeen_;
                    }
                } else if (opcode == kGetKeyboardMapping ||
                           (opcode == xkbOpcode_ && isXkbRead(request[1]))) {
                    const Read read{changesSeen_, now, true};
                    reads_[reply->xid_base] = read;
                    anyRead_ = read;
                }
                at += static_cast<int>(words * 4);
            }
            break;
        }
        default:
            break;
    }
    changed_.notify_all();
}

bool KeymapReaders::waitForRead(std::uint32_t client, std::uint64_t changes,
                                std::chrono::milliseconds settle,
                                std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (ended_) return false;
        if (client != 0 && gone_.count(client)) return true;
        Clock::time_point wakeAt = deadline;
        if (changesSeen_ >= changes) {
            const Read* read = &anyRead_;
            if (client != 0) {
                auto found = reads_.find(client);
                read = found == reads_.end() ? nullptr : &found->second;
            }
            if (read && read->seen && read->afterChanges >= changes) {
                const Clock::time_point settled = read->at + settle;
                if (Clock::now() >= settled) return true;
                if (settled < wakeAt) wakeAt = settled;
            }
        }
        if (Clock::now() >= deadline) return false;
        changed_.wait_until(lock, wakeAt);
    }
}

bool KeymapReaders::recording() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !ended_;
}

}  // namespace tarn::x11
