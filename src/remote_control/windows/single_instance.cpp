#include "remote_control/single_instance.h"

#include "remote_control/held_callers.h"
#include "remote_control/instance_channel.h"
#include "remote_control/message_language.h"

#include <QTimer>
#include <QWinEventNotifier>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows/windows_api.h"

#include <aclapi.h>
#include <sddl.h>

using namespace Qt::StringLiterals;

namespace {

using SteadyClock = std::chrono::steady_clock;

// Each way: a line or an answer fits many times over.
constexpr DWORD pipeBuffer = 4096;
// How long the listener rests when the system would not make the pipe's next instance.
constexpr std::chrono::milliseconds listenAgainAfter{200};
// How long the running copy lets an answer take to go into the pipe, which holds it whole at once.
constexpr std::chrono::milliseconds answerLimit{100};

// A handle closed when it goes out of scope.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : m_handle(other.release()) {}
    ~Handle() { reset(); }
    void reset(HANDLE handle = nullptr)
    {
        if (m_handle)
            ::CloseHandle(m_handle);
        m_handle = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }
    HANDLE get() const { return m_handle; }
    /// Gives the handle up without closing it.
    HANDLE release() { return std::exchange(m_handle, nullptr); }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    HANDLE m_handle = nullptr;
};

QString systemMessage(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message = length > 0 ? QString::fromWCharArray(text, int(length)).trimmed() : QString();
    ::LocalFree(text);
    return message.isEmpty() ? u"error %1"_s.arg(error) : message;
}

// The user this process runs as: whose alone the pipe is.
class ThisUser {
public:
    ThisUser()
    {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        const Handle closed(token);
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        m_tokenUser.resize(size);
        if (size == 0 || !::GetTokenInformation(token, TokenUser, m_tokenUser.data(), size, &size)) {
            m_tokenUser.clear();
            return;
        }
        wchar_t* text = nullptr;
        if (::ConvertSidToStringSidW(sid(), &text)) {
            m_text = QString::fromWCharArray(text);
            ::LocalFree(text);
        }
    }
    /// Null when the process's token could not be read.
    PSID sid() const
    {
        return m_tokenUser.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(m_tokenUser.data())->User.Sid;
    }
    /// "S-1-5-21-…", empty when unknown.
    const QString& text() const { return m_text; }

private:
    std::vector<std::byte> m_tokenUser;
    QString m_text;
};

// The pipe of the copy running for `settingsPath`: one name per user and settings file however its path is spelt,
// letters in any case naming the same file.
std::wstring pipeName(const ThisUser& user, const QString& settingsPath)
{
    const QString key = settingsPath.isEmpty() ? QString() : instance::resolvedPath(settingsPath).toCaseFolded();
    return (u"\\\\.\\pipe\\lectern-"_s + user.text() + u'-' + instance::keyOf(key)).toStdWString();
}

// True when `pipe`'s owner is `user`: a pipe of that name made first by someone else is not a running copy.
bool ownedBy(HANDLE pipe, const ThisUser& user)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return false;
    const bool ours = owner && user.sid() && ::EqualSid(owner, user.sid());
    ::LocalFree(descriptor);
    return ours;
}

DWORD millisecondsTo(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return DWORD(std::clamp<decltype(left)>(left, 0, std::numeric_limits<DWORD>::max() - 1));
}

// One read or write on an overlapped `pipe`, given up at `deadline`: the bytes moved, or -1.
long long transfer(HANDLE pipe, bool write, char* data, DWORD size, SteadyClock::time_point deadline)
{
    const Handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return -1;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    const BOOL done = write ? ::WriteFile(pipe, data, size, nullptr, &overlapped)
                            : ::ReadFile(pipe, data, size, nullptr, &overlapped);
    if (!done && ::GetLastError() != ERROR_IO_PENDING)
        return -1;
    DWORD moved = 0;
    if (::WaitForSingleObject(event.get(), millisecondsTo(deadline)) != WAIT_OBJECT_0) {
        ::CancelIoEx(pipe, &overlapped);
        ::GetOverlappedResult(pipe, &overlapped, &moved, TRUE);
        return -1;
    }
    return ::GetOverlappedResult(pipe, &overlapped, &moved, FALSE) ? (long long)moved : -1;
}

// Who answered at a pipe's name.
enum class Holder {
    None,    ///< no one: no copy runs
    Ours,    ///< a copy of this user's
    Stranger ///< a pipe this user did not make, or may not open
};

// Connects to the pipe `name` by `deadline`, waiting while every instance of it is taken.
Handle connectTo(const std::wstring& name, const ThisUser& user, SteadyClock::time_point deadline, Holder* holder)
{
    *holder = Holder::None;
    for (;;) {
        // Identification only: a pipe's server learns who called, and may not act as the caller.
        Handle pipe(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (pipe) {
            *holder = ownedBy(pipe.get(), user) ? Holder::Ours : Holder::Stranger;
            return pipe;
        }
        const DWORD error = ::GetLastError();
        // Every instance is taken for a moment: wait for one to be free, or for the holder to go.
        if (error == ERROR_PIPE_BUSY && SteadyClock::now() < deadline) {
            ::WaitNamedPipeW(name.c_str(), std::max<DWORD>(1, millisecondsTo(deadline)));
            continue;
        }
        if (error == ERROR_ACCESS_DENIED)
            *holder = Holder::Stranger;
        return Handle();
    }
}

// Hands `lines` to whoever holds the pipe `name`, as instance::deliverToRunningCopy() does.
instance::Delivery deliver(const std::wstring& name, const ThisUser& user, QByteArray lines, QByteArray* reply,
                           Holder* holder)
{
    const auto deadline = SteadyClock::now() + instance::deliveryLimit;
    instance::Delivery delivery;
    const Handle pipe = connectTo(name, user, deadline, holder);
    if (*holder != Holder::Ours)
        return delivery;
    delivery.reached = true;
    for (qsizetype sent = 0; sent < lines.size();) {
        const long long n = transfer(pipe.get(), true, lines.data() + sent, DWORD(lines.size() - sent), deadline);
        if (n <= 0)
            return delivery;
        sent += qsizetype(n);
    }
    if (reply) {
        QByteArray answer;
        while (!answer.contains('\n') && answer.size() < instance::longestAnswer) {
            char buffer[256];
            const long long n = transfer(pipe.get(), false, buffer, sizeof(buffer), deadline);
            if (n <= 0)
                return delivery;
            answer.append(buffer, qsizetype(n));
        }
        const qsizetype newline = answer.indexOf('\n');
        if (newline < 0)
            return delivery;
        *reply = answer.left(newline);
    }
    delivery.delivered = true;
    return delivery;
}

} // namespace

/// A named pipe only this user may open, whose first instance is the lock: the system takes it away with the last
/// handle of its holder, however that ends. Its callers are read with overlapped I/O whose events the event loop
/// waits on, so that nothing on the interface thread waits for a caller.
class SingleInstance::Channel {
public:
    explicit Channel(SingleInstance& owner);
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    Claim claim();
    QString address() const { return m_listenerNotifier ? QString::fromStdWString(m_name) : QString(); }

private:
    struct Caller;
    /// Makes an instance of the pipe, the first one or the next, and waits for a caller on it: 0, or the error.
    DWORD listen(bool first);
    /// Takes the caller that connected to the listening instance and listens on a new one.
    void takeCaller();
    /// Starts reading the caller; false when the pipe failed.
    bool startReading(Caller* caller);
    void read(Caller* caller);
    void reply(Caller* caller);

    SingleInstance& m_owner;
    ThisUser m_user;
    std::wstring m_name;
    PSECURITY_DESCRIPTOR m_security = nullptr;
    // The instance waiting for the next caller, and its connection's event.
    Handle m_listening;
    Handle m_connected;
    OVERLAPPED m_connect{};
    bool m_connectedAtOnce = false;
    std::unique_ptr<QWinEventNotifier> m_listenerNotifier;
    QTimer m_listenAgain;
    HeldCallers<Caller> m_callers{&m_owner};
};

/// One caller on the pipe: its instance, the read under way, what it sent that is not a whole line yet, and when it
/// is cut off unless it finishes a line.
struct SingleInstance::Channel::Caller {
    Handle pipe;
    Handle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED overlapped{};
    bool reading = false;
    char buffer[256];
    QByteArray pending;
    SteadyClock::time_point deadline;
    std::unique_ptr<QWinEventNotifier> notifier;

    /// Ends the read under way, which would otherwise write into this caller once it is gone, and closes the pipe.
    void close()
    {
        if (notifier)
            notifier->setEnabled(false);
        if (reading) {
            DWORD moved = 0;
            ::CancelIoEx(pipe.get(), &overlapped);
            ::GetOverlappedResult(pipe.get(), &overlapped, &moved, TRUE);
            reading = false;
        }
        pipe.reset();
    }
    ~Caller() { close(); }
};

LockPlaces LockPlaces::ofThisProcess()
{
    return {};
}

SingleInstance::SingleInstance(const QString& settingsPath, const LockPlaces& places, QObject* parent)
    : QObject(parent), m_settingsPath(settingsPath), m_places(places), m_channel(std::make_unique<Channel>(*this))
{}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim()
{
    return m_channel->claim();
}

QString SingleInstance::address() const
{
    return m_channel->address();
}

SingleInstance::Channel::Channel(SingleInstance& owner) : m_owner(owner)
{
    m_listenAgain.setSingleShot(true);
    m_listenAgain.setInterval(listenAgainAfter);
    QObject::connect(&m_listenAgain, &QTimer::timeout, &m_owner, [this] {
        if (listen(false) != 0)
            m_listenAgain.start();
    });
}

SingleInstance::Channel::~Channel()
{
    m_callers.clear();
    m_listenerNotifier.reset();
    if (m_listening && !m_connectedAtOnce) {
        DWORD moved = 0;
        ::CancelIoEx(m_listening.get(), &m_connect);
        ::GetOverlappedResult(m_listening.get(), &m_connect, &moved, TRUE);
    }
    m_listening.reset();
    ::LocalFree(m_security);
}

SingleInstance::Claim SingleInstance::Channel::claim()
{
    const auto outOfReach = [this](const QString& japanese, const QString& english) {
        return m_owner.outOfReach(japanese, english, false);
    };
    if (m_user.text().isEmpty()) {
        return outOfReach(u"このユーザーの SID を読めません（%1）"_s.arg(systemMessage(::GetLastError())),
                          u"cannot read this user's security identifier (%1)"_s.arg(systemMessage(::GetLastError())));
    }
    m_name = pipeName(m_user, m_owner.m_settingsPath);
    // Owned by the user and open to the user alone, even for a program run as administrator, whose objects the
    // administrators' group would otherwise own.
    const std::wstring sddl = u"O:%1D:P(A;;GA;;;%1)"_s.arg(m_user.text()).toStdWString();
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &m_security, nullptr)) {
        const QString why = systemMessage(::GetLastError());
        return outOfReach(u"名前付きパイプのアクセス権を作れません（%1）"_s.arg(why),
                          u"cannot make the named pipe's access rights (%1)"_s.arg(why));
    }
    m_connected.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_connected) {
        const QString why = systemMessage(::GetLastError());
        return outOfReach(why, why);
    }

    // A running copy is asked first, then the pipe is made: its first instance is the lock where the system keeps
    // that promise (Wine does not), and asking first keeps even such a system to one copy but for a race. The copy
    // that held the pipe may end between the two steps: then both are tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        Holder holder = Holder::None;
        deliver(m_name, m_user, "front\n", nullptr, &holder);
        if (holder == Holder::Ours)
            return Claim::Running;
        if (holder == Holder::Stranger) {
            return outOfReach(
                u"名前付きパイプ %1 はほかのユーザーが作ったものです"_s.arg(QString::fromStdWString(m_name)),
                u"the named pipe %1 was made by another user"_s.arg(QString::fromStdWString(m_name)));
        }
        const DWORD error = listen(true);
        if (error == 0) {
            m_listenerNotifier = std::make_unique<QWinEventNotifier>(m_connected.get());
            QObject::connect(m_listenerNotifier.get(), &QWinEventNotifier::activated, &m_owner,
                             [this] { takeCaller(); });
            return Claim::Ours;
        }
        if (error != ERROR_ACCESS_DENIED && error != ERROR_PIPE_BUSY) {
            const QString why = systemMessage(error);
            return outOfReach(u"名前付きパイプ %1 を作れません（%2）"_s.arg(QString::fromStdWString(m_name), why),
                              u"cannot make the named pipe %1 (%2)"_s.arg(QString::fromStdWString(m_name), why));
        }
    }
    return outOfReach(u"名前付きパイプ %1 を作れません"_s.arg(QString::fromStdWString(m_name)),
                      u"cannot make the named pipe %1"_s.arg(QString::fromStdWString(m_name)));
}

DWORD SingleInstance::Channel::listen(bool first)
{
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), m_security, FALSE};
    // Callers from other machines are refused by the system before they reach the program.
    Handle pipe(::CreateNamedPipeW(
        m_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, PIPE_UNLIMITED_INSTANCES,
        pipeBuffer, pipeBuffer, 0, &attributes));
    if (!pipe)
        return ::GetLastError();
    ::ResetEvent(m_connected.get());
    m_connect = {};
    m_connect.hEvent = m_connected.get();
    m_connectedAtOnce = false;
    if (!::ConnectNamedPipe(pipe.get(), &m_connect)) {
        const DWORD error = ::GetLastError();
        // A caller that came between the making and the waiting is there already.
        if (error == ERROR_PIPE_CONNECTED) {
            m_connectedAtOnce = true;
            ::SetEvent(m_connected.get());
        } else if (error != ERROR_IO_PENDING) {
            return error;
        }
    }
    m_listening.reset(pipe.release());
    return 0;
}

void SingleInstance::Channel::takeCaller()
{
    if (!m_listening)
        return;
    DWORD moved = 0;
    const bool connected =
        m_connectedAtOnce || ::GetOverlappedResult(m_listening.get(), &m_connect, &moved, FALSE) != FALSE;
    if (!connected && ::GetLastError() == ERROR_IO_INCOMPLETE)
        return;
    // Made again with the next instance; until then a signalled event would wake the event loop over and over.
    ::ResetEvent(m_connected.get());
    auto caller = std::make_unique<Caller>();
    caller->pipe.reset(m_listening.release());
    // The next instance is made while this caller holds its own, so that the pipe's name never lapses.
    if (listen(false) != 0)
        m_listenAgain.start();
    if (!connected || !caller->event)
        return;

    caller->notifier = std::make_unique<QWinEventNotifier>(caller->event.get());
    Caller* raw = m_callers.add(std::move(caller));
    QObject::connect(raw->notifier.get(), &QWinEventNotifier::activated, &m_owner, [this, raw] { read(raw); });
    if (!startReading(raw))
        m_callers.drop(raw);
    m_callers.watchIdle();
}

bool SingleInstance::Channel::startReading(Caller* caller)
{
    ::ResetEvent(caller->event.get());
    caller->overlapped = {};
    caller->overlapped.hEvent = caller->event.get();
    // Done at once or not, the event says so and read() takes what came.
    if (!::ReadFile(caller->pipe.get(), caller->buffer, sizeof(caller->buffer), nullptr, &caller->overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING)
        return false;
    caller->reading = true;
    return true;
}

void SingleInstance::Channel::read(Caller* caller)
{
    if (!caller->reading)
        return;
    DWORD moved = 0;
    if (!::GetOverlappedResult(caller->pipe.get(), &caller->overlapped, &moved, FALSE)) {
        if (::GetLastError() == ERROR_IO_INCOMPLETE)
            return;
        caller->reading = false;
        m_callers.drop(caller); // the caller hung up, or its pipe failed
        return;
    }
    caller->reading = false;
    caller->pending.append(caller->buffer, qsizetype(moved));
    bool tookLine = false;
    const Heard heard = m_owner.hear(caller->pending, &tookLine);
    if (heard == Heard::Answer) {
        reply(caller);
        return;
    }
    if (heard == Heard::Refused || !startReading(caller)) {
        m_callers.drop(caller);
        return;
    }
    if (tookLine)
        m_callers.tookLine(caller);
    m_callers.watchIdle();
}

void SingleInstance::Channel::reply(Caller* caller)
{
    QByteArray line = m_owner.answer();
    // The pipe holds the line whole and keeps it for the caller after the pipe is closed here.
    [[maybe_unused]] const long long sent =
        transfer(caller->pipe.get(), true, line.data(), DWORD(line.size()), SteadyClock::now() + answerLimit);
    m_callers.drop(caller);
}

instance::Delivery instance::deliverToRunningCopy(const QString& settingsPath, const QByteArray& lines,
                                                  QByteArray* reply, const LockPlaces&)
{
    const ThisUser user;
    if (user.text().isEmpty())
        return {};
    const std::wstring name = pipeName(user, settingsPath);
    Holder holder = Holder::None;
    Delivery delivery = deliver(name, user, lines, reply, &holder);
    if (holder == Holder::Stranger) {
        sayOnStderr(u"名前付きパイプ %1 はほかのユーザーが作ったものです"_s.arg(QString::fromStdWString(name)),
                    u"the named pipe %1 was made by another user"_s.arg(QString::fromStdWString(name)));
        delivery.unsafe = true;
    }
    return delivery;
}
