#include "platform/thread_file_writer.h"

#include "platform/atomic_save.h"
#include "platform/locked_file.h"
#include "platform/log_categories.h"

#include <QFileInfo>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

struct ThreadFileWriter::Work {
    /// A line to append, or, with `matches` set, the last line to take back.
    struct LinePiece {
        QString path;
        LineComposer compose;
        QByteArray header;
        LineMatcher matches;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::map<QString, QByteArray> replacements;
    std::deque<LinePiece> lines;
    bool busy = false;
    bool stopping = false;
    // Set when the owner gave up waiting: the process may be ending, so the thread stays silent.
    bool abandoned = false;

    bool isIdle() const { return !busy && replacements.empty() && lines.empty(); }
    void run();
    void fail(const char* what, const QString& path, const QString& reason);
};

namespace {

// The most of a list's end a line is composed from.
constexpr qint64 tailBytes = 4096;

// The last tailBytes of the file and its size; nothing, with `error` set, when it cannot be read.
std::optional<std::pair<QByteArray, std::int64_t>> readTail(const LockedFile& file, int& error)
{
    const std::int64_t size = file.size(error);
    if (size < 0)
        return std::nullopt;
    const std::int64_t from = std::max<std::int64_t>(0, size - tailBytes);
    QByteArray tail(qsizetype(size - from), Qt::Uninitialized);
    if ((error = file.readAt(from, tail.data(), tail.size())) != 0)
        return std::nullopt;
    return std::pair{tail, size};
}

int closeKeepingError(LockedFile& file, int error)
{
    const int closing = file.close();
    return error != 0 ? error : closing;
}

QString appendLineTo(const QString& path, const FileWriter::LineComposer& compose, const QByteArray& header)
{
    if (const int error = makeFolders(QFileInfo(path).absolutePath()))
        return qt_error_string(error);
    LockedFile file(path, true);
    if (const int error = file.openError())
        return qt_error_string(error);
    int error = 0;
    const auto tail = readTail(file, error);
    if (!tail)
        return qt_error_string(closeKeepingError(file, error));
    const auto& [lastBytes, size] = *tail;
    QByteArray bytes = compose(lastBytes);
    if (size == 0)
        bytes.prepend(header);
    else if (!lastBytes.endsWith('\n'))
        bytes.prepend("\r\n"); // a line left unfinished by an earlier program is not glued to this one
    // One write as a rule; one that fails takes the file back to where it was.
    error = file.append(bytes);
    if (error != 0 && file.truncate(size) != 0)
        qCWarning(lcFiles, "cannot take back a line cut short in %s", qUtf8Printable(path));
    error = closeKeepingError(file, error);
    return error == 0 ? QString() : qt_error_string(error);
}

QString withdrawLastLineOf(const QString& path, const FileWriter::LineMatcher& matches)
{
    LockedFile file(path, false);
    if (file.openError())
        return file.missing() ? QString() : qt_error_string(file.openError());
    int error = 0;
    if (const auto tail = readTail(file, error)) {
        const auto& [bytes, size] = *tail;
        // The header, or a line cut by the start of the tail, is never taken back.
        if (bytes.size() >= 2 && bytes.endsWith('\n')) {
            const qsizetype begins = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
            QByteArray last = bytes.mid(begins);
            last.chop(last.endsWith("\r\n") ? 2 : 1);
            if (begins > 0 && matches(last))
                error = file.truncate(size - (bytes.size() - begins));
        }
    }
    error = closeKeepingError(file, error);
    return error == 0 ? QString() : qt_error_string(error);
}

} // namespace

void ThreadFileWriter::Work::fail(const char* what, const QString& path, const QString& reason)
{
    {
        const std::lock_guard lock(mutex);
        if (abandoned)
            return;
    }
    // Not under the lock: a stderr that blocks must not hold up the callers.
    qCWarning(lcFiles, "cannot %s %s: %s", what, qUtf8Printable(path), qUtf8Printable(reason));
}

void ThreadFileWriter::Work::run()
{
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !replacements.empty() || !lines.empty(); });
        // One piece at a time, taken when it begins: a replacement handed over while another piece is under way
        // takes the place of the one waiting for the same file.
        if (!lines.empty()) {
            const LinePiece next = std::move(lines.front());
            lines.pop_front();
            busy = true;
            lock.unlock();
            const QString error = next.matches ? withdrawLastLineOf(next.path, next.matches)
                                               : appendLineTo(next.path, next.compose, next.header);
            if (!error.isEmpty())
                fail(next.matches ? "take back the last line of" : "append to", next.path, error);
            lock.lock();
        } else if (!replacements.empty()) {
            auto node = replacements.extract(replacements.begin());
            busy = true;
            lock.unlock();
            const FileAccess::WriteResult result = saveWhole(node.key(), node.mapped());
            if (!result.ok)
                fail("save", node.key(), result.error);
            lock.lock();
        } else {
            return; // stopping, and nothing left
        }
        busy = false;
        if (isIdle())
            idle.notify_all();
    }
}

ThreadFileWriter::ThreadFileWriter(std::chrono::milliseconds exitWait)
    : m_work(std::make_shared<Work>()), m_exitWait(exitWait)
{
    // The thread holds the work too, so that it can outlive this object when the file system holds it up.
    m_thread = std::thread([work = m_work] { work->run(); });
}

ThreadFileWriter::~ThreadFileWriter()
{
    startExitClock();
    std::unique_lock lock(m_work->mutex);
    m_work->stopping = true;
    m_work->wake.notify_one();
    if (!m_work->idle.wait_until(lock, *m_exitDeadline, [this] { return m_work->isIdle(); })) {
        qCWarning(lcFiles, "files not written after %lld ms; left to a thread that ends with the program",
                  qlonglong(m_exitWait.count()));
        m_work->abandoned = true;
        m_thread.detach();
        return;
    }
    lock.unlock();
    m_thread.join();
}

void ThreadFileWriter::replaceWhole(const QString& path, const QByteArray& bytes)
{
    const std::lock_guard lock(m_work->mutex);
    m_work->replacements.insert_or_assign(path, bytes);
    m_work->wake.notify_one();
}

void ThreadFileWriter::appendLine(const QString& path, const LineComposer& compose, const QByteArray& header)
{
    const std::lock_guard lock(m_work->mutex);
    m_work->lines.push_back({path, compose, header, {}});
    m_work->wake.notify_one();
}

void ThreadFileWriter::withdrawLastLine(const QString& path, const LineMatcher& matches)
{
    const std::lock_guard lock(m_work->mutex);
    m_work->lines.push_back({path, {}, {}, matches});
    m_work->wake.notify_one();
}

void ThreadFileWriter::startExitClock()
{
    if (!m_exitDeadline)
        m_exitDeadline = std::chrono::steady_clock::now() + m_exitWait;
}

bool ThreadFileWriter::waitUntilIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_work->mutex);
    return m_work->idle.wait_for(lock, timeout, [this] { return m_work->isIdle(); });
}
