// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private D-Bus bus with python-dbusmock's logind template on it, for the
// tests of ending the session. The machine's system bus is never touched: the
// constructor points DBUS_SYSTEM_BUS_ADDRESS (read only by the code under
// test) at the private socket, and guard() refuses unless that is still so
// and the logind answering there is the mock.

#include <memory>
#include <string>
#include <vector>

#include "PlatformTestSupport.h"

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace tarn::platformtest {

class MockLogind {
  public:
    enum class Service { Mocked, Absent };
    static constexpr const char* kManagerPath = "/org/freedesktop/login1";
    static constexpr const char* kManager = "org.freedesktop.login1.Manager";

    // Starts the bus and, unless Absent, the mock with the methods the
    // template lacks (Halt, GetSessionByPID answering session c1) and session
    // c1. Throws std::runtime_error when something does not come up.
    explicit MockLogind(Service service = Service::Mocked);
    ~MockLogind();
    MockLogind(const MockLogind&) = delete;
    MockLogind& operator=(const MockLogind&) = delete;

    const std::string& address() const { return address_; }
    std::string folder() const { return temp_.path(); }
    static std::string sessionPath(const std::string& id);

    // The flag-taking methods of logind 248 and later.
    void addMethodsWithFlags();
    void addMethod(const std::string& path, const char* interface, const char* name, const char* in,
                   const char* out, const std::string& code);
    // Makes the method answer with a D-Bus error of that name.
    void refuse(const std::string& path, const char* interface, const char* name, const char* in,
                const char* out, const std::string& errorName);
    void addSession(const std::string& id);

    // The calls recorded on an object, as "Method(arg, ...)".
    std::vector<std::string> calls(const std::string& path);
    void clearCalls(const std::string& path);

    // Throws std::logic_error unless DBUS_SYSTEM_BUS_ADDRESS is this private
    // bus and (with a mock) the logind on it answers the mock's interface.
    void guard();

  private:
    GVariant* call(const std::string& path, const char* interface, const char* method,
                   GVariant* parameters);

    TempDir temp_{"tarn-logind"};
    std::string address_;
    std::unique_ptr<Helper> bus_, mock_;
    GDBusConnection* control_ = nullptr;
};

}  // namespace tarn::platformtest
